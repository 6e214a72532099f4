// The monitor thread holder: its signal rules, the settings hand-over, and
// results and failures travelling through the GUI thread's queue.
#include "shell/MonThreadHolder.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "platform/Exceptions.h"
#include "base/ExceptionReport.h"

namespace orvella {
namespace {

using namespace std::chrono_literals;

class MonThreadHolderTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "monthreadholder_unit_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
  }

  // Runs the GUI thread's queue until ADone holds.
  template <typename TPredicate>
  static bool ProcessUntil(TPredicate ADone, std::chrono::milliseconds ALimit = 5s) {
    const auto deadline = std::chrono::steady_clock::now() + ALimit;
    while (!ADone()) {
      if (std::chrono::steady_clock::now() > deadline)
        return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
  }

  // A loop that hands its owner to the test and waits for termination.
  TMonThreadHolder::TRunLoop WaitingLoop() {
    return [this](const std::shared_ptr<IMonThreadOwner>& AOwner) {
      FOwnerPromise.set_value(AOwner.get());
      while (AOwner->WaitSignal({sigTerminate}, 10000, 0) != sigTerminate) {
      }
    };
  }

  std::shared_ptr<TMonThreadHolder> Start(TMonThreadHolder::TRunLoop ALoop,
                                          TMonThreadHolder::TFailureHooks AHooks = {}) {
    if (!AHooks.Report)
      AHooks.Report = [this](const std::exception_ptr& AError) { FReported = ExceptionText(AError); };
    if (!AHooks.Terminate)
      AHooks.Terminate = [this] { FTerminateRequested = true; };
    return TMonThreadHolder::Create(
        {"srv", true}, [this](TLogIds AIds) { FErrors.push_back(AIds); },
        [this](const std::string& AName) { FReports.push_back(AName); }, std::move(ALoop), std::move(AHooks));
  }

  static void Stop(std::shared_ptr<TMonThreadHolder>& AHolder) {
    AHolder->BeginTerminate();
    AHolder.reset();
    ASSERT_TRUE(ProcessUntil([] { return TMonThreadHolder::AllowTerminate(); }));
  }

  std::promise<IMonThreadOwner*> FOwnerPromise;
  std::vector<TLogIds> FErrors;
  std::vector<std::string> FReports;
  std::string FReported;
  bool FTerminateRequested = false;
};

TEST_F(MonThreadHolderTest, TerminationWinsOverEverySignalAndStaysRaised) {
  auto holder = Start(WaitingLoop());
  IMonThreadOwner* owner = FOwnerPromise.get_future().get();
  holder->SetSettings({"other", false});
  holder->BeginCollectReport();
  EXPECT_EQ(owner->WaitSignal({0, 1, 2, 3}, 0, 0), sigSettings);
  holder->BeginTerminate();
  EXPECT_EQ(owner->WaitSignal({0, 1, 2, 3}, 0, 0), sigTerminate);
  EXPECT_EQ(owner->WaitSignal({0, 1, 2, 3}, 0, 0), sigTerminate);
  // Without index 0 listed, the other signals still answer.
  EXPECT_EQ(owner->WaitSignal({2, 3}, 0, 0), sigCollectReport);
  holder.reset();
  EXPECT_TRUE(ProcessUntil([] { return TMonThreadHolder::AllowTerminate(); }));
}

TEST_F(MonThreadHolderTest, AReportRequestIsDeliveredOnce) {
  auto holder = Start(WaitingLoop());
  IMonThreadOwner* owner = FOwnerPromise.get_future().get();
  holder->BeginCollectReport();
  holder->BeginCollectReport();
  EXPECT_EQ(owner->WaitSignal({1, 2, 3}, 0, 0), sigCollectReport);
  EXPECT_EQ(owner->WaitSignal({1, 2, 3}, 0, 0), sigNone);
  // The object slot without an object is not waited for.
  EXPECT_EQ(owner->WaitSignal({3}, 0, 0), sigNone);
  Stop(holder);
}

TEST_F(MonThreadHolderTest, TheLatestSettingsAreFetchedOnceAndNoneIsLost) {
  auto holder = Start(WaitingLoop());
  IMonThreadOwner* owner = FOwnerPromise.get_future().get();
  holder->SetSettings({"first", false});
  holder->SetSettings({"second", true});
  EXPECT_EQ(owner->WaitSignal({1}, 0, 0), sigSettings);
  EXPECT_EQ(owner->GetSettings(), (TMonThreadSettings{"second", true}));
  EXPECT_EQ(holder->Settings(), (TMonThreadSettings{"second", true}));
  EXPECT_EQ(owner->WaitSignal({1}, 0, 0), sigNone);

  // Stores racing the fetches: whatever lands between the worker's clear and
  // its copy raises the signal again, so the last store is always fetched.
  // Each round ends with a store followed by the worker's check; a lost
  // store shows as a round whose last fetch is not the last store.
  int lost = 0;
  for (int round = 0; round < 1000; ++round) {
    std::atomic<bool> storing = true;
    std::thread fetcher([&] {
      TMonThreadSettings last;
      while (storing || owner->WaitSignal({1}, 0, 0) == sigSettings)
        last = owner->GetSettings();
      lost += last.RdpServer != "100";
    });
    for (int i = 1; i <= 100; ++i)
      holder->SetSettings({std::to_string(i), false});
    storing = false;
    fetcher.join();
  }
  EXPECT_EQ(lost, 0);
  Stop(holder);
}

TEST_F(MonThreadHolderTest, ResultsArriveLaterOnTheGuiThreadInOrder) {
  std::promise<void> queued;
  auto holder = Start([&](const std::shared_ptr<IMonThreadOwner>& AOwner) {
    AOwner->ErrorOccured(TLogIds{TLogId::gateway});
    AOwner->ReportCreated("report.zip");
    AOwner->ErrorOccured(TLogIds{TLogId::cpu});
    queued.set_value();
    while (AOwner->WaitSignal({sigTerminate}, 10000, 0) != sigTerminate) {
    }
  });
  queued.get_future().get();
  EXPECT_TRUE(FErrors.empty()) << "ran inline";
  ASSERT_TRUE(ProcessUntil([&] { return FErrors.size() == 2; }));
  EXPECT_EQ(FErrors, (std::vector<TLogIds>{TLogIds{TLogId::gateway}, TLogIds{TLogId::cpu}}));
  EXPECT_EQ(FReports, std::vector<std::string>{"report.zip"});
  Stop(holder);
}

TEST_F(MonThreadHolderTest, ResultsAfterBeginTerminateAreDropped) {
  std::promise<void> queued;
  auto holder = Start([&](const std::shared_ptr<IMonThreadOwner>& AOwner) {
    AOwner->ErrorOccured(TLogIds{TLogId::rdp});
    AOwner->ReportCreated("report.zip");
    queued.set_value();
    while (AOwner->WaitSignal({sigTerminate}, 10000, 0) != sigTerminate) {
    }
  });
  queued.get_future().get();
  Stop(holder);
  EXPECT_TRUE(FErrors.empty());
  EXPECT_TRUE(FReports.empty());
}

TEST_F(MonThreadHolderTest, AFailingLoopIsReportedThenTheApplicationIsAskedToEnd) {
  bool releasedBeforeTerminate = false;
  auto holder = Start([](const std::shared_ptr<IMonThreadOwner>&) { throw Exception("Counter cannot be opened"); },
                      {nullptr, [&] {
                         FTerminateRequested = true;
                         // The tray module let go first, so the final step's release ended the holder.
                         releasedBeforeTerminate = TMonThreadHolder::AllowTerminate();
                       }});
  std::weak_ptr<TMonThreadHolder> watched = holder;
  // The tray module reacts to the termination request by stopping the holder.
  holder->BeginTerminate();
  holder.reset();
  ASSERT_TRUE(ProcessUntil([&] { return FTerminateRequested; }));
  EXPECT_EQ(FReported, "Counter cannot be opened");
  EXPECT_TRUE(releasedBeforeTerminate);
  EXPECT_TRUE(watched.expired());
}

TEST_F(MonThreadHolderTest, AllowTerminateOnlyWithoutHolders) {
  EXPECT_TRUE(TMonThreadHolder::AllowTerminate());
  auto holder = Start(WaitingLoop());
  EXPECT_FALSE(TMonThreadHolder::AllowTerminate());
  holder->BeginTerminate();
  holder.reset();
  // Stopping: the worker's final step still holds it.
  EXPECT_FALSE(TMonThreadHolder::AllowTerminate());
  EXPECT_TRUE(ProcessUntil([] { return TMonThreadHolder::AllowTerminate(); }));
}

TEST_F(MonThreadHolderTest, CreationOffTheGuiThreadIsAnAssertionFailure) {
  std::thread other([&] { EXPECT_THROW(Start(WaitingLoop()), EAssertionFailed); });
  other.join();
  EXPECT_TRUE(TMonThreadHolder::AllowTerminate());
}

TEST_F(MonThreadHolderTest, TheJobObjectIsHandedToTheLoop) {
  auto holder = Start(WaitingLoop());
  IMonThreadOwner* owner = FOwnerPromise.get_future().get();
  EXPECT_NE(owner->GetJobObject(), 0u);
  EXPECT_EQ(owner->GetJobObject(), JobObject());
  Stop(holder);
}

}  // namespace
}  // namespace orvella
