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
  // Shows AHint beside the pointer at the screen point APointer: below and
  // right of it where the screen has room, otherwise moved onto the screen
  // and above the pointer.
  void ActivateHint(const QPoint& APointer, const QString& AHint);
};

}  // namespace orvella
