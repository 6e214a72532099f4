#include "report/MailTls.h"

#include <curl/curl.h>

#include <cstring>
#include <string>

#include "platform/Exceptions.h"
#include "report/TlsLibraries.h"

namespace orvella {

void CheckMailTls() {
  CheckTlsLibraries();
  if (const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT); result != CURLE_OK)
    throw Exception(std::string("The mail library cannot start: ") + curl_easy_strerror(result));
  CheckMailLibrary(*curl_version_info(CURLVERSION_NOW));
}

void CheckMailLibrary(const curl_version_info_data& AInfo) {
  bool smtp = false;
  for (const char* const* protocol = AInfo.protocols; protocol && *protocol; ++protocol)
    smtp = smtp || std::strcmp(*protocol, "smtp") == 0;
  std::string missing;
  if (!smtp)
    missing += ", SMTP";
  if (!(AInfo.features & CURL_VERSION_SSL) || !AInfo.ssl_version)
    missing += ", TLS";
  if (!(AInfo.features & CURL_VERSION_THREADSAFE))
    missing += ", thread safety";
  if (!missing.empty())
    throw Exception(std::string("The mail library libcurl ") + AInfo.version + " lacks " + missing.substr(2) +
                    "; report mails cannot be sent");
}

}  // namespace orvella
