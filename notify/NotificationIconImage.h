#pragma once
// The pictogram of a notification window. Its hint is its own window, capped
// in width, and only shown while the hint is enabled (the mini mode).
#include <QLabel>
#include <memory>

#include "notify/NotificationIconHintWindow.h"

namespace orvella {

class TNotificationIconImage : public QLabel {
  Q_OBJECT
public:
  explicit TNotificationIconImage(QWidget* AParent);
  ~TNotificationIconImage() override;

  void SetHint(const QString& AHint) { FHint = AHint; }
  const QString& Hint() const { return FHint; }
  void SetShowHint(bool AShow);
  bool ShowHint() const { return FShowHint; }
  // The hint window while it exists (for inspection).
  const TNotificationIconHintWindow* HintWindow() const { return FHintWindow.get(); }

protected:
  bool event(QEvent* AEvent) override;

private:
  QString FHint;
  bool FShowHint = false;
  std::unique_ptr<TNotificationIconHintWindow> FHintWindow;
};

}  // namespace orvella
