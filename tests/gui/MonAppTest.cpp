// The tray module and the settings dialog on the offscreen platform, with a
// recording monitor holder and a recording report subsystem.
#include <QAction>
#include <QCheckBox>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

#include "base/ExceptionReport.h"
#include "base/FixedValues.h"
#include "base/GuiQueue.h"
#include "platform/Exceptions.h"
#include "shell/MonApp.h"
#include "shell/SettingsForm.h"
#include "tests/gui/NotificationFixture.h"

namespace orvella::testing {
namespace {

struct TFakeHolder final : IMonThreadHolder {
  void BeginTerminate() override { ++Terminations; }
  void BeginCollectReport() override { ++ReportRequests; }
  void SetSettings(const TMonThreadSettings& ASettings) override {
    FSettings = ASettings;
    SettingsGiven.push_back(ASettings);
  }
  const TMonThreadSettings& Settings() const override { return FSettings; }

  TMonThreadSettings FSettings;
  std::vector<TMonThreadSettings> SettingsGiven;
  int Terminations = 0;
  int ReportRequests = 0;
  TMonThreadHolder::TFailureHooks Hooks;
};

struct TFakeReports final : IProblemReports {
  struct TMail {
    std::string ClientId, FileName, Name, Phone;
    bool operator==(const TMail&) const = default;
  };
  void ShowSendReport(TOnSend AOnSend) override { OnSend = std::move(AOnSend); }
  void BeginSend(const std::string& AClientId, const std::string& AFileName, const std::string& AUserName,
                 const std::string& AUserPhone) override {
    if (SenderFails)
      throw EOSError(11, "Resource temporarily unavailable");
    Mails.push_back({AClientId, AFileName, AUserName, AUserPhone});
  }
  int ActiveSenderCount() const override { return Senders; }

  TOnSend OnSend;
  std::vector<TMail> Mails;
  int Senders = 0;
  bool SenderFails = false;
};

// Counts the writes that reach the settings file.
struct TCountingHive final : platform::ISettingsHive {
  explicit TCountingHive(const platform::ISettingsHive& AInner) : Inner(AInner) {}
  std::unique_ptr<platform::ISettingsKey> OpenForRead() const override { return Inner.OpenForRead(); }
  std::unique_ptr<platform::ISettingsKey> OpenForWrite() const override {
    ++Writes;
    return Inner.OpenForWrite();
  }
  const platform::ISettingsHive& Inner;
  mutable int Writes = 0;
};

// The settings file on a disk that is full once Full is set.
struct TFullDiskHive final : platform::ISettingsHive {
  struct TKey final : platform::ISettingsKey {
    TKey(std::unique_ptr<platform::ISettingsKey> AInner, const bool& AFull) : Inner(std::move(AInner)), Full(AFull) {}
    std::optional<platform::TRegValue> Read(const std::string& AName) override { return Inner->Read(AName); }
    void Write(const std::string& AName, const platform::TRegValue& AValue) override {
      if (Full)
        throw EOSError(28, "No space left on device");
      Inner->Write(AName, AValue);
    }
    const std::unique_ptr<platform::ISettingsKey> Inner;
    const bool& Full;
  };
  explicit TFullDiskHive(const platform::ISettingsHive& AInner) : Inner(AInner) {}
  std::unique_ptr<platform::ISettingsKey> OpenForRead() const override { return Inner.OpenForRead(); }
  std::unique_ptr<platform::ISettingsKey> OpenForWrite() const override {
    std::unique_ptr<platform::ISettingsKey> key = Inner.OpenForWrite();
    return key ? std::make_unique<TKey>(std::move(key), Full) : nullptr;
  }
  const platform::ISettingsHive& Inner;
  bool Full = false;
};

class MonApp : public NotificationFixture {
protected:
  ~MonApp() override {
    FForm.reset();
    FApp.reset();
  }

  // ANotificationSettings: where the notification windows store the mini mode.
  TdmMonApp& StartApp(const platform::ISettingsHive* ANotificationSettings = nullptr) {
    Start(ANotificationSettings);
    FApp = std::make_unique<TdmMonApp>(TdmMonApp::TMonitor{[this](const TMonThreadSettings& ASettings, auto, auto,
                                                                  TMonThreadHolder::TFailureHooks AHooks) {
                                                             FHolder = std::make_shared<TFakeHolder>();
                                                             FHolder->FSettings = ASettings;
                                                             FHolder->Hooks = std::move(AHooks);
                                                             ++FHoldersMade;
                                                             return FHolder;
                                                           },
                                                           // Gone once only this fixture still refers to it.
                                                           [this] { return FHolder.use_count() <= 1; }},
                                       FReports, FHive);
    FForm =
        std::make_unique<TfrmSettings>(*FApp, [this](QWidget*, const QString& AText) { FWarnings.push_back(AText); });
    FApp->SetMainForm(FForm.get());
    return *FApp;
  }

  // The monitor's settings for a client number.
  static TMonThreadSettings For(const std::string& AClientId, bool ALogRdp = true) {
    return {AClientId + ServerDomainSuffix, ALogRdp};
  }

  // The event loop until the GUI thread has waited for events once.
  static void RunUntilIdle() {
    QEventLoop loop;
    QTimer::singleShot(50, &loop, &QEventLoop::quit);
    loop.exec();
  }

  // An event loop returns at once while an earlier test's end of the
  // application stands; a run of the application's own loop clears it.
  static void ClearEarlierExit() {
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
  }

  std::vector<std::string> MenuTexts() const {
    FApp->PopupMenuPopup();
    std::vector<std::string> texts;
    for (QAction* item : FApp->PopupMenu().actions())
      if (item->isVisible())
        texts.push_back(item->text().toStdString());
    return texts;
  }

  template <typename T>
  T* Control(const char* AName) const {
    T* control = FForm->findChild<T*>(QString::fromLatin1(AName));
    EXPECT_NE(control, nullptr) << AName;
    return control;
  }

  TCountingHive FHive{FSettings};
  TFakeReports FReports;
  std::shared_ptr<TFakeHolder> FHolder;
  int FHoldersMade = 0;
  std::vector<QString> FWarnings;
  std::unique_ptr<TdmMonApp> FApp;
  std::unique_ptr<TfrmSettings> FForm;
};

TEST_F(MonApp, FirstStartShowsTheSettingsAndMonitorsOnlyOnceANumberIsAccepted) {
  TdmMonApp& app = StartApp();
  EXPECT_TRUE(app.NotificationsEnabled());
  EXPECT_TRUE(FNotifications->ShowMode());
  EXPECT_EQ(app.LogsToMon(),
            TLogIds({TLogId::gateway, TLogId::google, TLogId::rdp, TLogId::cpu, TLogId::ram, TLogId::disk}));
  EXPECT_EQ(app.ClientId(), "");
  EXPECT_TRUE(FForm->isVisible());
  EXPECT_EQ(app.TrayIcon().toolTip().toStdString(), ApplicationTitle);
  EXPECT_FALSE(app.TrayIcon().icon().isNull());
  EXPECT_EQ(app.TrayIcon().contextMenu(), &app.PopupMenu());
  EXPECT_EQ(FNotifications->IconMenu(), &app.PopupMenu());
  RunUntilIdle();
  EXPECT_EQ(FHoldersMade, 0);
  EXPECT_EQ(FHive.Writes, 0);

  app.SetClientId("1234");
  RunUntilIdle();
  ASSERT_EQ(FHoldersMade, 1);
  EXPECT_EQ(FHolder->Settings(), For("1234"));
  EXPECT_EQ(ReadRegString("ClientId", FSettings), "1234");
}

TEST_F(MonApp, StoredSettingsStartTheHolderAndOnlyChangesReachItOrTheStore) {
  WriteRegString("ClientId", "42", FSettings);
  WriteRegBool("DisableMonitoring_ram", true, FSettings);
  WriteRegBool("DisableNotifications", true, FSettings);
  TdmMonApp& app = StartApp();
  EXPECT_FALSE(FForm->isVisible());
  EXPECT_FALSE(app.GetMonitor(TLogId::ram));
  EXPECT_FALSE(FNotifications->ShowMode());
  RunUntilIdle();
  ASSERT_EQ(FHoldersMade, 1);
  EXPECT_EQ(FHolder->Settings(), For("42"));

  // Unchanged values write nothing and send nothing.
  app.SetClientId("42");
  app.SetMonitor(TLogId::ram, false);
  app.SetMonitor(TLogId::cpu, true);
  app.SetMonThreadSettings();
  EXPECT_EQ(FHive.Writes, 0);
  EXPECT_TRUE(FHolder->SettingsGiven.empty());

  // The processor switch acts on notifications alone.
  PostProblem(TLogId::cpu);
  app.SetMonitor(TLogId::cpu, false);
  app.SetMonThreadSettings();
  EXPECT_EQ(FNotifications->Count(), 0);
  EXPECT_TRUE(ReadRegBool("DisableMonitoring_cpu", FSettings));
  EXPECT_TRUE(FHolder->SettingsGiven.empty());

  // The server switch and the number reach the same holder.
  app.SetMonitor(TLogId::rdp, false);
  app.SetMonThreadSettings();
  app.SetClientId("43");
  app.SetMonThreadSettings();
  EXPECT_EQ(FHolder->SettingsGiven, (std::vector{For("42", false), For("43", false)}));
  EXPECT_EQ(FHoldersMade, 1);
  EXPECT_EQ(ReadRegString("ClientId", FSettings), "43");
  EXPECT_EQ(FHive.Writes, 3);

  // The menu's notification switch is stored at every toggle.
  app.miToggleNotifications().trigger();
  EXPECT_TRUE(FNotifications->ShowMode());
  EXPECT_FALSE(ReadRegBool("DisableNotifications", FSettings));
}

TEST_F(MonApp, MenuShowsAllItemsFromTheTrayAndTwoFromANotification) {
  TdmMonApp& app = StartApp();
  EXPECT_EQ(MenuTexts(), (std::vector<std::string>{"Отключить оповещения", "Показывать мини-оповещения",
                                                   "Отправить отчет", "Настройки", "Выход"}));
  app.miMiniNotifications().trigger();
  EXPECT_TRUE(FNotifications->MiniMode());
  QLabel pictogram;
  app.PopupMenu().setProperty("PopupComponent", QVariant::fromValue(static_cast<QObject*>(&pictogram)));
  EXPECT_EQ(MenuTexts(), (std::vector<std::string>{"Отключить оповещения", "Показывать полные оповещения"}));
  // Once closed, the menu belongs to the tray icon again.
  emit app.PopupMenu().aboutToHide();
  app.miToggleNotifications().trigger();
  EXPECT_EQ(MenuTexts().front(), "Включить оповещения");
  EXPECT_EQ(MenuTexts().size(), 5u);
}

// A tray host that reads the menu over D-Bus may draw it without a popup
// signal: every item carries the text of the present state all the time.
TEST_F(MonApp, MenuItemsCarryTheTextsOfThePresentStateWithoutAPopup) {
  TdmMonApp& app = StartApp();
  const auto texts = [&app] {
    std::vector<std::string> found;
    for (QAction* item : app.PopupMenu().actions())
      found.push_back(item->text().toStdString());
    return found;
  };
  EXPECT_EQ(texts(), (std::vector<std::string>{"Отключить оповещения", "Показывать мини-оповещения",
                                               "Отправить отчет", "Настройки", "Выход"}));
  app.SetNotificationsEnabled(false);
  EXPECT_EQ(texts()[0], "Включить оповещения");
  // The mini mode changes from a window's green "x" too, without the menu.
  FNotifications->SetMiniMode(true);
  EXPECT_EQ(texts()[1], "Показывать полные оповещения");
  app.StartReport("Иван", "1");
  EXPECT_EQ(texts()[2], "Идет сбор данных");
  app.ReportCreated("");
  EXPECT_EQ(texts()[2], "Отправить отчет");
}

TEST_F(MonApp, TheSendReportItemIsUsableAgainWhenTheArchiveCannotBeMailed) {
  WriteRegString("ClientId", "42", FSettings);
  TdmMonApp& app = StartApp();
  app.SetMonThreadSettings();
  app.StartReport("Иван", "1");
  FReports.SenderFails = true;
  EXPECT_THROW(app.ReportCreated("/logs/a.zip"), EOSError);
  EXPECT_TRUE(app.miSendReport().isEnabled());
  EXPECT_EQ(app.miSendReport().text().toStdString(), "Отправить отчет");
}

TEST_F(MonApp, ReportFlows) {
  WriteRegString("ClientId", "42", FSettings);
  TdmMonApp& app = StartApp();
  app.SetMonThreadSettings();

  // Asked for through the menu: collected, then mailed at once with the name and phone given.
  app.miSendReport().trigger();
  ASSERT_TRUE(FReports.OnSend);
  FReports.OnSend("Иван", "+7 900");
  EXPECT_EQ(FHolder->ReportRequests, 1);
  EXPECT_FALSE(app.miSendReport().isEnabled());
  EXPECT_EQ(MenuTexts()[2], "Идет сбор данных");
  app.ReportCreated("/logs/a.zip");
  EXPECT_EQ(FReports.Mails, (std::vector<TFakeReports::TMail>{{"42", "/logs/a.zip", "Иван", "+7 900"}}));
  EXPECT_EQ(FNotifications->Count(), 0);
  EXPECT_TRUE(app.miSendReport().isEnabled());

  // Collected by the loop on its own: a notice, and a mail only from its link's dialog.
  app.ReportCreated("/logs/b.zip");
  ASSERT_EQ(FNotifications->Count(), 1);
  TfrmNotification& notice = Window(0);
  EXPECT_EQ(notice.Id(), TdmMonApp::ReportNoticeId);
  EXPECT_EQ(Part(notice, "lblLink")->text().toStdString(), "Отправить данные");
  EXPECT_EQ(FReports.Mails.size(), 1u);
  FReports.OnSend = nullptr;
  notice.OnLink()();
  app.SetClientId("43");
  FReports.OnSend("Пётр", "");
  EXPECT_EQ(FReports.Mails.back(), (TFakeReports::TMail{"43", "/logs/b.zip", "Пётр", ""}));

  // No archive: nothing mailed, nothing posted, the item usable again.
  app.StartReport("a", "b");
  app.ReportCreated("");
  EXPECT_EQ(FReports.Mails.size(), 2u);
  EXPECT_EQ(FNotifications->Count(), 1);
  EXPECT_TRUE(app.miSendReport().isEnabled());
}

TEST_F(MonApp, AReportAskedForBeforeMonitoringStartsIsCollectedOnceItDoes) {
  TdmMonApp& app = StartApp();
  FForm->hide();
  app.StartReport("Иван", "1");
  EXPECT_TRUE(FForm->isVisible());
  EXPECT_FALSE(app.miSendReport().isEnabled());
  app.SetClientId("42");
  app.SetMonThreadSettings();
  ASSERT_EQ(FHoldersMade, 1);
  EXPECT_EQ(FHolder->ReportRequests, 1);
}

TEST_F(MonApp, EveryTerminationRequestRunsOneShutdownThatWaitsForHoldersAndSenders) {
  WriteRegString("ClientId", "42", FSettings);
  TdmMonApp& app = StartApp();
  app.SetMonThreadSettings();
  PostProblem(TLogId::gateway);
  FForm->show();
  // The worker's reference and one mail sender go away later, through the queue.
  std::shared_ptr<TFakeHolder> worker = FHolder;
  FReports.Senders = 1;
  int requestsAnswered = 0;
  // The dead loop's request comes first; the menu's and the session's follow while Shutdown waits.
  QueueToGuiThread([&] { worker->Hooks.Terminate(); });
  QTimer::singleShot(0, &app, [&] {
    app.miExit().trigger();
    QEvent quit(QEvent::Quit);
    QCoreApplication::sendEvent(QCoreApplication::instance(), &quit);
    ++requestsAnswered;
    EXPECT_EQ(worker->Terminations, 1);
    worker.reset();
    QueueToGuiThread([&] { FReports.Senders = 0; });
  });
  QEventLoop loop;
  EXPECT_EQ(loop.exec(), 0);
  EXPECT_EQ(requestsAnswered, 1);
  EXPECT_TRUE(app.Terminating());
  EXPECT_EQ(app.TrayIcon().contextMenu(), nullptr);
  EXPECT_FALSE(FForm->isVisible());
  EXPECT_EQ(FNotifications->Count(), 0);
  EXPECT_TRUE(FWarnings.empty());
  // After the end began, a report request has nothing to collect with.
  app.StartReport("a", "b");
  EXPECT_TRUE(app.miSendReport().isEnabled());
}

TEST_F(MonApp, AStepOfTheEndThatFailsStillEndsTheProgram) {
  ClearEarlierExit();
  WriteRegString("ClientId", "42", FSettings);
  TFullDiskHive disk(FSettings);
  TdmMonApp& app = StartApp(&disk);
  app.SetMonThreadSettings();
  FNotifications->SetMiniMode(true);
  // A day later the disk is full: the end of the mini mode, due when the
  // windows go, cannot be stored.
  FClock.SetUtc(Today + 2);
  disk.Full = true;
  ::testing::internal::CaptureStderr();
  QTimer::singleShot(0, &app, [&app] { RunGuarded([&app] { app.Terminate(); }); });
  QEventLoop loop;
  QTimer::singleShot(10000, &loop, [&loop] { loop.exit(99); });
  EXPECT_EQ(loop.exec(), EXIT_FAILURE);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("No space left on device"), std::string::npos);
  EXPECT_EQ(FHolder->Terminations, 1);
  EXPECT_EQ(app.TrayIcon().contextMenu(), nullptr);
  EXPECT_EQ(FNotifications->Count(), 0);
}

// A mail sender's failure that arrives while the program ends: shown in the
// exception report's message box when the user chose "Выход", on standard
// error when the session or a signal ended the program.
TEST_F(MonApp, AMailThatFailsWhileTheProgramEndsIsShownOnlyWhenTheUserChoseExit) {
  for (const bool fromMenu : {true, false}) {
    ClearEarlierExit();
    ReportExceptionsToStandardError(false);
    TdmMonApp& app = StartApp();
    FReports.Senders = 1;
    QString boxText;
    QTimer boxWatch;
    QObject::connect(&boxWatch, &QTimer::timeout, [&boxText] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        boxText = box->text();
        box->done(QMessageBox::Ok);
      }
    });
    boxWatch.start(20);
    QTimer::singleShot(0, &app, [this, &app, fromMenu] {
      // The sender's failure and then its end come through the queue while Shutdown waits.
      QueueToGuiThread([] { throw Exception("Smtp.Authenticate failed"); });
      QueueToGuiThread([this] { FReports.Senders = 0; });
      if (fromMenu)
        app.miExit().trigger();
      else
        app.Terminate();
    });
    ::testing::internal::CaptureStderr();
    QEventLoop loop;
    QTimer::singleShot(10000, &loop, [&loop] { loop.exit(99); });
    EXPECT_EQ(loop.exec(), 0) << fromMenu;
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(boxText.toStdString(), fromMenu ? "Smtp.Authenticate failed" : "") << fromMenu;
    EXPECT_EQ(said.find("Smtp.Authenticate failed") != std::string::npos, !fromMenu) << said;
    FForm.reset();
    FApp.reset();
  }
}

TEST_F(MonApp, SettingsDialogLayout) {
  StartApp();
  EXPECT_EQ(FForm->windowTitle().toStdString(), "Настройки");
  EXPECT_EQ(FForm->size(), QSize(305, 261));
  EXPECT_EQ(FForm->font().family(), "Tahoma");
  EXPECT_EQ(FForm->font().pixelSize(), 11);
  const struct {
    const char* Name;
    QRect Bounds;
    const char* Text;
  } checkBoxes[] = {{"cbGateway", {32, 59, 177, 17}, "Мониторинг маршуртизатора"},
                    {"cnDns", {32, 82, 214, 17}, "Мониторинг Интернет-подключения"},
                    {"cbRdp", {32, 105, 214, 17}, "Мониторинг подключения к серверу"},
                    {"cbCpu", {32, 128, 193, 17}, "Мониторинг загрузки процессора"},
                    {"cbRam", {32, 151, 241, 17}, "Мониторинг загрузки оперативной памяти"},
                    {"cbDisk", {32, 174, 225, 17}, "Мониторинг загрузки системного диска"}};
  for (const auto& box : checkBoxes) {
    EXPECT_EQ(Control<QCheckBox>(box.Name)->geometry(), box.Bounds) << box.Name;
    EXPECT_EQ(Control<QCheckBox>(box.Name)->text().toStdString(), box.Text) << box.Name;
  }
  auto* edit = Control<QLineEdit>("edClientId");
  EXPECT_EQ(edit->geometry(), QRect(117, 19, 72, 21));
  EXPECT_EQ(edit->maxLength(), 30);
  EXPECT_TRUE(edit->alignment() & Qt::AlignRight);
  EXPECT_EQ(Control<QLabel>("Label2")->text().toStdString(), ServerDomainSuffix);
  EXPECT_EQ(Control<QPushButton>("btnOk")->geometry(), QRect(64, 214, 75, 25));
  EXPECT_EQ(Control<QPushButton>("btnCancel")->geometry(), QRect(171, 214, 75, 25));
  std::vector<std::string> order;
  QWidget* widget = Control<QPushButton>("btnOk");
  do {
    if (widget->focusPolicy() & Qt::TabFocus)
      order.push_back(widget->objectName().toStdString());
    widget = widget->nextInFocusChain();
  } while (widget != Control<QPushButton>("btnOk"));
  EXPECT_EQ(order, (std::vector<std::string>{"btnOk", "edClientId", "btnCancel", "cbGateway", "cnDns", "cbRdp",
                                             "cbCpu", "cbDisk", "cbRam"}));
}

TEST_F(MonApp, SettingsDialogClosesOnlyWithAValidNumber) {
  TdmMonApp& app = StartApp();
  auto* edit = Control<QLineEdit>("edClientId");
  auto* ok = Control<QPushButton>("btnOk");
  auto* cancel = Control<QPushButton>("btnCancel");

  // At first start neither Cancel nor a blank number gets past the warning.
  cancel->click();
  edit->setText("  \t ");
  ok->click();
  EXPECT_EQ(FWarnings, (std::vector<QString>(2, QString::fromUtf8(TfrmSettings::ClientIdWarning))));
  EXPECT_EQ(edit->text(), "");
  EXPECT_TRUE(FForm->isVisible());
  // Enter and Escape are no buttons' keys.
  QTest::keyClick(edit, Qt::Key_Return);
  QTest::keyClick(FForm.get(), Qt::Key_Escape);
  EXPECT_TRUE(FForm->isVisible());
  EXPECT_EQ(FWarnings.size(), 2u);

  // OK takes the number without its blanks; a switch ticked off and on again stays unwritten.
  edit->setText(QString::fromUtf8(" 77\x01 "));
  Control<QCheckBox>("cbRam")->click();
  Control<QCheckBox>("cbRam")->click();
  Control<QCheckBox>("cbDisk")->click();
  ok->click();
  EXPECT_FALSE(FForm->isVisible());
  EXPECT_EQ(app.ClientId(), "77");
  EXPECT_FALSE(app.GetMonitor(TLogId::disk));
  EXPECT_EQ(FHive.Writes, 2);

  // Cancel throws the edits away and writes nothing.
  app.miSettingsClick();
  edit->setText("99");
  Control<QCheckBox>("cbGateway")->click();
  cancel->click();
  EXPECT_FALSE(FForm->isVisible());
  EXPECT_EQ(edit->text(), "77");
  EXPECT_TRUE(Control<QCheckBox>("cbGateway")->isChecked());
  EXPECT_EQ(FHive.Writes, 2);

  // While the application ends the dialog only hides, whatever it holds.
  app.miSettingsClick();
  edit->setText("");
  app.Shutdown();
  EXPECT_FALSE(FForm->isVisible());
  EXPECT_EQ(FWarnings.size(), 2u);
}

}  // namespace
}  // namespace orvella::testing
