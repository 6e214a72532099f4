#include "notify/QrCode.h"

#include <qrencode.h>

#include <QPainter>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <memory>

#include "platform/Exceptions.h"

namespace orvella {
namespace {

constexpr int QuietZone = 2;

struct TQrCodeFree {
  void operator()(QRcode* ACode) const { QRcode_free(ACode); }
};

}  // namespace

QImage RenderQrCode(const std::string& AText, QSize ATarget) {
  // Version 0: the smallest symbol that holds the text; QR_MODE_8 only says how
  // to take bytes that fit no other mode, the modes are chosen per segment.
  const std::unique_ptr<QRcode, TQrCodeFree> code(QRcode_encodeString(AText.c_str(), 0, QR_ECLEVEL_L, QR_MODE_8, 1));
  if (!code)
    throw EConvertError("The link cannot be encoded as a QR code (error " + std::to_string(errno) + ")");

  const int modules = code->width;
  const int n = modules + 2 * QuietZone;
  QImage source(n, n, QImage::Format_Mono);
  source.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
  source.fill(0);
  for (int y = 0; y < modules; ++y) {
    for (int x = 0; x < modules; ++x) {
      // Bit 0 of each byte tells whether the module is dark.
      if (code->data[y * modules + x] & 1)
        source.setPixel(x + QuietZone, y + QuietZone, 1);
    }
  }

  QImage target(ATarget, QImage::Format_Mono);
  target.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
  target.fill(0);
  const double factor = std::min(static_cast<double>(ATarget.width()) / n, static_cast<double>(ATarget.height()) / n);
  const int side = static_cast<int>(std::lround(n * factor));
  QRect destination(0, 0, side, side);
  const QPoint clientCentre(ATarget.width() / 2, ATarget.height() / 2);
  destination.translate(clientCentre - QPoint(side / 2, side / 2));

  // Painting on a mono image is not supported; stretch in 32 bits and convert
  // back, every pixel then being pure black or white.
  QImage canvas = target.convertToFormat(QImage::Format_RGB32);
  {
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(destination, source.convertToFormat(QImage::Format_RGB32));
  }
  return canvas.convertToFormat(QImage::Format_Mono, {qRgb(255, 255, 255), qRgb(0, 0, 0)}, Qt::ThresholdDither);
}

}  // namespace orvella
