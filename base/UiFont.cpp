#include "base/UiFont.h"

namespace orvella {

QFont UiFont(int APointSize) {
  EnsureUiFontLoaded();
  QFont font(QStringLiteral("Tahoma"));
  // Points to pixels at 96 dpi, rounded as the Windows font height is.
  font.setPixelSize((APointSize * 96 + 36) / 72);
  font.setStyleStrategy(QFont::PreferAntialias);
  // Where Tahoma is missing, a sans-serif face of the system stands in, not
  // the serif face a font without a hint falls back to.
  font.setStyleHint(QFont::SansSerif);
  return font;
}

}  // namespace orvella
