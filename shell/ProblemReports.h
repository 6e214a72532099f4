#pragma once
// What the tray module uses of the problem reports: the send-report dialog
// and the threads that mail report archives.
#include <functional>
#include <string>

namespace orvella {

class IProblemReports {
public:
  // Called with the name and the telephone number the user entered.
  using TOnSend = std::function<void(const std::string& AName, const std::string& APhone)>;

  virtual ~IProblemReports() = default;
  // Opens the send-report dialog, or brings the open one to the top, and makes
  // AOnSend the callback of its send button, replacing an earlier one.
  virtual void ShowSendReport(TOnSend AOnSend) = 0;
  // Mails one report archive on a thread of its own; returns at once.
  virtual void BeginSend(const std::string& AClientId, const std::string& AFileName, const std::string& AUserName,
                         const std::string& AUserPhone) = 0;
  // Mail senders whose end has not been handled on the GUI thread yet.
  virtual int ActiveSenderCount() const = 0;
};

// The send-report dialog and the mail senders of report/.
IProblemReports& ApplicationProblemReports();

// The mail unit's start-up work: raises when reports could not be mailed.
void StartMailUnit();

}  // namespace orvella
