#pragma once
// The application's notification windows: their list in stacking order (index
// 0 lowest on the screen), whether they are shown, the mini mode with its
// stored start, and the moment a window last went away.
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "notify/NotificationForm.h"
#include "platform/Clock.h"
#include "platform/SettingsKey.h"
#include "platform/TickSource.h"
#include "base/SettingsStore.h"

namespace orvella {

class TNotifications : public QObject {
  Q_OBJECT
public:
  using TLinkOpener = std::function<void(const std::string& ALink)>;

  // A notification that is not in mini mode may follow another one at once;
  // in mini mode the next one waits this long after a close.
  static constexpr uint32_t MiniModeWait = 360000;
  static constexpr const char* MiniModeValue = "MiniModeUTC";
  static constexpr const char* UnitName = "uNotificationForm";

  // Reads the stored mini mode and lets it expire. One instance at a time
  // serves the class operations of TfrmNotification; it needs the GUI.
  explicit TNotifications(const platform::IClock& AClock = platform::SystemClock(),
                          const platform::ITickSource& ATicks = platform::SystemTickSource(),
                          const platform::ISettingsHive& ASettings = SettingsKey(),
                          TLinkOpener AOpenLink = OpenInBrowser);
  ~TNotifications() override;
  TNotifications(const TNotifications&) = delete;
  TNotifications& operator=(const TNotifications&) = delete;

  // The instance that serves TfrmNotification's class operations.
  static TNotifications& Current();

  void Add(const std::string& ACaption, const std::string& AText, const std::string& ALinkText,
           const std::string& ALink, int32_t AId, int32_t AInterval, const TProc& AOnLink);
  void RemoveId(int32_t AId);
  void RemoveAll();
  void SetShowMode(bool AShow);
  // The menu a mini window's pictogram pops up. Before it pops up, its
  // property "PopupComponent" is set to the pictogram, so the menu's owner
  // can tell where it was opened from.
  void SetIconMenu(QMenu* AMenu) { FIconMenu = AMenu; }
  void SetMiniMode(bool AValue);

  bool MiniMode() const { return FMiniMode; }
  bool ShowMode() const { return FShowMode; }
  double MiniModeUTC() const { return FMiniModeUTC; }
  uint32_t LastCloseTick() const { return FLastCloseTick; }
  QMenu* IconMenu() const { return FIconMenu; }
  int Count() const { return static_cast<int>(FList.size()); }
  TfrmNotification& Window(int AIndex) const { return *FList.at(static_cast<size_t>(AIndex)); }

signals:
  // The mini mode was switched, from a menu, a window's green "x" or its expiry.
  void MiniModeChanged(bool AMiniMode);

public:
  // Stacks the windows upward from the bottom-right corner of the work area.
  void ArrangeNotifications();

  // From the windows.
  void WindowClosed(TfrmNotification& AWindow);
  void OpenLink(const std::string& ALink) const { FOpenLink(ALink); }

  static void OpenInBrowser(const std::string& ALink);

private:
  // Windows go through the event loop, so one may remove itself from its own handler.
  struct TDeferredDelete {
    void operator()(TfrmNotification* AWindow) const;
  };
  using TWindowPtr = std::unique_ptr<TfrmNotification, TDeferredDelete>;

  void ApplyMiniMode(bool AValue);
  void CheckMiniModeExpiry();
  uint32_t Tick() const { return static_cast<uint32_t>(FTicks.Milliseconds()); }
  void WatchScreens();
  void ScreenChanged();

  const platform::IClock& FClock;
  const platform::ITickSource& FTicks;
  const platform::ISettingsHive& FSettings;
  TLinkOpener FOpenLink;
  std::vector<TWindowPtr> FList;
  bool FShowMode = false;
  bool FMiniMode = false;
  double FMiniModeUTC = 0;
  uint32_t FLastCloseTick = 0;
  QPointer<QMenu> FIconMenu;
};

// The mini mode of the application's notification windows.
bool MiniMode();
void SetMiniMode(bool AValue);

}  // namespace orvella
