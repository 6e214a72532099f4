#include "notify/NotificationIconHintWindow.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

#include "base/UiFont.h"

namespace orvella {
namespace {

constexpr int HintMargin = 3;
// How far below the pointer's tip a hint starts: clear of the pointer's picture.
constexpr int PointerHeight = 20;

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

void TNotificationIconHintWindow::ActivateHint(const QPoint& APointer, const QString& AHint) {
  setText(AHint);
  // Below and right of the pointer, as the system places hints, but kept on
  // the screen as it keeps them: a mini window sits in the screen's corner.
  QRect bounds = CalcHintRect(MaxHintWidth, AHint).translated(APointer + QPoint(0, PointerHeight));
  const QScreen* screen = QGuiApplication::screenAt(APointer);
  const QRect area = (screen ? screen : QGuiApplication::primaryScreen())->availableGeometry();
  if (bounds.right() > area.right())
    bounds.moveRight(area.right());
  if (bounds.bottom() > area.bottom())
    bounds.moveBottom(APointer.y() - 1);
  if (bounds.left() < area.left())
    bounds.moveLeft(area.left());
  if (bounds.top() < area.top())
    bounds.moveTop(area.top());
  setGeometry(bounds);
  show();
}

}  // namespace orvella
