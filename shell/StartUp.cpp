#include "shell/StartUp.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

#include "base/ExceptionReport.h"
#include "shell/MonThreadHolder.h"
#include "shell/ProblemReports.h"

namespace orvella {

TStartUp::TStartUp() : FLogsDir(TLogsDir::FromLocalAppData()) {
  StartMailUnit();
  JobObject();
}

std::unique_ptr<TStartUp> TStartUp::Run() {
  try {
    return std::make_unique<TStartUp>();
  } catch (...) {
    ReportStartUpFailure(ExceptionText(std::current_exception()));
    return nullptr;
  }
}

void ReportStartUpFailure(const std::string& AMessage) {
  std::fprintf(stderr, "%s: %s\n", ApplicationTitle, AMessage.c_str());
  const QString platform = QGuiApplication::platformName();
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) && platform != QLatin1String("offscreen") &&
      platform != QLatin1String("minimal"))
    QMessageBox::critical(nullptr, QString::fromUtf8(ApplicationTitle), QString::fromStdString(AMessage));
}

}  // namespace orvella
