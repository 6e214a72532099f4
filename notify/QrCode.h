#pragma once
// The QR code of a link as the notification windows show it.
#include <QImage>
#include <QSize>
#include <string>

namespace orvella {

// One bit per pixel, ATarget in size: the symbol with error correction level L,
// its encoding modes chosen from the content and a quiet zone of 2 modules,
// stretched without smoothing by the largest factor that fits and centred.
// EConvertError when the text cannot be encoded.
QImage RenderQrCode(const std::string& AText, QSize ATarget);

}  // namespace orvella
