#include <QPixmap>
#include <cstdio>
#include <memory>

#include "tests/gui/NotificationFixture.h"

namespace orvella::testing {
namespace {

// zbarimg's answer for a picture file: the decoded texts, one a line.
std::string ZbarDecode(const std::string& AFileName) {
  const std::string command = "zbarimg --quiet --raw '" + AFileName + "' 2>/dev/null";
  const std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string output;
  char buffer[512];
  while (pipe && fgets(buffer, sizeof buffer, pipe.get()))
    output += buffer;
  return output;
}

using NotificationQrCode = NotificationFixture;

TEST_F(NotificationQrCode, GrabbedFromTheWindowDecodesToTheHelpLink) {
  if (std::system("command -v zbarimg >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "zbarimg (zbar-tools) is not installed";
  Start().SetShowMode(true);
  for (const TLogId id : {TLogId::gateway, TLogId::rdp, TLogId::ram}) {
    PostProblem(id);
    TfrmNotification& window = Window(FNotifications->Count() - 1);
    const QImage card = window.grab().toImage();
    ASSERT_EQ(card.size(), QSize(388, 195));
    // Only the pure black and white of the code, as drawn in the window.
    const QImage code = card.copy(285, 95, 89, 89);
    for (int y = 0; y < code.height(); ++y)
      for (int x = 0; x < code.width(); ++x)
        ASSERT_TRUE(code.pixel(x, y) == qRgb(0, 0, 0) || code.pixel(x, y) == qRgb(255, 255, 255));

    const std::string name = "qr-window-" + std::string(LogIdName(id)) + ".png";
    // At two pixels a module zbar's scanner misses some symbols; enlarging
    // without smoothing adds no information, it only spreads every pixel.
    ASSERT_TRUE(card.scaled(card.size() * 3, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                    .save(QString::fromStdString(name)));
    EXPECT_EQ(ZbarDecode(name), NotificationHelpLink(id) + "\n") << name;
  }
}

}  // namespace
}  // namespace orvella::testing
