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
      FHintWindow->ActivateHint(static_cast<QHelpEvent*>(AEvent)->globalPos(), FHint);
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
