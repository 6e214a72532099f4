#pragma once
// Submits one message over SMTP: plain connect, EHLO, STARTTLS (required, with
// the certificate and host name verified, TLS 1.2 at least), EHLO again,
// AUTH LOGIN (required), one envelope sender, one recipient, QUIT.
#include <string>

#include "report/CurlHandles.h"
#include "report/SmtpConnection.h"

namespace orvella {

class TSmtpPassword;

class TSmtpClient {
public:
  explicit TSmtpClient(TSmtpConnection AConnection);

  // For building the message: MIME structures belong to a handle.
  CURL* Handle() const { return FCurl.get(); }

  // Sends AMessage with the top-level AHeaders from AAccount, logged in as
  // AAccount, to ARecipient. Any failure raises Exception with a text for the user.
  void Send(const std::string& AAccount, const TSmtpPassword& APassword, const std::string& ARecipient,
            curl_slist* AHeaders, curl_mime* AMessage);

private:
  TSmtpConnection FConnection;
  TCurlEasy FCurl;
};

}  // namespace orvella
