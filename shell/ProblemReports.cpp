#include "shell/ProblemReports.h"

#include <stdexcept>

namespace orvella {
namespace {

// The adapter point between the tray module and report/.
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
