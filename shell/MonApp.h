#pragma once
// The tray application module: the tray icon and its menu, the user's
// settings in memory and in the settings store, the one monitor thread
// holder, the report flow, and the orderly end of the application.
#include <QIcon>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>

#include "base/SettingsStore.h"
#include "engine/LogIds.h"
#include "engine/LogsDir.h"
#include "engine/MonThreadSettings.h"
#include "shell/MonThreadHolder.h"
#include "shell/ProblemReports.h"

class QAction;
class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace orvella {

class TdmMonApp : public QObject {
  Q_OBJECT
public:
  // How the module starts monitoring: a holder per start, and whether every
  // holder, also one still stopping, is gone.
  struct TMonitor {
    std::function<std::shared_ptr<IMonThreadHolder>(
        const TMonThreadSettings& ASettings, TMonThreadHolder::TOnError AOnError,
        TMonThreadHolder::TOnReportCreated AOnReportCreated, TMonThreadHolder::TFailureHooks AHooks)>
        Create;
    std::function<bool()> AllowTerminate;
  };
  // Monitor thread holders running the monitoring loop, logging into ALogsDir.
  static TMonitor MonitorThread(const TLogsDir& ALogsDir);

  // The notice that an archive the loop collected on its own is ready.
  static constexpr int32_t ReportNoticeId = 2147483647;
  static constexpr int32_t ReportNoticeInterval = 5000;

  // Module start: reads the settings, shows the tray icon, hands the menu to
  // the notification windows. Monitoring starts at the first idle moment.
  TdmMonApp(TMonitor AMonitor, IProblemReports& AReports, const platform::ISettingsHive& ASettings = SettingsKey());
  // Ends what Shutdown has not ended yet.
  ~TdmMonApp() override;
  TdmMonApp(const TdmMonApp&) = delete;
  TdmMonApp& operator=(const TdmMonApp&) = delete;

  // The application's icon, in every size it comes in.
  static QIcon ApplicationIcon();

  static bool ValidateClientId(const std::string& AValue) { return !AValue.empty(); }
  // Accepts a valid number; true when it differs from the present one.
  bool UpdateClientId(const std::string& AValue);

  const std::string& ClientId() const { return FClientId; }
  void SetClientId(const std::string& AValue);
  bool GetMonitor(TLogId AIndex) const { return FLogsToMon.Contains(AIndex); }
  void SetMonitor(TLogId AIndex, bool AValue);
  bool Terminating() const { return FTerminating; }
  bool NotificationsEnabled() const { return FNotificationsEnabled; }
  TLogIds LogsToMon() const { return FLogsToMon; }

  void SetNotificationsEnabled(bool AShow);
  // Starts, updates or stops the holder; runs whenever the GUI thread is about to wait.
  void SetMonThreadSettings();
  void ReportCreated(const std::string& AFileName);
  void ShowSendReport(IProblemReports::TOnSend AOnSend);
  void StartReport(const std::string& AName, const std::string& APhone);

  // The application's main form, the settings dialog. Shown at once when the
  // module found no valid client number.
  void SetMainForm(QWidget* AForm);
  // The application's request to terminate, from the menu, a termination
  // signal, the end of the desktop session or a dead monitoring loop: runs
  // Shutdown and then ends the event loop, with EXIT_FAILURE when a step of
  // Shutdown failed. A request made while one is being handled returns at once.
  void Terminate() { EndApplication(false); }
  // The orderly end: stops monitoring and waits, running the GUI thread's
  // queue, until every holder and every mail sender is gone.
  void Shutdown();

  QMenu& PopupMenu() const { return *FPopupMenu; }
  QSystemTrayIcon& TrayIcon() const { return *FTrayIcon; }
  QAction& miToggleNotifications() const { return *FItems[0]; }
  QAction& miMiniNotifications() const { return *FItems[1]; }
  QAction& miSendReport() const { return *FItems[2]; }
  QAction& miSettings() const { return *FItems[3]; }
  QAction& miExit() const { return *FItems[4]; }

  // Menu handling.
  void PopupMenuPopup();
  void ApplicationEventsIdle();
  void miToggleNotificationsClick();
  void miMiniNotificationsClick();
  void miSendReportClick();
  void miSettingsClick();
  // The user's own "Выход": a report mail that fails while the program ends
  // is shown to him, as at any other time.
  void miExitClick() { EndApplication(true); }

protected:
  // A quit of the application that did not come through Terminate (the
  // session manager's last word) is turned into a termination request.
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

private:
  void AddMenuItem(const char* AName, int APicture, void (TdmMonApp::*AHandler)());
  // The captions and the picture that show the state: given when the items are
  // made and whenever that state changes, because a tray host that reads the
  // menu over D-Bus may draw it without asking for it to be updated first.
  void UpdateMenuTexts();
  void SetSendReportEnabled(bool AEnabled);
  void StartHolder(const TMonThreadSettings& ASettings);
  // Terminate's work. A request that nobody chose in a menu sends failures to
  // standard error from then on: no message box may hold up that end.
  void EndApplication(bool AChosenFromMenu);
  // One step of Shutdown; its failure is reported and the end goes on.
  void ShutdownStep(const std::function<void()>& AStep);
  // Mails an archive asked for from the menu, or posts the notice of one the loop collected.
  void PassOnReport(const std::string& AFileName);
  // The send callback of the report notice for AFileName.
  IProblemReports::TOnSend MailArchive(const std::string& AFileName);

  const TMonitor FMonitor;
  IProblemReports& FReports;
  const platform::ISettingsHive& FSettings;

  bool FNotificationsEnabled = false;
  std::string FClientId;
  std::shared_ptr<IMonThreadHolder> FMonThreadHolder;
  bool FTerminating = false;
  TLogIds FLogsToMon;
  std::string FLastReportName;
  std::string FLastReportPhone;

  std::unique_ptr<QMenu> FPopupMenu;
  QSystemTrayIcon* FTrayIcon;
  QAction* FItems[5] = {};
  QIcon FImageList[6];
  QPointer<QWidget> FMainForm;
  bool FShowMainFormAtStart = false;
  bool FInIdle = false;
  bool FShutdownFailed = false;
};

}  // namespace orvella
