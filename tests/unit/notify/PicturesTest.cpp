#include <gtest/gtest.h>

#include <QFile>

#include "notify/PngImage.h"
#include "notify/QrCode.h"
#include "platform/Exceptions.h"

namespace orvella {
namespace {

TEST(Pictures, EveryEmbeddedPictureDecodesAtItsSize) {
  const struct {
    const char* Name;
    int Width, Height;
  } pictures[] = {{"NOTIFICATION_0", 60, 60}, {"NOTIFICATION_5", 60, 60}, {"Emblem", 139, 134},
                  {"CloseNormal", 14, 14},    {"CloseHot", 14, 14},       {"Menu0", 16, 16},
                  {"Menu5", 16, 16},          {"AppIcon32", 32, 32},      {"AppIcon256", 256, 256}};
  for (const auto& picture : pictures) {
    ASSERT_TRUE(HasPictureResource(picture.Name)) << picture.Name;
    const QImage image = LoadPictureResource(picture.Name);
    EXPECT_EQ(image.size(), QSize(picture.Width, picture.Height)) << picture.Name;
    EXPECT_TRUE(image.hasAlphaChannel());
  }
  for (int id = 0; id < 6; ++id)
    EXPECT_TRUE(HasPictureResource(QStringLiteral("NOTIFICATION_%1").arg(id)));
  EXPECT_FALSE(HasPictureResource("NOTIFICATION_6"));
  EXPECT_FALSE(HasPictureResource("NOTIFICATION_2147483647"));
}

TEST(Pictures, DecodingKeepsColoursAndAlpha) {
  // The pictograms are opaque amber inside and transparent in the rounded corners.
  const QImage icon = LoadPictureResource("NOTIFICATION_3");
  EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);
  const QRgb inside = icon.pixel(5, 30);
  EXPECT_EQ(qAlpha(inside), 255);
  EXPECT_GT(qRed(inside), 200);
  EXPECT_GT(qGreen(inside), 120);
  EXPECT_LT(qBlue(inside), 100);
  // The close glyphs: yellow and green.
  EXPECT_EQ(LoadPictureResource("CloseNormal").pixel(7, 7), qRgba(255, 255, 0, 255));
  EXPECT_EQ(LoadPictureResource("CloseHot").pixel(7, 7), qRgba(0, 255, 0, 255));
  // The QImage of the same file, decoded by Qt's own reader, agrees.
  QFile file(":/Emblem");
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray data = file.readAll();
  EXPECT_EQ(DecodePng(data), QImage::fromData(data, "PNG").convertToFormat(QImage::Format_ARGB32));
}

TEST(Pictures, BrokenDataIsAConvertError) {
  EXPECT_THROW(DecodePng(QByteArray("not a picture")), EConvertError);
  QFile file(":/Menu1");
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_THROW(DecodePng(file.readAll().left(60)), EConvertError);
  EXPECT_THROW(LoadPictureResource("Missing"), EConvertError);
}

TEST(QrCode, FillsTheImageWithBlackAndWhiteCentred) {
  const QImage code = RenderQrCode("https://help.orvella.example/x.html", QSize(89, 89));
  EXPECT_EQ(code.size(), QSize(89, 89));
  EXPECT_EQ(code.format(), QImage::Format_Mono);
  // Quiet zone white, then the dark corner of the finder pattern.
  EXPECT_EQ(code.pixel(1, 1), qRgb(255, 255, 255));
  EXPECT_EQ(code.pixel(88 - 1, 1), qRgb(255, 255, 255));
  bool dark = false;
  for (int x = 0; x < 10 && !dark; ++x)
    dark = code.pixel(x, x) == qRgb(0, 0, 0);
  EXPECT_TRUE(dark);
  // A symbol smaller than the image is centred: equal white margins.
  const QImage small = RenderQrCode("1", QSize(89, 60));
  int left = 0;
  while (small.pixel(left, 30) == qRgb(255, 255, 255) && left < 89)
    ++left;
  int right = 0;
  while (small.pixel(88 - right, 30) == qRgb(255, 255, 255) && right < 89)
    ++right;
  EXPECT_NEAR(left, right, 1);
  EXPECT_GT(left, 14);
}

}  // namespace
}  // namespace orvella
