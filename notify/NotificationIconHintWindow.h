#pragma once
// The hint of a notification's pictogram: word-wrapped, never wider than 400 pixels.
#include <QLabel>

namespace orvella {

class TNotificationIconHintWindow : public QLabel {
  Q_OBJECT
public:
  static constexpr int MaxHintWidth = 400;

  TNotificationIconHintWindow();

  // The hint's bounds for AHint when it may be at most AMaxWidth wide.
  QRect CalcHintRect(int AMaxWidth, const QString& AHint) const;
  // Shows AHint with its top-left corner at the screen point AAt.
  void ActivateHint(const QPoint& AAt, const QString& AHint);
};

}  // namespace orvella
