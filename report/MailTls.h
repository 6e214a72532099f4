#pragma once
// The mail unit's start-up check, made once when the program starts, before
// any window exists and before any other thread runs.
struct curl_version_info_data;

namespace orvella {

// Initialises the mail library and checks that it can send mail over SMTP
// with TLS from several threads at once. Raises Exception naming what is
// missing otherwise; the program must not start without it.
void CheckMailTls();

// The same check on a description of the library (what curl_version_info
// says of it), without starting it.
void CheckMailLibrary(const curl_version_info_data& AInfo);

}  // namespace orvella
