#include <QPixmap>

#include "tests/gui/NotificationFixture.h"
#include "tests/gui/ZbarDecode.h"

namespace orvella::testing {
namespace {

using NotificationQrCode = NotificationFixture;

TEST_F(NotificationQrCode, GrabbedFromTheWindowDecodesToTheHelpLink) {
  if (!HaveZbar())
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
