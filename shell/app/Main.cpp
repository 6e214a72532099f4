// Orvella: the tray monitor of the hosted remote-desktop service.
#include <QApplication>
#include <cstdio>

#include "base/ExceptionReport.h"
#include "shell/NormalMode.h"
#include "shell/RunModes.h"
#include "shell/StartUp.h"

int main(int argc, char** argv) {
  if (!orvella::DisplayAvailable()) {
    std::fprintf(stderr, "%s: %s\n", orvella::ApplicationTitle, orvella::NoDisplayMessage);
    return 1;
  }
  orvella::ChooseDisplayPlatform();
  QApplication application(argc, argv);
  orvella::InitApplication();
  const std::unique_ptr<orvella::TStartUp> startUp = orvella::TStartUp::Run();
  if (!startUp)
    return 1;
  return orvella::RunChosenMode(QApplication::arguments(), [&] { return orvella::RunNormalMode(*startUp); });
}
