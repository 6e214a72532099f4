#include "report/MailHeaders.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <QByteArray>
#include <QList>
#include <clocale>

#include "platform/Exceptions.h"
#include "report/MailTls.h"

namespace orvella {
namespace {

TEST(MailHeaders, DatesAreEnglishWhateverTheLocale) {
  std::setlocale(LC_ALL, "ru_RU.UTF-8");
  EXPECT_EQ(MailDate(1796818208), "Wed, 09 Dec 2026 12:10:08 +0000");
  EXPECT_EQ(MailDate(951782400), "Tue, 29 Feb 2000 00:00:00 +0000");
  std::setlocale(LC_ALL, "C");
}

TEST(MailHeaders, LongTextsBecomeSeveralWordsCutBetweenCharacters) {
  EXPECT_EQ(EncodedWords("Отчет Orvella"), "=?UTF-8?B?0J7RgtGH0LXRgiBPcnZlbGxh?=");
  std::string text;
  for (int i = 0; i < 30; ++i)
    text += "Ж";  // two bytes each
  text += "x";
  QByteArray joined;
  for (const QByteArray& word : QByteArray::fromStdString(EncodedWords(text)).split(' ')) {
    EXPECT_LE(word.size(), 75);
    ASSERT_TRUE(word.startsWith("=?UTF-8?B?") && word.endsWith("?="));
    const QByteArray bytes = QByteArray::fromBase64(word.mid(10, word.size() - 12));
    // Every word holds whole characters: it is valid UTF-8 on its own.
    EXPECT_TRUE(QString::fromUtf8(bytes).toUtf8() == bytes);
    joined += bytes;
  }
  EXPECT_EQ(joined.toStdString(), text);
}

TEST(MailTls, ThisSystemsMailLibraryCanSendOverTls) { EXPECT_NO_THROW(CheckMailTls()); }

TEST(MailTls, ALibraryWithoutSmtpTlsOrThreadSafetyIsRefusedByName) {
  const char* const onlyHttp[] = {"http", "https", nullptr};
  const char* const withSmtp[] = {"http", "smtp", "smtps", nullptr};
  struct TCase {
    const char* const* Protocols;
    int Features;
    const char* SslVersion;
    const char* Missing;
  };
  const TCase cases[] = {
      {onlyHttp, CURL_VERSION_SSL | CURL_VERSION_THREADSAFE, "OpenSSL/3.0.0", "SMTP"},
      {withSmtp, CURL_VERSION_THREADSAFE, nullptr, "TLS"},
      {withSmtp, CURL_VERSION_SSL, "OpenSSL/3.0.0", "thread safety"},
      {nullptr, 0, nullptr, "SMTP, TLS, thread safety"},
  };
  for (const TCase& test : cases) {
    curl_version_info_data info = *curl_version_info(CURLVERSION_NOW);
    info.version = "7.0.0-test";
    info.protocols = test.Protocols;
    info.features = test.Features;
    info.ssl_version = test.SslVersion;
    try {
      CheckMailLibrary(info);
      ADD_FAILURE() << test.Missing;
    } catch (const Exception& e) {
      EXPECT_EQ(std::string(e.what()), std::string("The mail library libcurl 7.0.0-test lacks ") + test.Missing +
                                           "; report mails cannot be sent");
    }
  }
  curl_version_info_data complete = *curl_version_info(CURLVERSION_NOW);
  complete.protocols = withSmtp;
  complete.features = CURL_VERSION_SSL | CURL_VERSION_THREADSAFE;
  complete.ssl_version = "OpenSSL/3.0.0";
  EXPECT_NO_THROW(CheckMailLibrary(complete));
}

}  // namespace
}  // namespace orvella
