// Three stacked notification windows and a mini-mode pictogram on a real X
// server (Xvfb), captured from the screen as a person would see them.
#include <gtest/gtest.h>

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
#include "tests/support/ChildRun.h"
#include "tests/support/Xvfb.h"

namespace orvella::testing {
namespace {

// Why the screenshots cannot be taken, or empty when they can.
std::string SkipReason;

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
  } else if (!orvella::testing::OnPath("Xvfb")) {
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
