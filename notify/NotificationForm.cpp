#include "notify/NotificationForm.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QTimer>

#include "base/ExceptionReport.h"
#include "base/UiFont.h"
#include "notify/NotificationIconImage.h"
#include "notify/Notifications.h"
#include "notify/PngImage.h"
#include "notify/QrCode.h"

namespace orvella {
namespace {

const QColor Background(63, 70, 227);
const QColor Yellow(255, 255, 0);
const QColor LinkColour(255, 255, 255);
const QColor LinkHoverColour(255, 212, 212);
constexpr int AlphaInMiniMode = 127;
// The box the problem text must fit in, and the size it starts from.
const QRect TextBox(15, 32, 356, 57);
constexpr int TextStartSize = 9;
constexpr int LinkBoxMargin = 10;
constexpr const char* PopupComponentProperty = "PopupComponent";

// The labels keep the texts as given; line breaks are written "\r\n" there.
QString DisplayText(const std::string& AText) {
  return QString::fromStdString(AText).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QLabel* MakeLabel(QWidget* AParent, const char* AName, const QRect& ABounds) {
  auto* label = new QLabel(AParent);
  label->setObjectName(QString::fromLatin1(AName));
  label->setGeometry(ABounds);
  return label;
}

void SetTextColour(QLabel* ALabel, const QColor& AColour) {
  QPalette palette = ALabel->palette();
  palette.setColor(QPalette::WindowText, AColour);
  ALabel->setPalette(palette);
}

// The windows are laid out in pixels of 96 dots per inch. On a denser screen
// each picture is enlarged to the device pixels without smoothing, as the
// system enlarges the windows of programs that know nothing of density; a
// picture that the screen would otherwise enlarge itself comes out blurred.
QImage Picture(const char* AName) { return LoadPictureResource(QString::fromLatin1(AName)); }

QPixmap DevicePixmap(const QImage& AImage, qreal ARatio) {
  if (ARatio == 1.0)
    return QPixmap::fromImage(AImage);
  QPixmap pixmap =
      QPixmap::fromImage(AImage.scaled(AImage.size() * ARatio, Qt::IgnoreAspectRatio, Qt::FastTransformation));
  pixmap.setDevicePixelRatio(ARatio);
  return pixmap;
}

}  // namespace

TfrmNotification::TfrmNotification(TNotifications& AOwner, const std::string& ACaption, const std::string& AText,
                                   const std::string& ALinkText, const std::string& ALink, int32_t AId,
                                   int32_t AInterval, const TProc& AOnLink, const std::optional<QImage>& APicture)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus |
                           Qt::NoDropShadowWindowHint),
      FOwner(AOwner), FLink(ALink), FOnLink(AOnLink), FId(AId), FCaption(ACaption), FText(AText),
      FLinkText(ALinkText) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  // Qt asks for hints only in the active window, and a notification never
  // becomes active: without this the pictogram's hint would never show.
  setAttribute(Qt::WA_AlwaysShowToolTips);
  // A notification that closes is never the application's last window.
  setAttribute(Qt::WA_QuitOnClose, false);
  setFocusPolicy(Qt::NoFocus);
  setFixedSize(ClientWidth, ClientHeight);
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, Background);
  setPalette(palette);
  setFont(UiFont(8));
  setWindowTitle(QString::fromStdString(ACaption));

  imgBackground = MakeLabel(this, "imgBackground", rect());
  imgBackground->setAlignment(Qt::AlignCenter);
  imgBackground->setPixmap(DevicePixmap(Picture("Emblem"), devicePixelRatioF()));

  imgQrCode = MakeLabel(this, "imgQrCode", QRect(285, 95, 89, 89));
  imgQrCode->setCursor(Qt::PointingHandCursor);

  lblLink = MakeLabel(this, "lblLink", QRect(160, 95, 97, 89));
  lblLink->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  lblLink->setWordWrap(true);
  lblLink->setCursor(Qt::PointingHandCursor);
  SetTextColour(lblLink, LinkColour);

  lblCaption = MakeLabel(this, "lblCaption", QRect(15, 9, 0, 0));
  SetTextColour(lblCaption, Yellow);

  lblText = MakeLabel(this, "lblText", TextBox);
  lblText->setWordWrap(true);
  lblText->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  SetTextColour(lblText, Yellow);

  imgCloseNormal = MakeLabel(this, "imgCloseNormal", QRect(363, 10, 14, 14));
  imgCloseNormal->setPixmap(DevicePixmap(Picture("CloseNormal"), devicePixelRatioF()));
  imgCloseHot = MakeLabel(this, "imgCloseHot", QRect(335, 10, 14, 14));
  imgCloseHot->setPixmap(DevicePixmap(Picture("CloseHot"), devicePixelRatioF()));
  imgCloseHot->hide();

  tmrClose = new QTimer(this);
  tmrClose->setObjectName(QStringLiteral("tmrClose"));
  tmrClose->setSingleShot(true);
  connect(tmrClose, &QTimer::timeout, this, &QWidget::close);

  imgIcon = new TNotificationIconImage(this);
  imgIcon->setObjectName(QStringLiteral("imgIcon"));
  imgIcon->setGeometry(8, 95, 113, 89);

  for (QWidget* child : std::initializer_list<QWidget*>{imgBackground, imgQrCode, lblLink, lblCaption, lblText,
                                                        imgCloseNormal, imgCloseHot, imgIcon})
    child->installEventFilter(this);

  LayoutContent(ACaption, AText, ALinkText, APicture);
  tmrClose->setInterval(AInterval);
}

TfrmNotification::~TfrmNotification() {
  // The menu may outlive the pictogram it was opened from; its owner must not
  // find a pointer to a window that is gone.
  // (The list may be gone already: windows are deleted through the event loop.)
  if (FPoppedMenu && FPoppedMenu->property(PopupComponentProperty).value<QObject*>() == imgIcon)
    FPoppedMenu->setProperty(PopupComponentProperty, QVariant());
}

void TfrmNotification::LayoutContent(const std::string& ACaption, const std::string& AText,
                                     const std::string& ALinkText, const std::optional<QImage>& APicture) {
  // The text shrinks until its wrapped lines fit the box.
  lblText->setText(DisplayText(AText));
  for (FTextSize = TextStartSize;; --FTextSize) {
    lblText->setFont(UiFont(FTextSize));
    if (lblText->heightForWidth(TextBox.width()) <= TextBox.height() || FTextSize <= MinTextSize)
      break;
  }
  lblText->setGeometry(TextBox);

  lblCaption->setFont(UiFont(FTextSize + 3));
  lblCaption->setText(DisplayText(ACaption));
  lblCaption->adjustSize();

  if (APicture) {
    imgIcon->setPixmap(DevicePixmap(*APicture, devicePixelRatioF()));
    imgIcon->resize(APicture->size());
  } else {
    imgIcon->resize(0, 0);
  }
  const QRect qr = imgQrCode->geometry();
  const int centre = qr.top() + qr.height() / 2;
  imgIcon->move(lblText->x(), centre - imgIcon->height() / 2);
  imgIcon->SetHint(DisplayText(ACaption + "\r\n" + AText));

  // The link label sits right-aligned between the pictogram and the QR code.
  const int boxLeft = imgIcon->x() + imgIcon->width() + LinkBoxMargin;
  const int boxRight = qr.left() - LinkBoxMargin;
  const QRect box(boxLeft, qr.top(), boxRight - boxLeft, qr.height());
  QFont linkFont = UiFont(FTextSize);
  linkFont.setUnderline(true);
  lblLink->setFont(linkFont);
  lblLink->setText(DisplayText(ALinkText));
  const QRect wrapped = QFontMetrics(linkFont).boundingRect(QRect(0, 0, box.width(), box.height()),
                                                            Qt::TextWordWrap | Qt::AlignRight, lblLink->text());
  const int width = std::min(wrapped.width(), box.width());
  const int height = std::min(wrapped.height(), box.height());
  lblLink->setGeometry(box.left() + box.width() - width, box.top() + box.height() / 2 - height / 2, width, height);

  imgQrCode->setVisible(!FOnLink);
  if (FOnLink)
    lblLink->move(lblLink->x() + qr.width(), lblLink->y());
  else
    ShowQrCode();
}

void TfrmNotification::ShowQrCode() {
  // Drawn for the device pixels: every module a sharp square on any screen.
  const qreal ratio = devicePixelRatioF();
  QPixmap code = QPixmap::fromImage(RenderQrCode(FLink, imgQrCode->size() * ratio));
  code.setDevicePixelRatio(ratio);
  imgQrCode->setPixmap(code);
}

bool TfrmNotification::Shows(const std::string& ACaption, const std::string& AText, const std::string& ALinkText,
                             const std::string& ALink) const {
  return FCaption == ACaption && FText == AText && FLinkText == ALinkText && FLink == ALink;
}

QRect TfrmNotification::IconBounds() const { return imgIcon->geometry(); }

void TfrmNotification::Refresh(const TProc& AOnLink, int32_t AInterval) {
  FOnLink = AOnLink;
  tmrClose->stop();
  tmrClose->setInterval(AInterval);
  if (isVisible())
    tmrClose->start();
}

void TfrmNotification::ApplyWindowMode(bool AMiniMode) {
  FMiniMode = AMiniMode;
  imgIcon->SetShowHint(AMiniMode);
  setWindowOpacity(AMiniMode ? AlphaInMiniMode / 255.0 : 1.0);
  if (!AMiniMode)
    clearMask();
  else if (imgIcon->width() > 0 && imgIcon->height() > 0)
    setMask(QRegion(imgIcon->geometry()));
  else
    // An empty mask would mean no mask at all; a region outside the window leaves nothing visible.
    setMask(QRegion(-1, -1, 1, 1));
}

void TfrmNotification::ApplyVisibility(bool AShowMode) {
  if (AShowMode && !isVisible()) {
    show();
    raise();
    tmrClose->start();
  } else if (!AShowMode && isVisible()) {
    hide();
    tmrClose->stop();
  }
}

void TfrmNotification::LinkAction() {
  if (FOnLink)
    FOnLink();
  else
    FOwner.OpenLink(FLink);
}

void TfrmNotification::SetLinkColour(const QColor& AColour) { SetTextColour(lblLink, AColour); }

void TfrmNotification::IconClick() {
  if (!FMiniMode) {
    close();
    return;
  }
  QMenu* menu = FOwner.IconMenu();
  if (!menu)
    return;
  // The menu's owner tells by this that it was opened from a notification.
  menu->setProperty(PopupComponentProperty, QVariant::fromValue(static_cast<QObject*>(imgIcon)));
  FPoppedMenu = menu;
  menu->popup(imgIcon->mapToGlobal(QPoint(0, 0)));
}

bool TfrmNotification::eventFilter(QObject* AWatched, QEvent* AEvent) {
  switch (AEvent->type()) {
  case QEvent::MouseButtonRelease: {
    const auto* mouse = static_cast<QMouseEvent*>(AEvent);
    const auto* widget = static_cast<QWidget*>(AWatched);
    // A click is a release of the left button over the component it was pressed on.
    if (mouse->button() != Qt::LeftButton || !widget->rect().contains(mouse->position().toPoint()))
      return false;
    if (AWatched == imgQrCode || AWatched == lblLink)
      RunGuarded([this] { LinkAction(); });
    else if (AWatched == imgCloseHot)
      RunGuarded([this] { FOwner.SetMiniMode(true); });
    else if (AWatched == imgIcon)
      RunGuarded([this] { IconClick(); });
    else if (AWatched != imgCloseNormal)
      close();
    return true;
  }
  case QEvent::Enter:
    if (AWatched == imgCloseNormal) {
      imgCloseHot->setGeometry(imgCloseNormal->geometry());
      imgCloseHot->show();
      imgCloseNormal->hide();
    } else if (AWatched == imgQrCode || AWatched == lblLink) {
      SetLinkColour(LinkHoverColour);
    }
    return false;
  case QEvent::Leave:
    if (AWatched == imgCloseHot) {
      imgCloseNormal->show();
      imgCloseHot->hide();
    } else if (AWatched == imgQrCode || AWatched == lblLink) {
      SetLinkColour(LinkColour);
    }
    return false;
  default:
    return false;
  }
}

void TfrmNotification::mouseReleaseEvent(QMouseEvent* AEvent) {
  if (AEvent->button() == Qt::LeftButton)
    close();
}

void TfrmNotification::closeEvent(QCloseEvent* AEvent) {
  AEvent->accept();
  tmrClose->stop();
  RunGuarded([this] { FOwner.WindowClosed(*this); });
}

void TfrmNotification::Add(const std::string& ACaption, const std::string& AText, const std::string& ALinkText,
                           const std::string& ALink, int32_t AId, int32_t AInterval, const TProc& AOnLink) {
  TNotifications::Current().Add(ACaption, AText, ALinkText, ALink, AId, AInterval, AOnLink);
}

void TfrmNotification::RemoveId(int32_t AId) { TNotifications::Current().RemoveId(AId); }

void TfrmNotification::RemoveAll() { TNotifications::Current().RemoveAll(); }

void TfrmNotification::SetShowMode(bool AShow) { TNotifications::Current().SetShowMode(AShow); }

void TfrmNotification::SetIconMenu(QMenu* AMenu) { TNotifications::Current().SetIconMenu(AMenu); }

}  // namespace orvella
