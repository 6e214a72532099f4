#include "shell/ProblemReports.h"

#include <stdexcept>

namespace orvella {
namespace {

// Where the tray module meets report/: ShowSendReport is TfrmSendReport::Open,
// BeginSend and ActiveSenderCount are TMailSender's, StartMailUnit is the mail
// unit's TLS check (CheckMailTls). Until report/ is part of the build, asking
// for a report says that reports cannot be sent.
class TReportSubsystem final : public IProblemReports {
public:
  void ShowSendReport(TOnSend) override { throw std::runtime_error("Отправка отчетов недоступна"); }
  void BeginSend(const std::string&, const std::string&, const std::string&, const std::string&) override {
    throw std::runtime_error("Отправка отчетов недоступна");
  }
  int ActiveSenderCount() const override { return 0; }
};

}  // namespace

IProblemReports& ApplicationProblemReports() {
  static TReportSubsystem reports;
  return reports;
}

void StartMailUnit() {}

}  // namespace orvella
