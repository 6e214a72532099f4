#include <QFile>
#include <QFontDatabase>
#include <cstdint>

#include "base/UiFont.h"

namespace orvella {
namespace {

// Wine's Tahoma has the metrics of the Windows font, so texts wrap and shrink
// here as they do there. Fontconfig does not list Wine's folder.
constexpr const char* TahomaFile = "/usr/share/wine/fonts/tahoma.ttf";

uint16_t Read16(const QByteArray& AFont, qsizetype AOffset) {
  return static_cast<uint16_t>(static_cast<uint8_t>(AFont[AOffset]) << 8 | static_cast<uint8_t>(AFont[AOffset + 1]));
}

uint32_t Read32(const QByteArray& AFont, qsizetype AOffset) {
  return static_cast<uint32_t>(Read16(AFont, AOffset)) << 16 | Read16(AFont, AOffset + 2);
}

void Write16(QByteArray& AFont, qsizetype AOffset, uint16_t AValue) {
  AFont[AOffset] = static_cast<char>(AValue >> 8);
  AFont[AOffset + 1] = static_cast<char>(AValue);
}

// Where the table ATag lies in the font file, if it is there whole and at
// least AMinLength long; 0 otherwise.
qsizetype FindTable(const QByteArray& AFont, const char (&ATag)[5], uint32_t AMinLength) {
  if (AFont.size() < 12)
    return 0;
  const uint16_t count = Read16(AFont, 4);
  for (qsizetype record = 12; record < 12 + 16 * qsizetype{count} && record + 16 <= AFont.size(); record += 16) {
    if (AFont.mid(record, 4) != QByteArray(ATag, 4))
      continue;
    const qsizetype offset = Read32(AFont, record + 8);
    const qsizetype length = Read32(AFont, record + 12);
    return length >= AMinLength && offset > 0 && offset + length <= AFont.size() ? offset : 0;
  }
  return 0;
}

// The font with the line spacing of Windows, usWinAscent + usWinDescent of
// its OS/2 table: 14 pixels at 9 pt. Left alone, renderers space Tahoma's
// lines by 11 pixels at 9 pt, so descenders touch the next line and texts
// shrink where they do not on Windows. Two things lead them there:
// - the OS/2 table asks for the typographic metrics (USE_TYPO_METRICS); with
//   that flag clear they take the horizontal header, which is set to the
//   Windows metrics without a line gap;
// - at 8 to 16 pixels the glyphs come from embedded bitmaps with line metrics
//   of their own; the bitmap sizes are withdrawn, so every size is drawn from
//   the outlines with the same metrics, as Windows does.
QByteArray WithWindowsLineMetrics(QByteArray AFont) {
  const qsizetype os2 = FindTable(AFont, "OS/2", 78);
  const qsizetype hhea = FindTable(AFont, "hhea", 10);
  if (os2 == 0 || hhea == 0)
    return AFont;
  constexpr uint16_t UseTypoMetrics = 1 << 7;
  Write16(AFont, os2 + 62, Read16(AFont, os2 + 62) & ~UseTypoMetrics);
  Write16(AFont, hhea + 4, Read16(AFont, os2 + 74));
  Write16(AFont, hhea + 6, static_cast<uint16_t>(-Read16(AFont, os2 + 76)));
  Write16(AFont, hhea + 8, 0);
  // The bitmap location table counts its sizes at offset 4.
  if (const qsizetype eblc = FindTable(AFont, "EBLC", 8)) {
    Write16(AFont, eblc + 4, 0);
    Write16(AFont, eblc + 6, 0);
  }
  return AFont;
}

}  // namespace

void EnsureUiFontLoaded() {
  static const bool Loaded = [] {
    QFile file(QString::fromLatin1(TahomaFile));
    return file.open(QIODevice::ReadOnly) &&
           QFontDatabase::addApplicationFontFromData(WithWindowsLineMetrics(file.readAll())) >= 0;
  }();
  (void)Loaded;
}

}  // namespace orvella
