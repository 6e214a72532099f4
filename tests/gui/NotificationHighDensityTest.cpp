// The notification windows on a screen of two device pixels per pixel: the
// size and layout of 96 dots per inch, drawn with twice the detail.
#include <QApplication>
#include <QPixmap>

#include "notify/QrCode.h"
#include "tests/gui/NotificationFixture.h"
#include "tests/gui/ZbarDecode.h"

namespace orvella::testing {
namespace {

using NotificationHighDensity = NotificationFixture;

// True when every aligned 2 x 2 block of AImage has one colour: a picture
// enlarged without smoothing.
bool PixelsDoubled(const QImage& AImage) {
  for (int y = 0; y + 1 < AImage.height(); y += 2)
    for (int x = 0; x + 1 < AImage.width(); x += 2) {
      const QRgb pixel = AImage.pixel(x, y);
      if (AImage.pixel(x + 1, y) != pixel || AImage.pixel(x, y + 1) != pixel || AImage.pixel(x + 1, y + 1) != pixel)
        return false;
    }
  return true;
}

TEST_F(NotificationHighDensity, WindowsKeepTheirLayoutWithSharpTextAndQrCode) {
  ASSERT_EQ(qApp->devicePixelRatio(), 2.0);
  Start().SetShowMode(true);
  PostProblem(TLogId::gateway);
  PostProblem(TLogId::rdp);
  TfrmNotification& window = Window(0);
  EXPECT_EQ(window.size(), QSize(388, 195));
  EXPECT_EQ(BottomRight(window.geometry()), WorkAreaCorner());
  EXPECT_EQ(BottomRight(Window(1).geometry()), WorkAreaCorner() - QPoint(0, 200));
  EXPECT_EQ(Part(window, "imgQrCode")->geometry(), QRect(285, 95, 89, 89));
  EXPECT_EQ(window.IconBounds(), QRect(15, 109, 60, 60));
  EXPECT_EQ(window.TextFontSize(), 9);

  const QImage card = window.grab().toImage();
  ASSERT_EQ(card.size(), QSize(776, 390));
  // The code is drawn for the device pixels, not enlarged from the 89 x 89
  // picture of a plain screen.
  const QPixmap qr = Part(window, "imgQrCode")->pixmap();
  EXPECT_EQ(qr.devicePixelRatio(), 2.0);
  const QImage code = card.copy(570, 190, 178, 178).convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(code, RenderQrCode(window.Link(), QSize(178, 178)).convertToFormat(QImage::Format_RGB32));
  // Text too has the detail of the device pixels; pictures are enlarged
  // without smoothing, as the system enlarges the windows of programs that
  // know nothing of screen density.
  EXPECT_FALSE(PixelsDoubled(card.copy(30, 64, 712, 114)));
  EXPECT_TRUE(PixelsDoubled(card.copy(30, 218, 120, 120)));

  if (!HaveZbar())
    GTEST_SKIP() << "zbarimg (zbar-tools) is not installed";
  ASSERT_TRUE(card.save("qr-window-high-density.png"));
  EXPECT_EQ(ZbarDecode("qr-window-high-density.png"), window.Link() + "\n");
}

}  // namespace
}  // namespace orvella::testing

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("QT_SCALE_FACTOR", "2");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
