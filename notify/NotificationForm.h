#pragma once
// A notification window: caption, problem text, pictogram, link label and the
// link's QR code on a blue card that stays on top and never takes the focus.
#include <QImage>
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <string>

#include "notify/Proc.h"

class QLabel;
class QMenu;
class QTimer;

namespace orvella {

class TNotificationIconImage;
class TNotifications;

class TfrmNotification : public QWidget {
  Q_OBJECT
public:
  static constexpr int ClientWidth = 388;
  static constexpr int ClientHeight = 195;
  // The text shrinks from 9 pt while it is taller than its box, down to this size.
  static constexpr int MinTextSize = 6;

  // A hidden window laid out for its content; APicture is the pictogram, if any.
  TfrmNotification(TNotifications& AOwner, const std::string& ACaption, const std::string& AText,
                   const std::string& ALinkText, const std::string& ALink, int32_t AId, int32_t AInterval,
                   const TProc& AOnLink, const std::optional<QImage>& APicture);
  ~TfrmNotification() override;

  // Class operations: they act on the application's notification windows.
  static void Add(const std::string& ACaption, const std::string& AText, const std::string& ALinkText,
                  const std::string& ALink, int32_t AId, int32_t AInterval, const TProc& AOnLink);
  static void RemoveId(int32_t AId);
  static void RemoveAll();
  static void SetShowMode(bool AShow);
  static void SetIconMenu(QMenu* AMenu);

  int32_t Id() const { return FId; }
  const std::string& Link() const { return FLink; }
  const TProc& OnLink() const { return FOnLink; }
  // True when the window shows exactly these texts and this link.
  bool Shows(const std::string& ACaption, const std::string& AText, const std::string& ALinkText,
             const std::string& ALink) const;
  // The pictogram's bounds in window coordinates (empty without a picture).
  QRect IconBounds() const;
  int TextFontSize() const { return FTextSize; }

  // Keeps the window but takes the new callback and restarts its countdown.
  void Refresh(const TProc& AOnLink, int32_t AInterval);
  // Mini form: only the half-transparent pictogram with its hint.
  void ApplyWindowMode(bool AMiniMode);
  // Visible windows run their close timer, hidden ones do not.
  void ApplyVisibility(bool AShowMode);

protected:
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override;
  void mouseReleaseEvent(QMouseEvent* AEvent) override;
  void closeEvent(QCloseEvent* AEvent) override;

private:
  void LayoutContent(const std::string& ACaption, const std::string& AText, const std::string& ALinkText,
                     const std::optional<QImage>& APicture);
  void ShowQrCode();
  void LinkAction();
  void SetLinkColour(const QColor& AColour);
  void IconClick();

  TNotifications& FOwner;
  QLabel* imgBackground;
  QLabel* imgQrCode;
  QLabel* lblLink;
  QLabel* lblCaption;
  QLabel* lblText;
  QLabel* imgCloseNormal;
  QLabel* imgCloseHot;
  QTimer* tmrClose;
  TNotificationIconImage* imgIcon;

  std::string FLink;
  TProc FOnLink;
  int32_t FId;
  std::string FCaption;
  std::string FText;
  std::string FLinkText;
  int FTextSize = 9;
  bool FMiniMode = false;
  // The icon menu this window's pictogram last opened.
  QPointer<QMenu> FPoppedMenu;
};

}  // namespace orvella
