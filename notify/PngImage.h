#pragma once
// The embedded pictures: PNG with alpha, decoded with libpng.
#include <QByteArray>
#include <QImage>
#include <QString>

namespace orvella {

// A 32-bit image with alpha; EConvertError when the data is not a PNG.
QImage DecodePng(const QByteArray& AData);

// True when the application embeds a picture of that name.
bool HasPictureResource(const QString& AName);
// The embedded picture ":/<AName>" decoded; EConvertError when it is missing or broken.
QImage LoadPictureResource(const QString& AName);

}  // namespace orvella
