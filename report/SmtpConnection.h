#pragma once
// Where report mails go and how long a send may take. The product always uses
// the defaults; tests aim a sender at a server of their own.
#include <string>

#include "base/FixedValues.h"

namespace orvella {

struct TSmtpConnection {
  std::string Host = SmtpHost;
  int Port = 465;
  // A PEM bundle of trusted certificate authorities; empty for the system's store.
  std::string CaFile;
  // The whole connection set-up (TCP, greeting, STARTTLS, log-in) must finish
  // within this bound.
  long ConnectTimeoutSeconds = 30;
  // A send that makes no progress for this long (no reply, no upload) is
  // abandoned: the application's exit waits for every running sender.
  long StallTimeoutSeconds = 60;
};

}  // namespace orvella
