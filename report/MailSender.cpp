#include "report/MailSender.h"

#include <ctime>
#include <exception>
#include <filesystem>
#include <memory>
#include <thread>

#include "base/FixedValues.h"
#include "base/GuiQueue.h"
#include "platform/Exceptions.h"
#include "report/CurlHandles.h"
#include "report/MailHeaders.h"
#include "report/SmtpClient.h"
#include "report/SmtpPassword.h"

namespace orvella {
namespace {

constexpr const char* UnitName = "uMail";
constexpr const char* Subject = "Отчет Orvella";

int ActiveSenders = 0;

bool HasZipExtension(const std::string& AFileName) {
  std::string extension = std::filesystem::path(AFileName).extension().string();
  for (char& c : extension)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  return extension == ".zip";
}

void CheckMime(CURLcode AResult, const std::string& AWhat) {
  if (AResult != CURLE_OK)
    throw Exception("The report mail could not be composed (" + AWhat + "): " + curl_easy_strerror(AResult));
}

void Append(TCurlList& AList, const std::string& ALine) {
  curl_slist* list = curl_slist_append(AList.get(), ALine.c_str());
  if (!list)
    throw Exception("Out of memory");
  // The head is new only when the list was empty.
  if (!AList)
    AList.reset(list);
}

}  // namespace

void TMailSender::BeginSend(const std::string& AClientId, const std::string& AFileName, const std::string& AUserName,
                            const std::string& AUserPhone, const TSmtpConnection& AConnection) {
  std::unique_ptr<TMailSender> sender(new TMailSender(AClientId, AFileName, AUserName, AUserPhone, AConnection));
  // If the thread cannot start, the lambda and with it the sender are freed here.
  std::thread([sender = std::move(sender)]() mutable {
    sender->Execute();
    sender.reset();
  }).detach();
}

int TMailSender::ActiveSenderCount() { return ActiveSenders; }

TMailSender::TMailSender(const std::string& AClientId, const std::string& AFileName, const std::string& AUserName,
                         const std::string& AUserPhone, const TSmtpConnection& AConnection)
    : FClientId(AClientId), FFileName(AFileName), FUserName(AUserName), FUserPhone(AUserPhone),
      FConnection(AConnection) {
  if (!OnGuiThread())
    throw EAssertionFailed("A mail sender was created off the GUI thread", UnitName);
  ++ActiveSenders;
}

TMailSender::~TMailSender() {
  QueueToGuiThread([] { --ActiveSenders; });
}

void TMailSender::Execute() {
  try {
    SendMail();
  } catch (...) {
    // Raised again on the GUI thread, where the standard exception report shows it.
    QueueToGuiThread([error = std::current_exception()] { std::rethrow_exception(error); });
  }
}

void TMailSender::SendMail() {
  if (!HasZipExtension(FFileName))
    throw EAssertionFailed("A report attachment must be a .zip file, not " + FFileName, UnitName);

  TSmtpClient client(FConnection);
  TCurlList headers;
  Append(headers, "Date: " + MailDate(std::time(nullptr)));
  Append(headers, std::string("From: ") + ReportSenderAccount);
  Append(headers, std::string("Sender: ") + ReportSenderAccount);
  Append(headers, std::string("To: ") + SupportMailbox);
  Append(headers, "Subject: " + EncodedWords(Subject));

  const TCurlMime message(curl_mime_init(client.Handle()));
  if (!message)
    throw Exception("Out of memory");
  const std::string text = "Номер клиента: " + FClientId + "\r\nИмя пользователя: " + FUserName +
                           "\r\nКонтактный номер телефона: " + FUserPhone;
  curl_mimepart* textPart = curl_mime_addpart(message.get());
  CheckMime(curl_mime_data(textPart, text.data(), text.size()), "text");
  CheckMime(curl_mime_type(textPart, "text/plain; charset=UTF-8"), "text");
  CheckMime(curl_mime_encoder(textPart, "base64"), "text");

  curl_mimepart* archivePart = curl_mime_addpart(message.get());
  // Names the part by the file name without its folder.
  CheckMime(curl_mime_filedata(archivePart, FFileName.c_str()), FFileName);
  CheckMime(curl_mime_type(archivePart, "application/zip"), FFileName);
  CheckMime(curl_mime_encoder(archivePart, "base64"), FFileName);

  const TSmtpPassword password;
  client.Send(ReportSenderAccount, password, SupportMailbox, headers.get(), message.get());
}

}  // namespace orvella
