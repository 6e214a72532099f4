// Three stacked notification windows and a mini-mode pictogram on a real X
// server (Xvfb), captured from the screen as a person would see them.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "tests/gui/NotificationFixture.h"

namespace orvella::testing {
namespace {

// Why the screenshots cannot be taken, or empty when they can.
std::string SkipReason;

// An X server of our own, on a display number it picks itself.
class TXvfb {
public:
  TXvfb() {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
      return;
    FChild = fork();
    if (FChild == 0) {
      // The server goes with us, and keeps its chatter to itself.
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      const int null = open("/dev/null", O_RDWR);
      dup2(null, STDIN_FILENO);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
      // Only the write end of the pipe stays open across exec.
      const int fd = dup(pipeFds[1]);
      const std::string fdText = std::to_string(fd);
      execlp("Xvfb", "Xvfb", "-displayfd", fdText.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    close(pipeFds[1]);
    // The server writes its display number and a line break once it is ready.
    std::string number;
    char c = 0;
    while (FChild > 0 && read(pipeFds[0], &c, 1) == 1 && c != '\n')
      number += c;
    close(pipeFds[0]);
    if (!number.empty() && number.find_first_not_of("0123456789") == std::string::npos)
      FDisplay = ":" + number;
  }
  ~TXvfb() {
    if (FChild > 0) {
      kill(FChild, SIGTERM);
      waitpid(FChild, nullptr, 0);
    }
  }
  TXvfb(const TXvfb&) = delete;
  TXvfb& operator=(const TXvfb&) = delete;
  const std::string& Display() const { return FDisplay; }

private:
  pid_t FChild = -1;
  std::string FDisplay;
};

using NotificationScreenshot = NotificationFixture;

QImage CaptureScreen() {
  QTest::qWait(300);
  return QGuiApplication::primaryScreen()->grabWindow(0).toImage();
}

TEST_F(NotificationScreenshot, ThreeStackedWindowsAndAMiniPictogram) {
  if (!SkipReason.empty())
    GTEST_SKIP() << SkipReason;
  Start().SetShowMode(true);
  PostProblem(TLogId::gateway, 60'000);
  PostProblem(TLogId::rdp, 60'000);
  PostProblem(TLogId::disk, 60'000);
  const QImage stacked = CaptureScreen();
  ASSERT_TRUE(stacked.save("notifications-stacked.png"));
  std::printf("screenshots in %s\n", std::filesystem::current_path().c_str());
  // The lowest card's blue lies in the bottom-right corner of the screen.
  EXPECT_EQ(QColor(stacked.pixel(stacked.width() - 5, stacked.height() - 5)), QColor(63, 70, 227));

  FNotifications->RemoveAll();
  FNotifications->SetMiniMode(true);
  FTicks.Advance(360'000);
  PostProblem(TLogId::cpu, 60'000);
  ASSERT_EQ(FNotifications->Count(), 1);
  const QImage mini = CaptureScreen();
  ASSERT_TRUE(mini.save("notifications-mini.png"));
  // Only the pictogram is left of the card: amber in the corner, no blue beside it.
  const QRgb inside = mini.pixel(mini.width() - 55, mini.height() - 30);
  EXPECT_GT(qRed(inside), 150);
  EXPECT_NE(QColor(mini.pixel(mini.width() - 100, mini.height() - 30)), QColor(63, 70, 227));
}

}  // namespace
}  // namespace orvella::testing

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  std::unique_ptr<orvella::testing::TXvfb> server;
  const bool listing = ::testing::GTEST_FLAG(list_tests);
  if (listing) {
    orvella::testing::SkipReason = "only listing";
  } else if (std::system("command -v Xvfb >/dev/null 2>&1") != 0) {
    orvella::testing::SkipReason = "Xvfb is not installed (package xvfb)";
  } else {
    server = std::make_unique<orvella::testing::TXvfb>();
    if (server->Display().empty())
      orvella::testing::SkipReason = "Xvfb did not start";
  }
  if (!orvella::testing::SkipReason.empty()) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  } else {
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("DISPLAY", QByteArray::fromStdString(server->Display()));
  }
  int result = 0;
  {
    QApplication application(argc, argv);
    result = RUN_ALL_TESTS();
  }
  return result;
}
