#include "notify/Notifications.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QScreen>
#include <QUrl>
#include <cmath>
#include <cstring>

#include "notify/PngImage.h"
#include "platform/Exceptions.h"

namespace orvella {
namespace {

TNotifications* CurrentNotifications = nullptr;

double ReadMiniModeUTC(const platform::ISettingsHive& ASettings) {
  const std::optional<std::string> data = ReadRegBinary(TNotifications::MiniModeValue, 8, ASettings);
  if (!data)
    return 0;
  // Stored as a little-endian IEEE double.
  uint64_t bits = 0;
  for (int i = 0; i < 8; ++i)
    bits |= static_cast<uint64_t>(static_cast<unsigned char>((*data)[static_cast<size_t>(i)])) << (8 * i);
  double value = 0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

void WriteMiniModeUTC(double AValue, const platform::ISettingsHive& ASettings) {
  uint64_t bits = 0;
  std::memcpy(&bits, &AValue, sizeof bits);
  std::string data(8, '\0');
  for (int i = 0; i < 8; ++i)
    data[static_cast<size_t>(i)] = static_cast<char>(bits >> (8 * i));
  WriteRegBinary(TNotifications::MiniModeValue, data, ASettings);
}

}  // namespace

void TNotifications::TDeferredDelete::operator()(TfrmNotification* AWindow) const {
  // Hiding stops its close timer: a window that is no longer listed never
  // runs its close handling while it waits for deletion.
  AWindow->ApplyVisibility(false);
  AWindow->deleteLater();
}

TNotifications::TNotifications(const platform::IClock& AClock, const platform::ITickSource& ATicks,
                               const platform::ISettingsHive& ASettings, TLinkOpener AOpenLink)
    : FClock(AClock), FTicks(ATicks), FSettings(ASettings), FOpenLink(std::move(AOpenLink)) {
  if (CurrentNotifications)
    throw EAssertionFailed("A second notification list was created", UnitName);
  FMiniModeUTC = ReadMiniModeUTC(FSettings);
  ApplyMiniMode(true);
  try {
    CheckMiniModeExpiry();
  } catch (const EOSError&) {
    // Storing that the mini mode is off failed (a full disk, a folder gone
    // read-only): it is off all the same, and the notifications must work.
  }
  WatchScreens();
  CurrentNotifications = this;
}

TNotifications::~TNotifications() {
  CurrentNotifications = nullptr;
  // The windows cannot outlive the GUI: they go now, without their close
  // handling, rather than through an event loop that may have ended.
  for (TWindowPtr& window : FList)
    std::unique_ptr<TfrmNotification>(window.release()).reset();
}

TNotifications& TNotifications::Current() {
  if (!CurrentNotifications)
    throw EAssertionFailed("No notification list exists", UnitName);
  return *CurrentNotifications;
}

void TNotifications::OpenInBrowser(const std::string& ALink) {
  // What the shell answers is of no interest: the window stays either way.
  QDesktopServices::openUrl(QUrl(QString::fromStdString(ALink)));
}

void TNotifications::Add(const std::string& ACaption, const std::string& AText, const std::string& ALinkText,
                         const std::string& ALink, int32_t AId, int32_t AInterval, const TProc& AOnLink) {
  CheckMiniModeExpiry();
  if (ALink.empty() != static_cast<bool>(AOnLink))
    throw EAssertionFailed("A notification needs exactly one of a link and a link callback", UnitName);

  const QString pictureName = QStringLiteral("NOTIFICATION_%1").arg(AId);
  const bool hasPicture = HasPictureResource(pictureName);
  if (FMiniMode && (!FList.empty() || static_cast<uint32_t>(Tick() - FLastCloseTick) < MiniModeWait || !hasPicture))
    return;

  std::optional<size_t> replaced;
  for (size_t i = 0; i < FList.size(); ++i) {
    if (FList[i]->Id() != AId)
      continue;
    if (FList[i]->Shows(ACaption, AText, ALinkText, ALink)) {
      FList[i]->Refresh(AOnLink, AInterval);
      return;
    }
    replaced = i;
    break;
  }

  // A window that fails while being built goes with its pointer; the list stays as it was.
  std::optional<QImage> picture;
  if (hasPicture)
    picture = LoadPictureResource(pictureName);
  TWindowPtr window(new TfrmNotification(*this, ACaption, AText, ALinkText, ALink, AId, AInterval, AOnLink, picture));

  TfrmNotification& added = *window;
  if (replaced) {
    window->setGeometry(FList[*replaced]->geometry());
    FList[*replaced] = std::move(window);
  } else {
    FList.push_back(std::move(window));
    ArrangeNotifications();
  }
  added.ApplyWindowMode(FMiniMode);
  added.ApplyVisibility(FShowMode);
}

void TNotifications::RemoveId(int32_t AId) {
  for (size_t i = 0; i < FList.size(); ++i) {
    if (FList[i]->Id() != AId)
      continue;
    FList.erase(FList.begin() + static_cast<std::ptrdiff_t>(i));
    FLastCloseTick = Tick();
    if (i < FList.size())
      ArrangeNotifications();
    break;
  }
  CheckMiniModeExpiry();
}

void TNotifications::RemoveAll() {
  while (!FList.empty())
    FList.pop_back();
  FLastCloseTick = Tick();
  CheckMiniModeExpiry();
}

void TNotifications::SetShowMode(bool AShow) {
  if (AShow && !FShowMode)
    FLastCloseTick = 0;
  FShowMode = AShow;
  for (const TWindowPtr& window : FList)
    window->ApplyVisibility(FShowMode);
}

void TNotifications::SetMiniMode(bool AValue) {
  if (AValue == FMiniMode)
    return;
  ApplyMiniMode(AValue);
  FMiniModeUTC = AValue ? FClock.UtcNow() : 0;
  WriteMiniModeUTC(FMiniModeUTC, FSettings);
}

void TNotifications::ApplyMiniMode(bool AValue) {
  const bool changed = AValue != FMiniMode;
  FMiniMode = AValue;
  ArrangeNotifications();
  for (const TWindowPtr& window : FList)
    window->ApplyWindowMode(FMiniMode);
  if (changed)
    emit MiniModeChanged(FMiniMode);
}

void TNotifications::CheckMiniModeExpiry() {
  // Not a number counts as expired as well.
  if (!(FClock.UtcNow() - FMiniModeUTC < 1.0))
    SetMiniMode(false);
}

void TNotifications::ArrangeNotifications() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen)
    return;
  const QRect area = screen->availableGeometry();
  QPoint corner(area.x() + area.width(), area.y() + area.height());
  for (const TWindowPtr& window : FList) {
    const QRect reference = FMiniMode ? window->IconBounds() : QRect(0, 0, window->width(), window->height());
    window->move(corner - QPoint(reference.x() + reference.width(), reference.y() + reference.height()));
    corner.ry() -= reference.height();
    if (reference.height() > 0)
      corner.ry() -= 5;
  }
}

void TNotifications::WindowClosed(TfrmNotification& AWindow) {
  FLastCloseTick = Tick();
  for (auto it = FList.begin(); it != FList.end(); ++it) {
    if (it->get() == &AWindow) {
      FList.erase(it);
      break;
    }
  }
  ArrangeNotifications();
  CheckMiniModeExpiry();
}

void TNotifications::WatchScreens() {
  // A change of the screen or of its work area stacks the windows anew, once.
  const auto follow = [this](QScreen* AScreen) {
    if (!AScreen)
      return;
    connect(AScreen, &QScreen::geometryChanged, this, &TNotifications::ScreenChanged);
    connect(AScreen, &QScreen::availableGeometryChanged, this, &TNotifications::ScreenChanged);
  };
  follow(QGuiApplication::primaryScreen());
  connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, [this, follow](QScreen* AScreen) {
    follow(AScreen);
    ScreenChanged();
  });
}

void TNotifications::ScreenChanged() {
  if (!FList.empty())
    ArrangeNotifications();
}

bool MiniMode() { return TNotifications::Current().MiniMode(); }

void SetMiniMode(bool AValue) { TNotifications::Current().SetMiniMode(AValue); }

}  // namespace orvella
