// The repair window as the user meets it: it cannot be closed while the work
// runs, closes by itself after a clean run and stays after a failed one.
#include "repair/FixCountersForm.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <future>

#include "platform/Exceptions.h"
#include "tests/support/RepairTree.h"

namespace orvella {
namespace {

class FixCountersFormTest : public ::testing::Test {
protected:
  FixCountersFormTest() { Tree.Commands = {{"/usr/sbin/lodctr", "/R"}}; }

  // The command blocks until Release, or for a while when a failed check never releases it.
  TProcessRunner BlockingRunner(uint32_t AExitCode) {
    return [this, AExitCode](const std::string&, const std::string&, bool, bool, bool) {
      Released.wait_for(std::chrono::seconds(15));
      return AExitCode;
    };
  }
  static QString Log(const TfrmFixCounters& AForm) {
    return AForm.findChild<QPlainTextEdit*>(QStringLiteral("mmLog"))->toPlainText();
  }
  static QPushButton* CloseButton(const TfrmFixCounters& AForm) {
    return AForm.findChild<QPushButton*>(QStringLiteral("btnClose"));
  }

  testing::TRepairTree Tree;
  std::promise<void> Release;
  std::shared_future<void> Released = Release.get_future().share();
};

TEST_F(FixCountersFormTest, RefusesToCloseWhileWorkingAndClosesItselfAfterACleanRun) {
  TfrmFixCounters form(Tree.Arguments(), Tree, BlockingRunner(0));
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Настройка счетчиков"));
  EXPECT_EQ(form.size(), QSize(405, 226));
  EXPECT_EQ(form.font().family(), QStringLiteral("Tahoma"));
  EXPECT_EQ(CloseButton(form)->text(), QStringLiteral("Закрыть"));
  ASSERT_TRUE(form.isVisible());
  EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(CloseButton(form)->isEnabled());

  ASSERT_TRUE(QTest::qWaitFor([&] { return Log(form).contains(QStringLiteral("/usr/sbin/lodctr /R")); }, 10000));
  EXPECT_FALSE(form.close());
  QTest::keyClick(&form, Qt::Key_F4, Qt::AltModifier);
  QTest::keyClick(&form, Qt::Key_Escape);
  QCoreApplication::processEvents();
  EXPECT_TRUE(form.isVisible());

  Release.set_value();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form.isVisible(); }, 10000));
  EXPECT_TRUE(Log(form).endsWith(QStringLiteral("Exit code: 0")));
}

TEST_F(FixCountersFormTest, StaysOpenAfterAnErrorUntilTheUserClosesIt) {
  Release.set_value();
  TfrmFixCounters form({"orvella", "FixCounters"}, Tree, BlockingRunner(0));
  ASSERT_TRUE(QTest::qWaitFor([&] { return CloseButton(form)->isEnabled(); }, 10000));
  QCoreApplication::processEvents();
  EXPECT_TRUE(form.isVisible());
  EXPECT_TRUE(form.windowFlags() & Qt::WindowCloseButtonHint);
  // The entry with a line break shows as two lines.
  EXPECT_TRUE(Log(form).startsWith(
      QStringLiteral("Openining services\nException: EConvertError\n'' is not a valid integer value\n")));
  QTest::mouseClick(CloseButton(form), Qt::LeftButton);
  EXPECT_FALSE(form.isVisible());
}

TEST_F(FixCountersFormTest, AnExceptionBeforeTheFirstStepEndsTheWorkWithTwoLines) {
  class TBroken : public testing::TRepairTree {
    std::vector<platform::TRepairCommand> PrepareRepairCommands() override { throw EOSError(5, "Access is denied"); }
  } broken;
  TfrmFixCounters form(broken.Arguments(), broken);
  ASSERT_TRUE(QTest::qWaitFor([&] { return CloseButton(form)->isEnabled(); }, 10000));
  EXPECT_EQ(Log(form), QStringLiteral("Exception EOSError\nAccess is denied"));
  EXPECT_TRUE(form.isVisible());
}

}  // namespace
}  // namespace orvella
