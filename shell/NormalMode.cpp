#include "shell/NormalMode.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "base/ExceptionReport.h"
#include "shell/MonApp.h"
#include "shell/ProblemReports.h"
#include "shell/SettingsForm.h"
#include "shell/SingleInstance.h"
#include "shell/StartUp.h"
#include "shell/TerminationSignals.h"

namespace orvella {

void ChooseDisplayPlatform() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
      !qEnvironmentVariableIsEmpty("DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "xcb");
}

bool DisplayAvailable() {
  if (!qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    return true;
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  return !platform.isEmpty() && platform != "xcb" && !platform.startsWith("wayland");
}

void InitApplication() {
  QApplication::setApplicationName(QStringLiteral("orvella"));
  QApplication::setWindowIcon(TdmMonApp::ApplicationIcon());
  QApplication::setQuitOnLastWindowClosed(false);
}

int RunNormalMode(const TStartUp& AStartUp) {
  // A later start of the user's brings up the settings dialog here; once the
  // end has begun it is refused, and the later start takes over.
  TdmMonApp* running = nullptr;
  const TSingleInstance instance([&running] {
    if (!running || running->Terminating())
      return false;
    running->miSettingsClick();
    return true;
  });
  if (!instance.Claimed()) {
    if (instance.HandedOver())
      return EXIT_SUCCESS;
    if (instance.SawItEnding())
      std::fprintf(stderr, "%s: the running instance is ending but did not end within %d s\n", ApplicationTitle,
                   TSingleInstance::EndingWaitMs / 1000);
    else
      std::fprintf(stderr, "%s: another instance runs but does not answer\n", ApplicationTitle);
    return EXIT_FAILURE;
  }
  TdmMonApp dmMonApp(TdmMonApp::MonitorThread(AStartUp.LogsDir()), ApplicationProblemReports());
  TfrmSettings frmSettings(dmMonApp);
  dmMonApp.SetMainForm(&frmSettings);
  running = &dmMonApp;
  const TTerminationSignals terminationSignals([&dmMonApp] { dmMonApp.Terminate(); });
  const int exitCode = QApplication::exec();
  running = nullptr;
  return exitCode;
}

}  // namespace orvella
