#include <QEnterEvent>
#include <QHelpEvent>
#include <QMenu>
#include <QTest>
#include <filesystem>

#include "base/SettingsStore.h"
#include "base/UiFont.h"
#include "notify/NotificationIconImage.h"
#include "platform/Exceptions.h"
#include "tests/gui/NotificationFixture.h"

namespace orvella::testing {
namespace {

constexpr int32_t ReportReadyId = 2147483647;
constexpr int Step = TfrmNotification::ClientHeight + 5;

void Enter(QWidget* AWidget) {
  QEnterEvent event(QPointF(2, 2), AWidget->mapToGlobal(QPointF(2, 2)), AWidget->mapToGlobal(QPointF(2, 2)));
  QApplication::sendEvent(AWidget, &event);
}

void Leave(QWidget* AWidget) {
  QEvent event(QEvent::Leave);
  QApplication::sendEvent(AWidget, &event);
}

QColor TextColour(QLabel* ALabel) { return ALabel->palette().color(QPalette::WindowText); }

using NotificationWindows = NotificationFixture;

TEST_F(NotificationWindows, StackUpwardFromTheWorkAreaCorner) {
  Start().SetShowMode(true);
  PostProblem(TLogId::gateway);
  PostProblem(TLogId::rdp);
  PostProblem(TLogId::disk);
  ASSERT_EQ(FNotifications->Count(), 3);
  EXPECT_EQ(Window(0).Id(), 0);
  EXPECT_EQ(Window(1).Id(), 2);
  EXPECT_EQ(Window(2).Id(), 5);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Window(i).size(), QSize(388, 195));
    EXPECT_EQ(BottomRight(Window(i).geometry()), WorkAreaCorner() - QPoint(0, i * Step)) << i;
    EXPECT_TRUE(Window(i).isVisible());
    EXPECT_EQ(Window(i).windowTitle().toStdString(), NotificationCaption(static_cast<TLogId>(Window(i).Id())));
  }
  EXPECT_TRUE(Window(0).windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(Window(0).windowFlags() & Qt::WindowDoesNotAcceptFocus);
  EXPECT_TRUE(Window(0).testAttribute(Qt::WA_ShowWithoutActivating));
  EXPECT_FALSE(Window(0).testAttribute(Qt::WA_QuitOnClose));
  EXPECT_EQ(Window(0).palette().color(QPalette::Window), QColor(63, 70, 227));
}

TEST_F(NotificationWindows, SameContentRefreshesOtherContentReplacesInPlace) {
  Start().SetShowMode(true);
  PostProblem(TLogId::gateway);
  PostProblem(TLogId::rdp, 400);
  PostProblem(TLogId::disk);
  TfrmNotification* middle = &Window(1);
  auto* timer = Part<QTimer>(*middle, "tmrClose");
  QTest::qWait(250);
  ASSERT_LT(timer->remainingTime(), 300);

  PostProblem(TLogId::rdp, 700);
  EXPECT_EQ(FNotifications->Count(), 3);
  EXPECT_EQ(&Window(1), middle);
  EXPECT_EQ(timer->interval(), 700);
  EXPECT_GT(timer->remainingTime(), 500);

  const QRect place = middle->geometry();
  FNotifications->Add("Другой заголовок", "Другой текст", NotificationLinkText, NotificationHelpLink(TLogId::rdp), 2,
                      5000, {});
  ASSERT_EQ(FNotifications->Count(), 3);
  EXPECT_NE(&Window(1), middle);
  EXPECT_EQ(Window(1).Id(), 2);
  EXPECT_EQ(Window(1).geometry(), place);
  EXPECT_EQ(Part(Window(1), "lblText")->text(), "Другой текст");
  EXPECT_EQ(Window(2).Id(), 5);
  // Replacing is no close: the mini mode's wait does not start.
  EXPECT_EQ(FNotifications->LastCloseTick(), 0u);
}

TEST_F(NotificationWindows, ReplacedOrRemovedWindowsNeverRunTheirCloseHandling) {
  Start().SetShowMode(true);
  PostProblem(TLogId::gateway, 1);
  PostProblem(TLogId::rdp, 1);
  PostProblem(TLogId::disk, 60'000);
  FNotifications->Add("Другой заголовок", "Другой текст", NotificationLinkText, NotificationHelpLink(TLogId::gateway),
                      0, 60'000, {});
  FNotifications->RemoveId(2);
  ASSERT_EQ(FNotifications->Count(), 2);
  const QPoint lowest = Window(0).pos();
  EXPECT_EQ(FNotifications->LastCloseTick(), 10'000'000u);
  // The timers of the windows that went are overdue before their deletion comes round.
  FTicks.Set(20'000'000);
  QTest::qSleep(20);
  QCoreApplication::processEvents();
  EXPECT_EQ(FNotifications->LastCloseTick(), 10'000'000u);
  EXPECT_EQ(FNotifications->Count(), 2);
  EXPECT_EQ(Window(0).pos(), lowest);
}

TEST_F(NotificationWindows, ClosingTheLowestMovesTheOthersDown) {
  Start().SetShowMode(true);
  PostProblem(TLogId::gateway, 100);
  PostProblem(TLogId::rdp);
  PostProblem(TLogId::disk);
  const QPoint before2 = Window(1).pos();
  const QPoint before5 = Window(2).pos();
  FTicks.Set(12'345'678);
  // Closed by its own timer.
  QTRY_COMPARE_WITH_TIMEOUT(FNotifications->Count(), 2, 3000);
  EXPECT_EQ(Window(0).Id(), 2);
  EXPECT_EQ(Window(0).pos(), before2 + QPoint(0, Step));
  EXPECT_EQ(Window(1).pos(), before5 + QPoint(0, Step));
  EXPECT_EQ(FNotifications->LastCloseTick(), 12'345'678u);
}

TEST_F(NotificationWindows, RemoveIdTakesOneOutOfTheMiddle) {
  Start().SetShowMode(true);
  PostProblem(TLogId::gateway);
  PostProblem(TLogId::rdp);
  PostProblem(TLogId::disk);
  const QPoint middle = Window(1).pos();
  FNotifications->RemoveId(2);
  ASSERT_EQ(FNotifications->Count(), 2);
  EXPECT_EQ(Window(0).Id(), 0);
  EXPECT_EQ(Window(1).Id(), 5);
  EXPECT_EQ(Window(1).pos(), middle);
  EXPECT_EQ(FNotifications->LastCloseTick(), 10'000'000u);

  // An id without a window changes nothing but still lets the mini mode expire.
  FNotifications->SetMiniMode(true);
  EXPECT_EQ(BottomRight(Window(0).IconBounds().translated(Window(0).pos())), WorkAreaCorner());
  FClock.SetUtc(Today + 1.0);
  FNotifications->RemoveId(3);
  EXPECT_EQ(FNotifications->Count(), 2);
  EXPECT_FALSE(FNotifications->MiniMode());
  EXPECT_EQ(BottomRight(Window(0).geometry()), WorkAreaCorner());

  FNotifications->RemoveAll();
  EXPECT_EQ(FNotifications->Count(), 0);
}

TEST_F(NotificationWindows, MiniModeShowsOneHalfTransparentPictogramAndWaits) {
  Start().SetShowMode(true);
  FNotifications->SetMiniMode(true);
  EXPECT_EQ(ReadRegBinary("MiniModeUTC", 8, FSettings).has_value(), true);

  PostProblem(TLogId::cpu, 60'000);
  ASSERT_EQ(FNotifications->Count(), 1);
  TfrmNotification& shown = Window(0);
  EXPECT_EQ(shown.IconBounds(), QRect(15, 109, 60, 60));
  EXPECT_EQ(BottomRight(shown.IconBounds().translated(shown.pos())), WorkAreaCorner());
  EXPECT_EQ(shown.mask(), QRegion(QRect(15, 109, 60, 60)));
  EXPECT_NEAR(shown.windowOpacity(), 127 / 255.0, 0.01);
  EXPECT_TRUE(Part<TNotificationIconImage>(shown, "imgIcon")->ShowHint());

  // One at a time, and no refresh either.
  auto* timer = Part<QTimer>(shown, "tmrClose");
  QTest::qWait(100);
  const int left = timer->remainingTime();
  PostProblem(TLogId::cpu, 60'000);
  PostProblem(TLogId::ram);
  EXPECT_EQ(FNotifications->Count(), 1);
  EXPECT_LE(timer->remainingTime(), left);

  // Six minutes' wait after a close.
  shown.close();
  ASSERT_EQ(FNotifications->Count(), 0);
  FTicks.Advance(359'999);
  PostProblem(TLogId::ram);
  EXPECT_EQ(FNotifications->Count(), 0);
  FTicks.Advance(1);
  // The report-ready notice has no pictogram: never in mini mode.
  FNotifications->Add("Сбор данных завершен.", "Пожалуйста отправьте архив", "Отправить данные", "", ReportReadyId,
                      5000, [] {});
  EXPECT_EQ(FNotifications->Count(), 0);
  PostProblem(TLogId::ram);
  EXPECT_EQ(FNotifications->Count(), 1);

  // Back to full windows: the whole card, opaque.
  FNotifications->SetMiniMode(false);
  EXPECT_EQ(Window(0).mask(), QRegion());
  EXPECT_DOUBLE_EQ(Window(0).windowOpacity(), 1.0);
  EXPECT_EQ(BottomRight(Window(0).geometry()), WorkAreaCorner());
  EXPECT_EQ(ReadRegBinary("MiniModeUTC", 8, FSettings), std::string(8, '\0'));
}

// What the window's mask leaves visible: Qt takes an empty mask for none.
QRegion VisibleRegion(const QWidget& AWindow) {
  return AWindow.mask().isEmpty() ? QRegion(AWindow.rect()) : AWindow.mask().intersected(AWindow.rect());
}

TEST_F(NotificationWindows, InMiniModeAWindowWithoutPictogramShowsNothing) {
  Start().SetShowMode(true);
  FNotifications->Add("Сбор данных завершен.", "Пожалуйста отправьте архив", "Отправить данные", "", ReportReadyId,
                      5000, [] {});
  PostProblem(TLogId::cpu);
  FNotifications->SetMiniMode(true);
  EXPECT_TRUE(VisibleRegion(Window(0)).isEmpty());
  EXPECT_EQ(VisibleRegion(Window(1)), QRegion(QRect(15, 109, 60, 60)));
  // It takes no room either.
  EXPECT_EQ(BottomRight(Window(1).IconBounds().translated(Window(1).pos())), WorkAreaCorner());

  FNotifications->SetMiniMode(false);
  EXPECT_EQ(VisibleRegion(Window(0)), QRegion(Window(0).rect()));
}

TEST_F(NotificationWindows, MiniModeWaitCountsAcrossTheTickWrap) {
  FTicks.Set(0xFFFFFFF0ll);
  Start().SetShowMode(true);
  FNotifications->SetMiniMode(true);
  FNotifications->RemoveAll();
  FTicks.Set(0x1'0000'0000ll + 1000);
  PostProblem(TLogId::cpu);
  EXPECT_EQ(FNotifications->Count(), 0);
  FTicks.Advance(360'000);
  PostProblem(TLogId::cpu);
  EXPECT_EQ(FNotifications->Count(), 1);
}

TEST_F(NotificationWindows, StoredMiniModeSurvivesARestartForOneDay) {
  Start();
  EXPECT_FALSE(FNotifications->MiniMode());
  FNotifications->SetMiniMode(true);
  EXPECT_DOUBLE_EQ(FNotifications->MiniModeUTC(), Today);

  FClock.SetUtc(Today + 0.99);
  EXPECT_TRUE(Start().MiniMode());
  // A moment in the future counts as well.
  FClock.SetUtc(Today - 3);
  EXPECT_TRUE(Start().MiniMode());

  FClock.SetUtc(Today + 1.0);
  EXPECT_FALSE(Start().MiniMode());
  EXPECT_EQ(ReadRegBinary("MiniModeUTC", 8, FSettings), std::string(8, '\0'));

  // Anything but 8 bytes of binary reads as 0: off.
  WriteRegString("MiniModeUTC", "46365.5", FSettings);
  FClock.SetUtc(Today);
  EXPECT_FALSE(Start().MiniMode());
}

TEST_F(NotificationWindows, AStartThatCannotStoreTheMiniModeStillStarts) {
  // A folder in the settings file's place: nothing reads, every write fails.
  std::filesystem::create_directory(FSettings.FileName());
  ASSERT_THROW(WriteRegBinary("MiniModeUTC", std::string(8, '\0'), FSettings), EOSError);
  Start().SetShowMode(true);
  EXPECT_FALSE(FNotifications->MiniMode());
  EXPECT_EQ(FNotifications->MiniModeUTC(), 0);
  PostProblem(TLogId::gateway);
  EXPECT_EQ(FNotifications->Count(), 1);
  // Only the start forgives it: the user's own switch hears of the failure.
  EXPECT_THROW(FNotifications->SetMiniMode(true), EOSError);
}

TEST_F(NotificationWindows, ADayLaterTheFirstNotificationEndsTheMiniMode) {
  Start().SetShowMode(true);
  FNotifications->SetMiniMode(true);
  FTicks.Advance(360'000);
  FClock.SetUtc(Today + 1.5);
  PostProblem(TLogId::gateway);
  PostProblem(TLogId::google);
  EXPECT_FALSE(FNotifications->MiniMode());
  EXPECT_EQ(FNotifications->Count(), 2);
  EXPECT_EQ(Window(0).mask(), QRegion());
}

TEST_F(NotificationWindows, HiddenWindowsNeverCloseUntilShown) {
  Start().RemoveAll();
  PostProblem(TLogId::gateway, 50);
  PostProblem(TLogId::cpu, 50);
  ASSERT_EQ(FNotifications->Count(), 2);
  QTest::qWait(300);
  EXPECT_EQ(FNotifications->Count(), 2);
  EXPECT_FALSE(Window(0).isVisible());
  EXPECT_FALSE(Part<QTimer>(Window(0), "tmrClose")->isActive());
  // Refreshing a hidden window does not start its timer.
  PostProblem(TLogId::gateway, 50);
  EXPECT_FALSE(Part<QTimer>(Window(0), "tmrClose")->isActive());

  EXPECT_NE(FNotifications->LastCloseTick(), 0u);
  FNotifications->SetShowMode(true);
  EXPECT_EQ(FNotifications->LastCloseTick(), 0u);
  EXPECT_TRUE(Window(0).isVisible());
  EXPECT_TRUE(Part<QTimer>(Window(1), "tmrClose")->isActive());
  QTRY_COMPARE_WITH_TIMEOUT(FNotifications->Count(), 0, 3000);
}

TEST_F(NotificationWindows, LongTextShrinksAndTheCaptionFollows) {
  Start();
  PostProblem(TLogId::google);
  EXPECT_EQ(Window(0).TextFontSize(), 9);
  EXPECT_EQ(Part(Window(0), "lblCaption")->font().pixelSize(), UiFont(12).pixelSize());
  EXPECT_EQ(Part(Window(0), "lblText")->fontInfo().family(), "Tahoma");

  std::string longText;
  for (int i = 0; i < 6; ++i)
    longText += "Наблюдается повышенная загрузка процессора и памяти. ";
  FNotifications->Add("Код ошибки #0004", longText, NotificationLinkText, NotificationHelpLink(TLogId::cpu), 3, 5000,
                      {});
  TfrmNotification& shrunk = Window(1);
  EXPECT_LE(shrunk.TextFontSize(), 8);
  auto* text = Part(shrunk, "lblText");
  EXPECT_LE(text->heightForWidth(356), 57);
  EXPECT_EQ(text->geometry(), QRect(15, 32, 356, 57));
  EXPECT_EQ(Part(shrunk, "lblCaption")->font().pixelSize(), UiFont(shrunk.TextFontSize() + 3).pixelSize());
  EXPECT_EQ(Part(shrunk, "lblLink")->font().pixelSize(), UiFont(shrunk.TextFontSize()).pixelSize());

  // A text that never fits stops at the smallest size.
  FNotifications->Add("Код ошибки #0005", std::string(3000, 'W') + " " + longText + longText + longText,
                      NotificationLinkText, NotificationHelpLink(TLogId::ram), 4, 5000, {});
  EXPECT_EQ(Window(2).TextFontSize(), TfrmNotification::MinTextSize);
}

TEST_F(NotificationWindows, TextLinesAreSpacedAsOnWindows) {
  // Windows spaces Tahoma's lines by its usWinAscent + usWinDescent, not by
  // the typographic metrics the font asks other renderers to use.
  EXPECT_EQ(QFontInfo(UiFont(9)).family(), "Tahoma");
  EXPECT_EQ(QFontMetrics(UiFont(9)).lineSpacing(), 14);
  EXPECT_EQ(QFontMetrics(UiFont(8)).lineSpacing(), 13);
  EXPECT_EQ(QFontMetrics(UiFont(12)).lineSpacing(), 19);
  // So five lines of text are too tall for the box at 9 and 8 pt (70 and 65
  // pixels) and fit at 7 pt (55), where 11-pixel lines fitted at 9 pt.
  Start();
  FNotifications->Add("Код ошибки #0001", "1\r\n2\r\n3\r\n4\r\n5", NotificationLinkText,
                      NotificationHelpLink(TLogId::gateway), 0, 5000, {});
  EXPECT_EQ(Window(0).TextFontSize(), 7);
}

TEST_F(NotificationWindows, LinkLabelSitsBesideTheQrCodeOrInItsPlace) {
  Start();
  PostProblem(TLogId::rdp);
  auto* link = Part(Window(0), "lblLink");
  EXPECT_TRUE(Part(Window(0), "imgQrCode")->isVisibleTo(&Window(0)));
  EXPECT_EQ(link->x() + link->width(), 275);
  EXPECT_EQ(link->y() + link->height() / 2, 139);
  EXPECT_LE(link->width(), 190);
  EXPECT_EQ(link->text(), "Возможные действия\nдля устранения проблемы");

  FNotifications->Add("Сбор данных завершен.", "Пожалуйста отправьте архив", "Отправить данные", "", ReportReadyId,
                      5000, [] {});
  TfrmNotification& notice = Window(1);
  auto* noticeLink = Part(notice, "lblLink");
  EXPECT_FALSE(Part(notice, "imgQrCode")->isVisibleTo(&notice));
  EXPECT_EQ(noticeLink->x() + noticeLink->width(), 364);
  EXPECT_EQ(notice.IconBounds().size(), QSize(0, 0));
  EXPECT_EQ(notice.IconBounds().x(), 15);
}

TEST_F(NotificationWindows, BrokenLinkRuleIsAnAssertionAndPostsNothing) {
  Start();
  EXPECT_THROW(FNotifications->Add("c", "t", "l", "", 1, 5000, {}), EAssertionFailed);
  EXPECT_THROW(FNotifications->Add("c", "t", "l", "https://x.example", 1, 5000, [] {}), EAssertionFailed);
  EXPECT_EQ(FNotifications->Count(), 0);
}

TEST_F(NotificationWindows, ClicksCloseOpenTheLinkOrRunTheCallback) {
  Start().SetShowMode(true);
  PostProblem(TLogId::gateway, 60'000);
  int callbacks = 0;
  FNotifications->Add("Сбор данных завершен.", "Пожалуйста отправьте архив", "Отправить данные", "", ReportReadyId,
                      60'000, [&] { ++callbacks; });
  TfrmNotification& problem = Window(0);
  TfrmNotification& notice = Window(1);

  QTest::mouseClick(Part(problem, "imgQrCode"), Qt::LeftButton);
  QTest::mouseClick(Part(problem, "lblLink"), Qt::LeftButton);
  EXPECT_EQ(FOpened,
            (std::vector<std::string>{NotificationHelpLink(TLogId::gateway), NotificationHelpLink(TLogId::gateway)}));
  QTest::mouseClick(Part(notice, "lblLink"), Qt::LeftButton);
  EXPECT_EQ(callbacks, 1);
  EXPECT_EQ(FOpened.size(), 2u);
  ASSERT_EQ(FNotifications->Count(), 2);

  // Hover colour of the link.
  auto* link = Part(problem, "lblLink");
  Enter(Part(problem, "imgQrCode"));
  EXPECT_EQ(TextColour(link), QColor(255, 212, 212));
  Leave(link);
  EXPECT_EQ(TextColour(link), QColor(255, 255, 255));

  // The yellow cross turns green under the pointer; a click there means mini mode.
  auto* normal = Part(problem, "imgCloseNormal");
  auto* hot = Part(problem, "imgCloseHot");
  Enter(normal);
  EXPECT_FALSE(normal->isVisibleTo(&problem));
  EXPECT_TRUE(hot->isVisibleTo(&problem));
  EXPECT_EQ(hot->geometry(), QRect(363, 10, 14, 14));
  Leave(hot);
  EXPECT_TRUE(normal->isVisibleTo(&problem));
  EXPECT_FALSE(hot->isVisibleTo(&problem));
  Enter(normal);
  QTest::mouseClick(hot, Qt::LeftButton);
  EXPECT_TRUE(FNotifications->MiniMode());
  EXPECT_EQ(FNotifications->Count(), 2);

  // In mini mode the pictogram opens the icon menu, marked as opened from here.
  auto* icon = Part(problem, "imgIcon");
  QTest::mouseClick(icon, Qt::LeftButton);
  EXPECT_EQ(FNotifications->Count(), 2);
  QMenu menu;
  menu.addAction("Показывать полные оповещения");
  FNotifications->SetIconMenu(&menu);
  QTest::mouseClick(icon, Qt::LeftButton);
  EXPECT_TRUE(menu.isVisible());
  EXPECT_EQ(menu.property("PopupComponent").value<QObject*>(), icon);
  menu.hide();

  // In full mode the pictogram, the caption, the text and the background close.
  FNotifications->SetMiniMode(false);
  QTest::mouseClick(icon, Qt::LeftButton);
  ASSERT_EQ(FNotifications->Count(), 1);
  EXPECT_EQ(&Window(0), &notice);
  QTest::mouseClick(Part(notice, "lblText"), Qt::LeftButton);
  EXPECT_EQ(FNotifications->Count(), 0);
  for (const char* part : {"imgBackground", "lblCaption"}) {
    PostProblem(TLogId::disk);
    QTest::mouseClick(Part(Window(0), part), Qt::LeftButton);
    EXPECT_EQ(FNotifications->Count(), 0) << part;
  }
}

TEST_F(NotificationWindows, TheIconMenuForgetsAPictogramThatIsGone) {
  Start().SetShowMode(true);
  FNotifications->SetMiniMode(true);
  QMenu menu;
  menu.addAction("Показывать полные оповещения");
  FNotifications->SetIconMenu(&menu);
  PostProblem(TLogId::cpu);
  ASSERT_EQ(FNotifications->Count(), 1);
  QTest::mouseClick(Part(Window(0), "imgIcon"), Qt::LeftButton);
  ASSERT_NE(menu.property("PopupComponent").value<QObject*>(), nullptr);
  // The window closes by its timer while its menu is still open.
  Window(0).close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(menu.property("PopupComponent").value<QObject*>(), nullptr);
  menu.hide();
}

TEST_F(NotificationWindows, AWindowThatCannotBeBuiltChangesNothing) {
  Start().SetShowMode(true);
  PostProblem(TLogId::gateway);
  TfrmNotification* existing = &Window(0);
  // Far more than a QR code holds.
  const std::string tooLong = "https://help.orvella.example/" + std::string(8000, 'x');
  EXPECT_THROW(FNotifications->Add("Код ошибки #0001", "другой", NotificationLinkText, tooLong, 0, 5000, {}),
               EConvertError);
  EXPECT_THROW(FNotifications->Add("Код ошибки #0002", "новый", NotificationLinkText, tooLong, 1, 5000, {}),
               EConvertError);
  ASSERT_EQ(FNotifications->Count(), 1);
  EXPECT_EQ(&Window(0), existing);
  EXPECT_TRUE(existing->isVisible());
}

TEST_F(NotificationWindows, ScreenChangesStackTheWindowsAnew) {
  Start().SetShowMode(true);
  QScreen* screen = QGuiApplication::primaryScreen();
  // Nothing listed: nothing to do.
  emit screen->availableGeometryChanged(screen->availableGeometry());
  PostProblem(TLogId::gateway);
  PostProblem(TLogId::cpu);
  Window(0).move(10, 10);
  Window(1).move(20, 20);
  emit screen->availableGeometryChanged(screen->availableGeometry());
  EXPECT_EQ(BottomRight(Window(0).geometry()), WorkAreaCorner());
  EXPECT_EQ(BottomRight(Window(1).geometry()), WorkAreaCorner() - QPoint(0, Step));
}

TEST_F(NotificationWindows, PictogramHintOnlyInMiniMode) {
  Start().SetShowMode(true);
  PostProblem(TLogId::ram);
  auto* icon = Part<TNotificationIconImage>(Window(0), "imgIcon");
  EXPECT_EQ(icon->Hint().toStdString(), NotificationCaption(TLogId::ram) + "\n" + NotificationContent[4].Text);
  QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), icon->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(icon, &help);
  EXPECT_EQ(icon->HintWindow(), nullptr);

  FNotifications->SetMiniMode(true);
  QApplication::sendEvent(icon, &help);
  ASSERT_NE(icon->HintWindow(), nullptr);
  EXPECT_TRUE(icon->HintWindow()->isVisible());
  EXPECT_LE(icon->HintWindow()->width(), TNotificationIconHintWindow::MaxHintWidth);
  EXPECT_GT(icon->HintWindow()->height(), icon->HintWindow()->fontMetrics().height() * 2);
  FNotifications->SetMiniMode(false);
  EXPECT_FALSE(icon->HintWindow()->isVisible());
}

TEST_F(NotificationWindows, ClassOperationsReachTheCurrentList) {
  EXPECT_THROW(TfrmNotification::RemoveAll(), EAssertionFailed);
  Start();
  TfrmNotification::SetShowMode(true);
  ShowErrorNotifications(TLogIds{TLogId::gateway, TLogId::cpu}, TLogIds{TLogId::gateway, TLogId::cpu});
  EXPECT_EQ(FNotifications->Count(), 2);
  TfrmNotification::RemoveId(3);
  EXPECT_EQ(FNotifications->Count(), 1);
  SetMiniMode(true);
  EXPECT_TRUE(MiniMode());
  TfrmNotification::RemoveAll();
  EXPECT_EQ(FNotifications->Count(), 0);
  EXPECT_THROW(TNotifications(FClock, FTicks, FSettings), EAssertionFailed);
}

}  // namespace
}  // namespace orvella::testing
