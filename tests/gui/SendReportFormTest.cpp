// The send-report dialog on the offscreen platform, with a settings file of
// its own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <utility>
#include <vector>

#include "platform/linux/SettingsFile.h"
#include "report/SendReportForm.h"
#include "tests/support/TempDir.h"

namespace orvella::testing {
namespace {

using TSent = std::pair<std::string, std::string>;

class SendReportFormTest : public ::testing::Test {
protected:
  ~SendReportFormTest() override {
    if (TfrmSendReport* dialog = TfrmSendReport::Current())
      dialog->close();
    Settle();
  }

  // Runs the deferred deletion of a closed dialog.
  static void Settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

  TfrmSendReport* Open(const char* ATag = "") {
    return TfrmSendReport::Open(
        [this, ATag](const std::string& AName, const std::string& APhone) {
          FSent.push_back({AName, APhone});
          FTags.push_back(ATag);
        },
        FSettings);
  }

  void Store(const std::string& AName, const std::string& APhone) {
    WriteRegString("Name", AName, FSettings);
    WriteRegString("Phone", APhone, FSettings);
  }
  TSent Stored() const { return {ReadRegString("Name", FSettings), ReadRegString("Phone", FSettings)}; }

  TTempDir FDir;
  platform::TSettingsFile FSettings{FDir / "tamsket/orvella.conf"};
  std::vector<TSent> FSent;
  std::vector<std::string> FTags;
};

TEST_F(SendReportFormTest, ShowsTheStoredValuesTrimmedWithinTheirLimits) {
  TfrmSendReport* dialog = Open();
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(dialog->size(), QSize(291, 259));
  EXPECT_EQ(dialog->windowTitle(), "Форма отправки данных");
  EXPECT_EQ(dialog->btnSend->geometry(), QRect(190, 216, 75, 25));
  // The note's three lines fit the laid-out box in Tahoma: it keeps its height.
  EXPECT_EQ(dialog->Label1->geometry(), QRect(32, 136, 233, 49));
  // The very first use: nothing stored yet.
  EXPECT_EQ(dialog->leName->text(), "");
  EXPECT_EQ(dialog->lePhone->text(), "");
  dialog->close();
  Settle();
  EXPECT_EQ(TfrmSendReport::Current(), nullptr);

  Store(" \tИван Петров \r\n", "  +7 900 123-45-67\x01");
  dialog = Open();
  EXPECT_EQ(dialog->leName->text(), "Иван Петров");
  EXPECT_EQ(dialog->lePhone->text(), "+7 900 123-45-67");

  dialog->leName->clear();
  dialog->lePhone->clear();
  QTest::keyClicks(dialog->leName, QString(50, 'N'));
  QTest::keyClicks(dialog->lePhone, QString(30, '7'));
  EXPECT_EQ(dialog->leName->text(), QString(40, 'N'));
  EXPECT_EQ(dialog->lePhone->text(), QString(20, '7'));
}

TEST_F(SendReportFormTest, SendStoresAndPassesOnTheTextsAsTyped) {
  Store("old name", "old phone");
  TfrmSendReport* dialog = Open();
  dialog->leName->clear();
  dialog->lePhone->clear();
  QTest::mouseClick(dialog->btnSend, Qt::LeftButton);
  EXPECT_EQ(FSent, std::vector<TSent>{TSent("", "")});
  EXPECT_EQ(Stored(), TSent("", ""));
  EXPECT_FALSE(dialog->isVisible());
  Settle();
  EXPECT_EQ(TfrmSendReport::Current(), nullptr);

  dialog = Open();
  dialog->leName->setText(" Пётр ");
  QTest::keyClicks(dialog->lePhone, "123");
  QTest::mouseClick(dialog->btnSend, Qt::LeftButton);
  EXPECT_EQ(FSent.back(), TSent(" Пётр ", "123"));
  EXPECT_EQ(Stored(), TSent(" Пётр ", "123"));
}

TEST_F(SendReportFormTest, TheCloseBoxStoresAndCallsNothing) {
  Store("Анна", "555");
  TfrmSendReport* dialog = Open();
  dialog->leName->setText("someone else");
  dialog->close();
  Settle();
  EXPECT_EQ(TfrmSendReport::Current(), nullptr);
  EXPECT_TRUE(FSent.empty());
  EXPECT_EQ(Stored(), TSent("Анна", "555"));
}

TEST_F(SendReportFormTest, ASecondRequestReusesTheDialogWithItsOwnCallback) {
  TfrmSendReport* first = Open("first");
  first->leName->setText("typed before");
  TfrmSendReport* second = Open("second");
  EXPECT_EQ(second, first);
  EXPECT_EQ(second->leName->text(), "typed before");
  QTest::mouseClick(second->btnSend, Qt::LeftButton);
  EXPECT_EQ(FTags, std::vector<std::string>{"second"});
}

}  // namespace
}  // namespace orvella::testing
