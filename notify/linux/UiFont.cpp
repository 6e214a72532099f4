#include <QFontDatabase>

#include "notify/UiFont.h"

namespace orvella {

void EnsureUiFontLoaded() {
  // Wine's Tahoma has the metrics of the Windows font, so texts wrap and
  // shrink here as they do there. Fontconfig does not list Wine's folder.
  static const bool Loaded = QFontDatabase::addApplicationFont(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf")) >= 0;
  (void)Loaded;
}

}  // namespace orvella
