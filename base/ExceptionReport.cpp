#include "base/ExceptionReport.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <cstdio>
#include <stdexcept>

namespace orvella {

namespace {
// Set and read on the GUI thread only.
bool GToStandardError = false;
}  // namespace

std::string ExceptionText(const std::exception_ptr& AError) {
  try {
    std::rethrow_exception(AError);
  } catch (const std::exception& error) {
    return error.what();
  } catch (...) {
    return "Unknown exception";
  }
}

void ShowExceptionReport(const std::exception_ptr& AError) {
  const std::string text = ExceptionText(AError);
  if (GToStandardError || qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
    std::fprintf(stderr, "%s: %s\n", ApplicationTitle, text.c_str());
    return;
  }
  QMessageBox::critical(nullptr, QString::fromUtf8(ApplicationTitle), QString::fromStdString(text));
}

void ReportExceptionsToStandardError(bool AToStandardError) { GToStandardError = AToStandardError; }

void RunGuarded(const std::function<void()>& AWork) {
  try {
    AWork();
  } catch (...) {
    ShowExceptionReport(std::current_exception());
  }
}

}  // namespace orvella
