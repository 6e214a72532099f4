#include "notify/PngImage.h"

#include <png.h>

#include <QFile>

#include "platform/Exceptions.h"

namespace orvella {
namespace {

// The simplified libpng reader; frees its state however it is left.
class TPngReader {
public:
  TPngReader() { FImage.version = PNG_IMAGE_VERSION; }
  ~TPngReader() { png_image_free(&FImage); }
  TPngReader(const TPngReader&) = delete;
  TPngReader& operator=(const TPngReader&) = delete;
  png_image& Image() { return FImage; }

private:
  png_image FImage{};
};

}  // namespace

QImage DecodePng(const QByteArray& AData) {
  TPngReader reader;
  png_image& image = reader.Image();
  if (!png_image_begin_read_from_memory(&image, AData.constData(), static_cast<size_t>(AData.size())))
    throw EConvertError(std::string("Invalid PNG picture: ") + image.message);
  // BGRA in memory is what QImage calls ARGB32 on little-endian machines;
  // on big-endian ones it is ARGB.
  image.format = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? PNG_FORMAT_BGRA : PNG_FORMAT_ARGB;
  QImage result(static_cast<int>(image.width), static_cast<int>(image.height), QImage::Format_ARGB32);
  if (result.isNull())
    throw EConvertError("PNG picture too large");
  if (!png_image_finish_read(&image, nullptr, result.bits(), static_cast<png_int_32>(result.bytesPerLine()), nullptr))
    throw EConvertError(std::string("Invalid PNG picture: ") + image.message);
  return result;
}

bool HasPictureResource(const QString& AName) { return QFile::exists(":/" + AName); }

QImage LoadPictureResource(const QString& AName) {
  QFile file(":/" + AName);
  if (!file.open(QIODevice::ReadOnly))
    throw EConvertError("Missing picture " + AName.toStdString());
  return DecodePng(file.readAll());
}

}  // namespace orvella
