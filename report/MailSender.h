#pragma once
// Mails one report archive to the support desk on a thread of its own. The
// sender frees itself when its thread ends; its error, if any, and then its
// end travel to the GUI thread as queued work. Success is silent.
#include <string>

#include "report/SmtpConnection.h"

namespace orvella {

class TMailSender {
public:
  // GUI thread only. Starts a sender for the archive AFileName and returns at
  // once; an error in creating or starting it goes to the caller.
  // AConnection is the mail server; the product always uses the default.
  static void BeginSend(const std::string& AClientId, const std::string& AFileName, const std::string& AUserName,
                        const std::string& AUserPhone, const TSmtpConnection& AConnection = TSmtpConnection());

  // The senders created whose end has not yet been handled on the GUI thread.
  // GUI thread only.
  static int ActiveSenderCount();

  ~TMailSender();
  TMailSender(const TMailSender&) = delete;
  TMailSender& operator=(const TMailSender&) = delete;

private:
  TMailSender(const std::string& AClientId, const std::string& AFileName, const std::string& AUserName,
              const std::string& AUserPhone, const TSmtpConnection& AConnection);

  // The thread's body: SendMail, with its error queued to the GUI thread.
  void Execute();
  void SendMail();

  std::string FClientId;
  std::string FFileName;
  std::string FUserName;
  std::string FUserPhone;
  TSmtpConnection FConnection;
};

}  // namespace orvella
