#pragma once
// The two header texts that libcurl does not make for a mail: encoded words
// for texts that are not plain ASCII, and the date.
#include <ctime>
#include <string>

namespace orvella {

// AText (UTF-8) as RFC 2047 encoded words in Base64, split at character
// boundaries so that no word is longer than 75 characters.
std::string EncodedWords(const std::string& AText);

// ATime as an RFC 5322 date in UTC, English whatever the locale:
// "Wed, 09 Dec 2026 11:30:08 +0000".
std::string MailDate(std::time_t ATime);

}  // namespace orvella
