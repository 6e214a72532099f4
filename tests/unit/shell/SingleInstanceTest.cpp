// The claim of the one running instance, against a lock left by a dead one.
#include "shell/SingleInstance.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QLockFile>

#include "tests/support/TempDir.h"

namespace orvella {
namespace {

TEST(SingleInstanceTest, ALockInThisProcessNumberThatItDoesNotHoldIsTakenOver) {
  static int argc = 1;
  static char name[] = "singleinstance_unit_tests";
  static char* argv[] = {name, nullptr};
  if (!QCoreApplication::instance())
    static QCoreApplication application(argc, argv);
  const testing::TTempDir folder;
  const QString lockPath = QString::fromStdString(folder.Path()) + QStringLiteral("/orvella.lock");
  // The lock a dead instance of the same number left: its content, no holder.
  QByteArray left;
  {
    QLockFile lock(lockPath);
    ASSERT_TRUE(lock.tryLock(0));
    QFile file(lockPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    left = file.readAll();
  }
  QFile file(lockPath);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  ASSERT_EQ(file.write(left), left.size());
  file.close();

  const TSingleInstance instance([] { return true; }, QString::fromStdString(folder.Path()), 300, 300);
  EXPECT_TRUE(instance.Claimed());
}

}  // namespace
}  // namespace orvella
