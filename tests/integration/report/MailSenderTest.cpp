// The report mail sender against aiosmtpd on 127.0.0.1 with STARTTLS and
// AUTH LOGIN, certificates from a test CA; every mail the server takes is
// checked with Python's email parser and its attachment with unzip -t.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <random>

#include "base/FixedValues.h"
#include "report/MailSender.h"
#include "report/SmtpPassword.h"
#include "tests/support/FileText.h"
#include "tests/support/TempDir.h"

namespace orvella::testing {
namespace {

bool RunTool(const QString& AProgram, const QStringList& AArguments) {
  QProcess process;
  process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process.start(AProgram, AArguments);
  return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// A test CA with a server certificate for 127.0.0.1, and a second CA that
// signed nothing.
class TCertificates {
public:
  TCertificates() {
    const char* script = R"(set -e
      key="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
      openssl req -x509 $key -keyout ca.key -out ca.pem -days 2 -subj "/CN=Orvella Test CA"
      openssl req -x509 $key -keyout other.key -out other-ca.pem -days 2 -subj "/CN=Other Test CA"
      openssl req $key -keyout server.key -out server.csr -subj "/CN=127.0.0.1"
      printf 'subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' > server.ext
      openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem -days 2 \
        -extfile server.ext)";
    Ready = RunTool("sh",
                    {"-c", QString("cd '%1' && (%2) 2>/dev/null").arg(QString::fromStdString(FDir.Path()), script)});
  }
  std::string operator/(const std::string& AName) const { return FDir / AName; }
  bool Ready = false;

private:
  TTempDir FDir;
};

const TCertificates& Certificates() {
  static const TCertificates certificates;
  return certificates;
}

// The password the server asks for: the development builds' account, worked
// out by hand from its stored text, so that a fault in the decoding fails the
// login; a build with an account of its own has only the decoding to go by.
QString AccountPassword() {
  if (std::strcmp(SmtpPasswordStored, "9OjpyvQSvUBB") == 0 && SmtpPasswordSeed == 20261209)
    return QStringLiteral("example.9");
  return QString::fromUtf8(TSmtpPassword().Text());
}

class TSmtpTestServer {
public:
  explicit TSmtpTestServer(QStringList AOptions) {
    AOptions << "--out" << QString::fromStdString(FOut.Path()) << "--cert"
             << QString::fromStdString(Certificates() / "server.pem") << "--key"
             << QString::fromStdString(Certificates() / "server.key") << "--user" << ReportSenderAccount;
    if (!AOptions.contains("--password"))
      AOptions << "--password" << AccountPassword();
    FProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    FProcess.start("/usr/bin/python3", QStringList{SMTP_TEST_SERVER} + AOptions);
    while (FProcess.waitForReadyRead(10000) && !FProcess.canReadLine()) {
    }
    const QString line = QString::fromUtf8(FProcess.readLine()).trimmed();
    if (line.startsWith("PORT "))
      FConnection.Port = line.mid(5).toInt();
    FConnection.Host = "127.0.0.1";
    FConnection.CaFile = Certificates() / "ca.pem";
  }
  ~TSmtpTestServer() {
    FProcess.closeWriteChannel();
    if (!FProcess.waitForFinished(5000))
      FProcess.kill();
    FProcess.waitForFinished();
  }

  TSmtpConnection& Connection() { return FConnection; }
  std::string Commands() const { return ReadFileText(FOut / "commands.txt"); }
  // The description of the server's mail number ANumber, empty when it took none.
  QJsonObject Mail(int ANumber) const {
    return QJsonDocument::fromJson(
               QByteArray::fromStdString(ReadFileText(FOut / ("mail-" + std::to_string(ANumber) + ".json"))))
        .object();
  }

private:
  TTempDir FOut;
  QProcess FProcess;
  TSmtpConnection FConnection;
};

// Runs the GUI thread until every sender has ended; the texts of the message
// boxes shown meanwhile are collected and the boxes closed.
QStringList WaitForSenders() {
  QStringList messages;
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout, [&messages] {
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
        messages << box->text();
        box->done(0);
      }
  });
  watcher.start(20);
  EXPECT_TRUE(QTest::qWaitFor([] { return TMailSender::ActiveSenderCount() == 0; }, 90000));
  return messages;
}

std::string RandomBytes(size_t ACount) {
  std::mt19937 random(42);
  std::string bytes(ACount, '\0');
  for (char& c : bytes)
    c = static_cast<char>(random());
  return bytes;
}

// A real zip archive at AFolder/AName holding incompressible data.
std::string MakeArchive(const TTempDir& AFolder, const std::string& AName) {
  std::ofstream(AFolder / "logs.bin", std::ios::binary) << RandomBytes(200000);
  const std::string archive = AFolder / AName;
  EXPECT_TRUE(RunTool("sh", {"-c", QString("cd '%1' && zip -q -X tmp.zip logs.bin && mv tmp.zip '%2'")
                                       .arg(QString::fromStdString(AFolder.Path()), QString::fromStdString(AName))}));
  return archive;
}

std::string Hex(const std::string& AText) { return QByteArray::fromStdString(AText).toHex().toStdString(); }

class MailSenderTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(Certificates().Ready) << "openssl could not make the test certificates"; }
  TTempDir FFiles;
};

TEST_F(MailSenderTest, TwoSendersAtOnceDeliverTheReportsAsComposed) {
  TSmtpTestServer server({});
  const std::string first = MakeArchive(FFiles, "report.zip");
  const std::string second = MakeArchive(FFiles, "REPORT2.ZIP");
  TMailSender::BeginSend("12345", first, "Иван Петров", "+7 900 123-45-67", server.Connection());
  TMailSender::BeginSend("12345", second, "", "", server.Connection());
  EXPECT_EQ(TMailSender::ActiveSenderCount(), 2);
  EXPECT_EQ(WaitForSenders(), QStringList());
  // The server notes what it sees: the failure cases rely on that record.
  for (const char* command : {"CONNECT", "STARTTLS", "AUTH", "MAIL", "DATA"})
    EXPECT_NE(server.Commands().find(command), std::string::npos) << command << " not in " << server.Commands();

  std::map<std::string, QJsonObject> mails;
  for (int number : {1, 2}) {
    const QJsonObject mail = server.Mail(number);
    mails[mail["parts"][1]["filename"].toString().toStdString()] = mail;
  }
  ASSERT_EQ(mails.size(), 2u);
  const std::map<std::string, std::string> expectedText = {
      {"report.zip",
       "Номер клиента: 12345\r\nИмя пользователя: Иван Петров\r\nКонтактный номер телефона: +7 900 123-45-67"},
      {"REPORT2.ZIP", "Номер клиента: 12345\r\nИмя пользователя: \r\nКонтактный номер телефона: "}};
  for (const auto& [fileName, mail] : mails) {
    SCOPED_TRACE(fileName);
    EXPECT_EQ(mail["envelope_from"].toString(), ReportSenderAccount);
    EXPECT_EQ(mail["envelope_to"].toArray(), QJsonArray{SupportMailbox});
    EXPECT_TRUE(mail["authenticated"].toBool());
    EXPECT_EQ(mail["from"].toString(), ReportSenderAccount);
    EXPECT_EQ(mail["sender"].toString(), ReportSenderAccount);
    EXPECT_EQ(mail["to"].toString(), SupportMailbox);
    EXPECT_TRUE(mail["subject_raw"].toString().startsWith("=?UTF-8?B?"));
    EXPECT_EQ(mail["subject"].toString(), "Отчет Orvella");
    EXPECT_TRUE(QRegularExpression(R"(^(Mon|Tue|Wed|Thu|Fri|Sat|Sun), \d\d (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|)"
                                   R"(Oct|Nov|Dec) \d{4} \d\d:\d\d:\d\d \+0000$)")
                    .match(mail["date"].toString())
                    .hasMatch())
        << mail["date"].toString().toStdString();
    EXPECT_EQ(mail["content_type"].toString(), "multipart/mixed");

    const QJsonObject text = mail["parts"][0].toObject();
    EXPECT_EQ(text["content_type"].toString(), "text/plain");
    EXPECT_EQ(text["charset"].toString(), "utf-8");
    EXPECT_EQ(text["payload_hex"].toString().toStdString(), Hex(expectedText.at(fileName)));

    const QJsonObject archive = mail["parts"][1].toObject();
    EXPECT_EQ(archive["content_type"].toString(), "application/zip");
    EXPECT_EQ(archive["encoding"].toString(), "base64");
    const std::string saved = archive["saved_as"].toString().toStdString();
    EXPECT_EQ(ReadFileText(saved), ReadFileText(FFiles / fileName));
    EXPECT_TRUE(RunTool("unzip", {"-tq", QString::fromStdString(saved)}));
  }
}

struct TFailureCase {
  const char* Name;
  QStringList ServerOptions;
  // Which CA to trust and which file to send.
  const char* CaFile;
  const char* FileName;
  // A text the user's message must hold.
  const char* Message;
  // Server commands that must not have happened.
  std::vector<std::string> NotSeen;
};

TEST_F(MailSenderTest, EveryFailureEndsTheSenderWithAMessageForTheUser) {
  const TFailureCase cases[] = {
      {"no STARTTLS", {"--no-starttls"}, "ca.pem", "r.zip", "STARTTLS", {"AUTH", "MAIL"}},
      {"wrong password", {"--password", "other"}, "ca.pem", "r.zip", "Test server: wrong password", {"MAIL"}},
      {"untrusted certificate", {}, "other-ca.pem", "r.zip", "certificate", {"AUTH", "MAIL"}},
      {"no log-in offered", {"--no-auth"}, "ca.pem", "r.zip", "did not ask the report sender to log in", {"DATA"}},
      {"size above the announced one",
       {"--size", "100000"},
       "ca.pem",
       "r.zip",
       "bytes, but the mail server accepts at most 100000 bytes",
       {"DATA"}},
      {"not a zip archive", {}, "ca.pem", "r.txt", "(uMail)", {"CONNECT"}},
      {"silent server", {"--silent"}, "ca.pem", "r.zip", "time", {}},
  };
  MakeArchive(FFiles, "r.zip");
  std::ofstream(FFiles / "r.txt") << "not an archive";
  for (const TFailureCase& failure : cases) {
    SCOPED_TRACE(failure.Name);
    TSmtpTestServer server(failure.ServerOptions);
    server.Connection().CaFile = Certificates() / failure.CaFile;
    server.Connection().ConnectTimeoutSeconds = 2;
    server.Connection().StallTimeoutSeconds = 2;
    QElapsedTimer clock;
    clock.start();
    TMailSender::BeginSend("1", FFiles / failure.FileName, "n", "p", server.Connection());
    const QStringList messages = WaitForSenders();
    EXPECT_LT(clock.elapsed(), 20000);
    EXPECT_EQ(TMailSender::ActiveSenderCount(), 0);
    ASSERT_EQ(messages.size(), 1) << messages.join('|').toStdString();
    EXPECT_TRUE(messages[0].contains(failure.Message, Qt::CaseInsensitive)) << messages[0].toStdString();
    EXPECT_TRUE(server.Mail(1).isEmpty());
    for (const std::string& command : failure.NotSeen)
      EXPECT_EQ(server.Commands().find(command), std::string::npos) << command << " in " << server.Commands();
  }
}

}  // namespace
}  // namespace orvella::testing
