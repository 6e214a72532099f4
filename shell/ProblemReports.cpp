#include "shell/ProblemReports.h"

#include "report/MailSender.h"
#include "report/MailTls.h"
#include "report/SendReportForm.h"

namespace orvella {
namespace {

// The send-report dialog and the mail senders, as the tray module sees them.
class TReportSubsystem final : public IProblemReports {
public:
  void ShowSendReport(TOnSend AOnSend) override { TfrmSendReport::Open(AOnSend); }
  void BeginSend(const std::string& AClientId, const std::string& AFileName, const std::string& AUserName,
                 const std::string& AUserPhone) override {
    TMailSender::BeginSend(AClientId, AFileName, AUserName, AUserPhone);
  }
  int ActiveSenderCount() const override { return TMailSender::ActiveSenderCount(); }
};

}  // namespace

IProblemReports& ApplicationProblemReports() {
  static TReportSubsystem reports;
  return reports;
}

void StartMailUnit() { CheckMailTls(); }

}  // namespace orvella
