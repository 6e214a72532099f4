#include "report/SmtpConversation.h"

#include <charconv>

namespace orvella {
namespace {

std::string_view WithoutLineBreak(std::string_view ALine) {
  while (!ALine.empty() && (ALine.back() == '\n' || ALine.back() == '\r'))
    ALine.remove_suffix(1);
  return ALine;
}

bool StartsWithNoCase(std::string_view AText, std::string_view APrefix) {
  if (AText.size() < APrefix.size())
    return false;
  for (size_t i = 0; i < APrefix.size(); ++i) {
    char c = AText[i];
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
    if (c != APrefix[i])
      return false;
  }
  return true;
}

std::optional<uint64_t> Number(std::string_view AText) {
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(AText.data(), AText.data() + AText.size(), value);
  if (error != std::errc() || end == AText.data())
    return std::nullopt;
  return value;
}

}  // namespace

void TSmtpConversation::CommandSent(std::string_view ALine) {
  const std::string_view line = WithoutLineBreak(ALine);
  if (StartsWithNoCase(line, "EHLO ")) {
    // Each EHLO (the second one comes over TLS) replaces what the last one said.
    FCommand = TCommand::Ehlo;
    FSizeLimit.reset();
  } else if (StartsWithNoCase(line, "AUTH ")) {
    FCommand = TCommand::Auth;
  } else if (StartsWithNoCase(line, "MAIL FROM:")) {
    FCommand = TCommand::MailFrom;
    const size_t size = line.find(" SIZE=");
    FMessageSize = size == std::string_view::npos ? std::nullopt : Number(line.substr(size + 6));
  } else if (FCommand != TCommand::Auth) {
    // The Base64 lines of a log-in are no commands of their own (they hold no
    // space or colon, so none of the prefixes above can match them).
    FCommand = TCommand::Other;
  }
}

bool TSmtpConversation::ReplyReceived(std::string_view ALine) {
  // Stopped once, the transfer stays stopped, continuation lines included.
  if (!FFailure.empty())
    return false;
  const std::string_view line = WithoutLineBreak(ALine);
  if (FCommand == TCommand::Ehlo && line.size() > 4 && StartsWithNoCase(line.substr(4), "SIZE ")) {
    // "SIZE 0" or a bare "SIZE" announce no limit.
    const std::optional<uint64_t> limit = Number(line.substr(9));
    if (limit && *limit > 0)
      FSizeLimit = limit;
  }
  // "250-..." continues a reply; "250 ..." or "250" ends it.
  if (line.size() > 3 && line[3] == '-')
    return true;
  FLastReply = line;
  if (FCommand == TCommand::Auth && line.substr(0, 3) == "235")
    FAuthenticated = true;
  if (FCommand == TCommand::MailFrom)
    CheckBeforeMail();
  return FFailure.empty();
}

void TSmtpConversation::CheckBeforeMail() {
  if (!FAuthenticated)
    FFailure = "the mail server did not ask the report sender to log in";
  else if (FSizeLimit && FMessageSize && *FMessageSize > *FSizeLimit)
    FFailure = "the report mail is " + std::to_string(*FMessageSize) +
               " bytes, but the mail server accepts at most " + std::to_string(*FSizeLimit) + " bytes";
}

}  // namespace orvella
