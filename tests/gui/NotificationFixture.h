#pragma once
// Notification windows on a fake clock and tick, with a settings file of their
// own and a recorder in place of the browser.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "notify/NotificationContent.h"
#include "notify/Notifications.h"
#include "platform/linux/SettingsFile.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeTickSource.h"
#include "tests/support/TempDir.h"

namespace orvella::testing {

class NotificationFixture : public ::testing::Test {
protected:
  // 9 December 2026, noon UTC.
  static constexpr double Today = 46365.5;

  NotificationFixture() : FClock(Today, Today), FTicks(10'000'000) {}
  ~NotificationFixture() override {
    FNotifications.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  // ASettings: where the mini mode is stored, the fixture's settings file when none.
  TNotifications& Start(const platform::ISettingsHive* ASettings = nullptr) {
    FNotifications.reset();
    FNotifications = std::make_unique<TNotifications>(FClock, FTicks, ASettings ? *ASettings : FSettings,
                                                      [this](const std::string& ALink) { FOpened.push_back(ALink); });
    return *FNotifications;
  }

  void PostProblem(TLogId AId, int32_t AInterval = NotificationInterval) {
    FNotifications->Add(NotificationCaption(AId), NotificationContent[static_cast<size_t>(AId)].Text,
                        NotificationLinkText, NotificationHelpLink(AId), static_cast<int32_t>(AId), AInterval, {});
  }

  TfrmNotification& Window(int AIndex) { return FNotifications->Window(AIndex); }

  template <typename T = QLabel>
  static T* Part(TfrmNotification& AWindow, const char* AName) {
    T* part = AWindow.findChild<T*>(QString::fromLatin1(AName));
    EXPECT_NE(part, nullptr) << AName;
    return part;
  }

  static QPoint WorkAreaCorner() {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    return {area.x() + area.width(), area.y() + area.height()};
  }

  static QPoint BottomRight(const QRect& ARect) { return {ARect.x() + ARect.width(), ARect.y() + ARect.height()}; }

  TTempDir FDir;
  platform::TSettingsFile FSettings{FDir / "orvella.conf"};
  TFakeClock FClock;
  TFakeTickSource FTicks;
  std::vector<std::string> FOpened;
  std::unique_ptr<TNotifications> FNotifications;
};

}  // namespace orvella::testing
