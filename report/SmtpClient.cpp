#include "report/SmtpClient.h"

#include <string_view>

#include "platform/Exceptions.h"
#include "report/SmtpConversation.h"
#include "report/SmtpPassword.h"

namespace orvella {
namespace {

template <typename TValue>
void SetOption(CURL* ACurl, CURLoption AOption, TValue AValue) {
  if (const CURLcode result = curl_easy_setopt(ACurl, AOption, AValue); result != CURLE_OK)
    throw Exception(std::string("The mail library refused a setting: ") + curl_easy_strerror(result));
}

// libcurl hands every command it sends to the debug callback, and every reply
// line to the header callback, whose answer can stop the transfer.
int OnDebug(CURL*, curl_infotype AType, char* AData, size_t ASize, void* AConversation) {
  if (AType == CURLINFO_HEADER_OUT)
    static_cast<TSmtpConversation*>(AConversation)->CommandSent(std::string_view(AData, ASize));
  return 0;
}

size_t OnReply(char* AData, size_t, size_t ASize, void* AConversation) {
  return static_cast<TSmtpConversation*>(AConversation)->ReplyReceived(std::string_view(AData, ASize)) ? ASize : 0;
}

}  // namespace

TSmtpClient::TSmtpClient(TSmtpConnection AConnection) : FConnection(std::move(AConnection)), FCurl(curl_easy_init()) {
  if (!FCurl)
    throw Exception("The mail library could not start a transfer");
}

void TSmtpClient::Send(const std::string& AAccount, const TSmtpPassword& APassword, const std::string& ARecipient,
                       curl_slist* AHeaders, curl_mime* AMessage) {
  CURL* curl = FCurl.get();
  // The handle outlives this call (QUIT goes at its cleanup); whatever
  // happens here, nothing in it may point at this frame or at the caller's
  // message afterwards. A reset keeps the connection.
  const std::unique_ptr<CURL, decltype(&curl_easy_reset)> resetOnExit(curl, &curl_easy_reset);
  TSmtpConversation conversation;
  char errorText[CURL_ERROR_SIZE] = "";
  const std::string url = "smtp://" + FConnection.Host + ":" + std::to_string(FConnection.Port);
  const std::string sender = "<" + AAccount + ">";
  const TCurlList recipients(curl_slist_append(nullptr, ("<" + ARecipient + ">").c_str()));
  if (!recipients)
    throw Exception("Out of memory");

  SetOption(curl, CURLOPT_URL, url.c_str());
  SetOption(curl, CURLOPT_PROTOCOLS_STR, "smtp");
  SetOption(curl, CURLOPT_NOSIGNAL, 1L);
  SetOption(curl, CURLOPT_ERRORBUFFER, errorText);
  // Nothing goes out before TLS: without STARTTLS the send fails.
  SetOption(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
  SetOption(curl, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
  SetOption(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  SetOption(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!FConnection.CaFile.empty()) {
    SetOption(curl, CURLOPT_CAINFO, FConnection.CaFile.c_str());
    SetOption(curl, CURLOPT_CAPATH, static_cast<const char*>(nullptr));
  } else {
    // The system's trusted roots: on Windows libcurl over OpenSSL reads the
    // system's root store only when asked to (it has no CA file there); on
    // Linux its CA bundle is the system's and the flag changes nothing.
    SetOption(curl, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_NATIVE_CA));
  }
  SetOption(curl, CURLOPT_USERNAME, AAccount.c_str());
  SetOption(curl, CURLOPT_PASSWORD, APassword.Text());
  SetOption(curl, CURLOPT_LOGIN_OPTIONS, "AUTH=LOGIN");
  SetOption(curl, CURLOPT_MAIL_FROM, sender.c_str());
  SetOption(curl, CURLOPT_MAIL_RCPT, recipients.get());
  SetOption(curl, CURLOPT_HTTPHEADER, AHeaders);
  SetOption(curl, CURLOPT_MIMEPOST, AMessage);
  SetOption(curl, CURLOPT_CONNECTTIMEOUT, FConnection.ConnectTimeoutSeconds);
  SetOption(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, FConnection.StallTimeoutSeconds);
  SetOption(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  SetOption(curl, CURLOPT_LOW_SPEED_TIME, FConnection.StallTimeoutSeconds);
  SetOption(curl, CURLOPT_VERBOSE, 1L);
  SetOption(curl, CURLOPT_DEBUGFUNCTION, OnDebug);
  SetOption(curl, CURLOPT_DEBUGDATA, &conversation);
  SetOption(curl, CURLOPT_HEADERFUNCTION, OnReply);
  SetOption(curl, CURLOPT_HEADERDATA, &conversation);

  const CURLcode result = curl_easy_perform(curl);
  if (!conversation.Failure().empty())
    throw Exception("The report could not be sent: " + conversation.Failure());
  if (result != CURLE_OK) {
    std::string message = *errorText ? errorText : curl_easy_strerror(result);
    if (result == CURLE_OPERATION_TIMEDOUT)
      message = "the mail server stopped answering (" + message + ")";
    const std::string& reply = conversation.LastReply();
    if (!reply.empty() && (reply[0] == '4' || reply[0] == '5'))
      message += " (the mail server said: " + reply + ")";
    throw Exception("The report could not be sent: " + message);
  }
  if (!conversation.Authenticated())
    throw Exception("The report was sent, but the mail server did not ask the report sender to log in");
}

}  // namespace orvella
