#include "report/TlsLibraries.h"

namespace orvella {

// libcurl's OpenSSL is the system's, kept up to date by its packages; the
// mail library's own check (CheckMailTls) finds it missing.
void CheckTlsLibraries() {}

}  // namespace orvella
