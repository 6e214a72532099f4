#include "notify/NotificationIconImage.h"

#include <QHelpEvent>

namespace orvella {

TNotificationIconImage::TNotificationIconImage(QWidget* AParent) : QLabel(AParent) {}

TNotificationIconImage::~TNotificationIconImage() = default;

void TNotificationIconImage::SetShowHint(bool AShow) {
  FShowHint = AShow;
  if (!AShow && FHintWindow)
    FHintWindow->hide();
}

bool TNotificationIconImage::event(QEvent* AEvent) {
  switch (AEvent->type()) {
  case QEvent::ToolTip:
    if (FShowHint && !FHint.isEmpty()) {
      if (!FHintWindow)
        FHintWindow = std::make_unique<TNotificationIconHintWindow>();
      // Below and right of the pointer, as the system places hints.
      FHintWindow->ActivateHint(static_cast<QHelpEvent*>(AEvent)->globalPos() + QPoint(0, 20), FHint);
    }
    return true;
  case QEvent::Leave:
  case QEvent::Hide:
    if (FHintWindow)
      FHintWindow->hide();
    break;
  default:
    break;
  }
  return QLabel::event(AEvent);
}

}  // namespace orvella
