// SMTP server replies as the mail conversation reads them, between the
// commands that libcurl sends. The input is lines: one that starts with '>' is
// a command, any other a reply line of the server. A conversation stopped by
// a reply must say why, and once stopped it stays stopped.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "report/SmtpConversation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  std::string_view input(reinterpret_cast<const char*>(AData), ASize);
  orvella::TSmtpConversation conversation;
  bool stopped = false;
  while (!input.empty()) {
    const size_t end = input.find('\n');
    const std::string_view line = input.substr(0, end == std::string_view::npos ? input.size() : end + 1);
    input.remove_prefix(line.size());
    if (!line.empty() && line[0] == '>') {
      conversation.CommandSent(line.substr(1));
      continue;
    }
    const bool goesOn = conversation.ReplyReceived(line);
    if ((!goesOn && conversation.Failure().empty()) || (stopped && goesOn))
      std::abort();
    stopped = stopped || !goesOn;
  }
  return 0;
}
