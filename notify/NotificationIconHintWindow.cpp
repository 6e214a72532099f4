#include "notify/NotificationIconHintWindow.h"

#include <QFontMetrics>
#include <algorithm>

#include "base/UiFont.h"

namespace orvella {
namespace {

constexpr int HintMargin = 3;

}  // namespace

TNotificationIconHintWindow::TNotificationIconHintWindow()
    : QLabel(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setWordWrap(true);
  setMargin(HintMargin);
  setFont(UiFont(8));
  setFrameShape(QFrame::Box);
  setStyleSheet(QStringLiteral("QLabel { background: #FFFFE1; color: black; border: 1px solid #767676; }"));
}

QRect TNotificationIconHintWindow::CalcHintRect(int AMaxWidth, const QString& AHint) const {
  const int width = std::min(AMaxWidth, MaxHintWidth);
  const int frame = 2 * (HintMargin + frameWidth());
  const QRect text = fontMetrics().boundingRect(QRect(0, 0, width - frame, 100000), Qt::TextWordWrap, AHint);
  return QRect(0, 0, text.width() + frame + 1, text.height() + frame);
}

void TNotificationIconHintWindow::ActivateHint(const QPoint& AAt, const QString& AHint) {
  setText(AHint);
  setGeometry(CalcHintRect(MaxHintWidth, AHint).translated(AAt));
  show();
}

}  // namespace orvella
