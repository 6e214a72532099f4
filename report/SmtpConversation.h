#pragma once
// Follows one SMTP conversation as libcurl holds it, command by command and
// reply by reply, to enforce what libcurl leaves to chance: libcurl skips
// AUTH without a word when the server lists no mechanism, and it starts the
// upload even when the message is larger than the size the server announced.
// Both are stopped at the reply to MAIL FROM, before anything of the message
// has been sent.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvella {

class TSmtpConversation {
public:
  // A command line that libcurl sent.
  void CommandSent(std::string_view ALine);
  // A reply line from the server. False when the transfer must stop here;
  // Failure() then says why.
  bool ReplyReceived(std::string_view ALine);

  // Why the conversation was stopped; empty while it may go on.
  const std::string& Failure() const { return FFailure; }
  // The last complete reply, such as "535 5.7.8 Authentication credentials invalid".
  const std::string& LastReply() const { return FLastReply; }
  bool Authenticated() const { return FAuthenticated; }

private:
  enum class TCommand { Other, Ehlo, Auth, MailFrom };

  void CheckBeforeMail();

  TCommand FCommand = TCommand::Other;
  bool FAuthenticated = false;
  // The maximum message size of the last EHLO reply; none when not announced.
  std::optional<uint64_t> FSizeLimit;
  // The size that libcurl declared in MAIL FROM.
  std::optional<uint64_t> FMessageSize;
  std::string FLastReply;
  std::string FFailure;
};

}  // namespace orvella
