#include "shell/MonApp.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>
#include <cstdlib>

#include "base/ExceptionReport.h"
#include "base/FixedValues.h"
#include "engine/MonThread.h"
#include "notify/NotificationContent.h"
#include "notify/NotificationForm.h"
#include "notify/Notifications.h"

namespace orvella {
namespace {

constexpr const char* DisableNotificationsValue = "DisableNotifications";
constexpr const char* ClientIdValue = "ClientId";
// Set by a notification window on the menu it pops up; none when the tray icon opened it.
constexpr const char* PopupComponentProperty = "PopupComponent";

std::string DisableMonitoringValue(TLogId AId) { return "DisableMonitoring_" + std::string(LogIdName(AId)); }

QString Text(const char* AText) { return QString::fromUtf8(AText); }

const char* Caption(bool AValue, const char* AFalse, const char* ATrue) { return AValue ? ATrue : AFalse; }

}  // namespace

TdmMonApp::TMonitor TdmMonApp::MonitorThread(const TLogsDir& ALogsDir) {
  return {[ALogsDir](const TMonThreadSettings& ASettings, TMonThreadHolder::TOnError AOnError,
                     TMonThreadHolder::TOnReportCreated AOnReportCreated, TMonThreadHolder::TFailureHooks AHooks) {
            return std::shared_ptr<IMonThreadHolder>(TMonThreadHolder::Create(
                ASettings, std::move(AOnError), std::move(AOnReportCreated),
                [ALogsDir](const std::shared_ptr<IMonThreadOwner>& AOwner) {
                  MonThreadRun(AOwner, TMonThreadPlatform{.LogsDir = ALogsDir});
                },
                std::move(AHooks)));
          },
          TMonThreadHolder::AllowTerminate};
}

QIcon TdmMonApp::ApplicationIcon() {
  QIcon icon;
  for (const int size : {16, 32, 64, 256})
    icon.addFile(QStringLiteral(":/AppIcon%1").arg(size), QSize(size, size));
  return icon;
}

TdmMonApp::TdmMonApp(TMonitor AMonitor, IProblemReports& AReports, const platform::ISettingsHive& ASettings)
    : FMonitor(std::move(AMonitor)), FReports(AReports), FSettings(ASettings), FPopupMenu(std::make_unique<QMenu>()),
      FTrayIcon(new QSystemTrayIcon(this)) {
  for (int i = 0; i < 6; ++i)
    FImageList[i] = QIcon(QStringLiteral(":/Menu%1").arg(i));
  FPopupMenu->setObjectName(QStringLiteral("PopupMenu"));
  AddMenuItem("miToggleNotifications", 1, &TdmMonApp::miToggleNotificationsClick);
  AddMenuItem("miMiniNotifications", 2, &TdmMonApp::miMiniNotificationsClick);
  AddMenuItem("miSendReport", 3, &TdmMonApp::miSendReportClick);
  AddMenuItem("miSettings", 4, &TdmMonApp::miSettingsClick);
  AddMenuItem("miExit", 5, &TdmMonApp::miExitClick);
  miSettings().setText(Text("Настройки"));
  miExit().setText(Text("Выход"));
  connect(&TNotifications::Current(), &TNotifications::MiniModeChanged, this, [this] { UpdateMenuTexts(); });
  connect(FPopupMenu.get(), &QMenu::aboutToShow, this, [this] { RunGuarded([this] { PopupMenuPopup(); }); });
  connect(FPopupMenu.get(), &QMenu::aboutToHide, this,
          [this] { FPopupMenu->setProperty(PopupComponentProperty, QVariant()); });

  // The settings dialog is the main form; it stays hidden unless no number is stored.
  FTrayIcon->setIcon(QGuiApplication::windowIcon().isNull() ? ApplicationIcon() : QGuiApplication::windowIcon());
  FTrayIcon->setToolTip(Text(ApplicationTitle));
  FTrayIcon->setContextMenu(FPopupMenu.get());
  SetSendReportEnabled(true);
  SetNotificationsEnabled(!ReadRegBool(DisableNotificationsValue, FSettings));
  for (const TLogId id : AllLogIds)
    if (!ReadRegBool(DisableMonitoringValue(id), FSettings))
      FLogsToMon.Include(id);
  UpdateClientId(ReadRegString(ClientIdValue, FSettings));
  // Every way the application may be told to end leads through Terminate.
  QCoreApplication::instance()->installEventFilter(this);
  connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] { Terminate(); });
  TfrmNotification::SetIconMenu(FPopupMenu.get());
  // The idle moment: the GUI thread is about to wait for the next event.
  connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
          [this] { ApplicationEventsIdle(); });
  FTrayIcon->show();
}

TdmMonApp::~TdmMonApp() {
  ReportExceptionsToStandardError();
  Shutdown();
  FTrayIcon->setContextMenu(nullptr);
}

void TdmMonApp::AddMenuItem(const char* AName, int APicture, void (TdmMonApp::*AHandler)()) {
  QAction* item = FPopupMenu->addAction(FImageList[APicture], QString());
  item->setObjectName(QString::fromLatin1(AName));
  connect(item, &QAction::triggered, this,
          [this, AHandler] { RunGuarded([this, AHandler] { (this->*AHandler)(); }); });
  FItems[FPopupMenu->actions().size() - 1] = item;
}

bool TdmMonApp::UpdateClientId(const std::string& AValue) {
  if (!ValidateClientId(AValue)) {
    if (FMainForm)
      miSettingsClick();
    else
      FShowMainFormAtStart = true;
    return false;
  }
  const bool changed = AValue != FClientId;
  FClientId = AValue;
  return changed;
}

void TdmMonApp::SetClientId(const std::string& AValue) {
  if (UpdateClientId(AValue))
    WriteRegString(ClientIdValue, AValue, FSettings);
}

void TdmMonApp::SetMonitor(TLogId AIndex, bool AValue) {
  if (AValue == GetMonitor(AIndex))
    return;
  if (AValue) {
    FLogsToMon.Include(AIndex);
  } else {
    FLogsToMon.Exclude(AIndex);
    TfrmNotification::RemoveId(static_cast<int32_t>(AIndex));
  }
  WriteRegBool(DisableMonitoringValue(AIndex), !AValue, FSettings);
}

void TdmMonApp::SetNotificationsEnabled(bool AShow) {
  FNotificationsEnabled = AShow;
  UpdateMenuTexts();
  TfrmNotification::SetShowMode(AShow);
}

void TdmMonApp::SetSendReportEnabled(bool AEnabled) {
  miSendReport().setEnabled(AEnabled);
  UpdateMenuTexts();
}

void TdmMonApp::UpdateMenuTexts() {
  miToggleNotifications().setText(
      Text(Caption(FNotificationsEnabled, "Включить оповещения", "Отключить оповещения")));
  miToggleNotifications().setIcon(FImageList[FNotificationsEnabled ? 1 : 0]);
  miMiniNotifications().setText(
      Text(Caption(MiniMode(), "Показывать мини-оповещения", "Показывать полные оповещения")));
  miSendReport().setText(Text(Caption(miSendReport().isEnabled(), "Идет сбор данных", "Отправить отчет")));
}

void TdmMonApp::SetMonThreadSettings() {
  if (FTerminating || !ValidateClientId(FClientId)) {
    if (FMonThreadHolder) {
      FMonThreadHolder->BeginTerminate();
      FMonThreadHolder.reset();
      TfrmNotification::RemoveAll();
    }
    return;
  }
  const TMonThreadSettings settings{FClientId + ServerDomainSuffix, FLogsToMon.Contains(TLogId::rdp)};
  if (!FMonThreadHolder)
    StartHolder(settings);
  else if (!(FMonThreadHolder->Settings() == settings))
    FMonThreadHolder->SetSettings(settings);
}

void TdmMonApp::StartHolder(const TMonThreadSettings& ASettings) {
  const QPointer<TdmMonApp> self(this);
  FMonThreadHolder = FMonitor.Create(
      ASettings, [this](TLogIds ALogIds) { ShowErrorNotifications(ALogIds, FLogsToMon); },
      [this](const std::string& AFileName) { ReportCreated(AFileName); },
      TMonThreadHolder::ApplicationFailureHooks([self] {
        if (self)
          self->Terminate();
      }));
  // A report asked for before monitoring could start is collected now.
  if (!miSendReport().isEnabled())
    FMonThreadHolder->BeginCollectReport();
}

void TdmMonApp::ApplicationEventsIdle() {
  // The exception report's message box waits for events too; it must not
  // start the same failing work again from inside.
  if (FInIdle)
    return;
  FInIdle = true;
  RunGuarded([this] { SetMonThreadSettings(); });
  FInIdle = false;
}

void TdmMonApp::PopupMenuPopup() {
  UpdateMenuTexts();
  const bool fromTrayIcon = FPopupMenu->property(PopupComponentProperty).value<QObject*>() == nullptr;
  for (QAction* item : FItems)
    item->setVisible(fromTrayIcon);
  if (!fromTrayIcon) {
    miToggleNotifications().setVisible(true);
    miMiniNotifications().setVisible(true);
  }
}

void TdmMonApp::miToggleNotificationsClick() {
  SetNotificationsEnabled(!FNotificationsEnabled);
  WriteRegBool(DisableNotificationsValue, !FNotificationsEnabled, FSettings);
}

void TdmMonApp::miMiniNotificationsClick() { SetMiniMode(!MiniMode()); }

void TdmMonApp::miSendReportClick() {
  ShowSendReport([this](const std::string& AName, const std::string& APhone) { StartReport(AName, APhone); });
}

void TdmMonApp::miSettingsClick() {
  if (!FMainForm)
    return;
  FMainForm->show();
  FMainForm->raise();
  FMainForm->activateWindow();
}

void TdmMonApp::SetMainForm(QWidget* AForm) {
  FMainForm = AForm;
  if (FShowMainFormAtStart && FMainForm)
    FMainForm->show();
  FShowMainFormAtStart = false;
}

void TdmMonApp::ShowSendReport(IProblemReports::TOnSend AOnSend) { FReports.ShowSendReport(std::move(AOnSend)); }

void TdmMonApp::StartReport(const std::string& AName, const std::string& APhone) {
  // The application is ending: there is nothing left to collect a report with.
  if (FTerminating)
    return;
  // Before a client number is known there is no monitor yet; the request
  // waits for the holder that starts once the number is entered.
  if (FMonThreadHolder)
    FMonThreadHolder->BeginCollectReport();
  else
    miSettingsClick();
  SetSendReportEnabled(false);
  FLastReportName = AName;
  FLastReportPhone = APhone;
}

IProblemReports::TOnSend TdmMonApp::MailArchive(const std::string& AFileName) {
  const QPointer<TdmMonApp> self(this);
  return [self, AFileName](const std::string& AName, const std::string& APhone) {
    if (self)
      self->FReports.BeginSend(self->FClientId, AFileName, AName, APhone);
  };
}

void TdmMonApp::ReportCreated(const std::string& AFileName) {
  // The item is usable again whatever becomes of this archive: a sender that
  // cannot start or a notice that cannot be shown must not leave it disabled.
  try {
    PassOnReport(AFileName);
  } catch (...) {
    SetSendReportEnabled(true);
    throw;
  }
  SetSendReportEnabled(true);
}

void TdmMonApp::PassOnReport(const std::string& AFileName) {
  if (AFileName.empty())
    return;
  if (!miSendReport().isEnabled()) {
    FReports.BeginSend(FClientId, AFileName, FLastReportName, FLastReportPhone);
    return;
  }
  const QPointer<TdmMonApp> self(this);
  TfrmNotification::Add("Сбор данных завершен.",
                        std::string("Пожалуйста отправьте архив с данными на ящик ") + SupportMailbox +
                            " с указанием вашего имени пользователя и номера клиента.",
                        "Отправить данные", "", ReportNoticeId, ReportNoticeInterval,
                        [self, onSend = MailArchive(AFileName)] {
                          if (self)
                            self->ShowSendReport(onSend);
                        });
}

void TdmMonApp::EndApplication(bool AChosenFromMenu) {
  if (!AChosenFromMenu)
    ReportExceptionsToStandardError();
  if (FTerminating)
    return;
  Shutdown();
  // Whatever failed on the way, the program ends: a program that no longer
  // monitors and cannot be ended helps nobody.
  QCoreApplication::exit(FShutdownFailed ? EXIT_FAILURE : EXIT_SUCCESS);
}

void TdmMonApp::ShutdownStep(const std::function<void()>& AStep) {
  try {
    AStep();
  } catch (...) {
    FShutdownFailed = true;
    ShowExceptionReport(std::current_exception());
  }
}

void TdmMonApp::Shutdown() {
  if (FTerminating)
    return;
  FTerminating = true;
  // A step that fails (a setting that cannot be stored on a full disk) must
  // not keep the later ones, nor the wait for the monitor's last log lines,
  // from happening.
  ShutdownStep([this] { FTrayIcon->setContextMenu(nullptr); });
  ShutdownStep([this] {
    if (FMainForm)
      FMainForm->close();
  });
  ShutdownStep([this] { SetMonThreadSettings(); });
  // The holder's final step and the end of every mail sender arrive through
  // the queue; user input waits, there is nothing left to act on.
  while (!FMonitor.AllowTerminate() || FReports.ActiveSenderCount() > 0)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::ExcludeUserInputEvents);
}

bool TdmMonApp::eventFilter(QObject* AWatched, QEvent* AEvent) {
  if (AWatched == QCoreApplication::instance() && AEvent->type() == QEvent::Quit) {
    Terminate();
    return true;
  }
  return QObject::eventFilter(AWatched, AEvent);
}

}  // namespace orvella
