// SPDX-License-Identifier: MIT
// TThread: start after construction, termination, WaitFor, synchronised and queued calls.
#include <framework/application.h>
#include <framework/thread.h>
#include <gtest/gtest.h>

#if defined(__linux__)
#include <sys/resource.h>
#endif

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "dialogs.h"
#include "wait.h"

using testsupport::PumpUntil;

namespace {

// Runs a function as Execute.
class TLambdaThread : public TThread {
 public:
  explicit TLambdaThread(std::function<void(TLambdaThread&)> Body, bool Suspended = false)
      : TThread(Suspended), body_(std::move(Body)) {}
  ~TLambdaThread() override {
    Terminate();
    WaitFor();
  }
  using TThread::Synchronize;

 protected:
  void Execute() override { body_(*this); }

 private:
  std::function<void(TLambdaThread&)> body_;
};

// Execute reads a field that only the most-derived constructor's body sets.
class TLateField : public TThread {
 public:
  TLateField() : TThread(false) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // widen the window
    ready = 42;
  }
  int ready = 0;
  std::atomic<int> seen{-1};

 protected:
  void Execute() override { seen = ready; }
};

// Calls a member function of the derived class through Synchronize.
class TNotifier : public TThread {
 public:
  TNotifier() : TThread(false) {}
  ~TNotifier() override { WaitFor(); }
  int deliveries = 0;  // main thread only
  bool onMain = true;

 protected:
  void Execute() override {
    for (int i = 0; i < 50; ++i) Synchronize(&TNotifier::Deliver);
  }

 private:
  void Deliver() {
    ++deliveries;
    onMain = onMain && IsMainThread();
  }
};

}  // namespace

TEST(ThreadTest, ExecuteStartsAfterTheMostDerivedConstructor) {
  std::unique_ptr<TLateField> t(TThread::Create<TLateField>());
  t->WaitFor();
  EXPECT_EQ(t->seen.load(), 42);
  EXPECT_TRUE(t->Finished());
}

// Only TThread::Create<T> starts a thread: `new T` does not compile, and a thread built in place
// says so when it is waited for instead of reporting that it has finished.
template <class T>
concept DirectlyNewable = requires {
  new T();
};
static_assert(!DirectlyNewable<TLateField>, "new of a TThread must not compile");
static_assert(!DirectlyNewable<TNotifier>, "new of a TThread must not compile");

TEST(ThreadTest, AThreadNotMadeByCreateIsRefusedLoudly) {
  TLateField InPlace;
  EXPECT_FALSE(InPlace.Started());
  try {
    InPlace.WaitFor();
    ADD_FAILURE() << "WaitFor reported success for a thread that never ran";
  } catch (const EThread& e) {
    EXPECT_NE(e.Message.find("TThread::Create"), std::string::npos) << e.Message;
  }
  EXPECT_THROW(InPlace.WaitFor(10), EThread);
  EXPECT_EQ(InPlace.seen.load(), -1);
}

TEST(ThreadTest, SuspendedThreadStartsOnStartAndWaitForOfUnstartedReturns) {
  std::atomic<bool> ran{false};
  std::unique_ptr<TLambdaThread> t(
      TThread::Create<TLambdaThread>([&](TLambdaThread&) { ran = true; }, true));
  EXPECT_FALSE(t->Started());
  EXPECT_TRUE(t->WaitFor(0));  // nothing to wait for
  EXPECT_FALSE(ran.load());
  t->Start();
  t->WaitFor();
  EXPECT_TRUE(ran.load());
}

TEST(ThreadTest, TerminateEndsLoopAndTimedWaitGivesUpThenSucceeds) {
  std::unique_ptr<TLambdaThread> t(TThread::Create<TLambdaThread>([](TLambdaThread& self) {
    while (!self.Terminated()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }));
  EXPECT_FALSE(t->WaitFor(30));
  EXPECT_FALSE(t->Finished());
  t->Terminate();
  EXPECT_TRUE(t->Terminated());
  EXPECT_TRUE(t->WaitFor(10000));
  EXPECT_TRUE(t->Finished());
}

TEST(ThreadTest, DestroyingARunningThreadTerminatesAndWaits) {
  std::atomic<bool> left{false};
  auto* t = TThread::Create<TLambdaThread>([&](TLambdaThread& self) {
    while (!self.Terminated()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    left = true;
  });
  delete t;
  EXPECT_TRUE(left.load());
}

TEST(ThreadTest, ExceptionEscapingExecuteIsKept) {
  std::unique_ptr<TLambdaThread> t(
      TThread::Create<TLambdaThread>([](TLambdaThread&) { throw std::runtime_error("boom"); }));
  t->WaitFor();
  EXPECT_TRUE(t->FatalException() != nullptr);
}

TEST(ThreadTest, WaitForOnTheThreadItselfRaises) {
  std::atomic<bool> raised{false};
  std::unique_ptr<TLambdaThread> t(TThread::Create<TLambdaThread>([&](TLambdaThread& self) {
    try {
      self.WaitFor();
    } catch (const EThread&) {
      raised = true;
    }
  }));
  t->WaitFor();
  EXPECT_TRUE(raised.load());
}

// Several workers synchronise at once while the main thread sits in WaitFor: no deadlock,
// every call runs exactly once and on the main thread.
TEST(ThreadTest, SynchronizeFromSeveralWorkersWhileMainWaits) {
  constexpr int kWorkers = 4, kCalls = 300;
  int counts[kWorkers] = {};  // written on the main thread only
  bool allOnMain = true;
  std::vector<std::unique_ptr<TLambdaThread>> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.emplace_back(TThread::Create<TLambdaThread>([&, w](TLambdaThread& self) {
      for (int i = 0; i < kCalls; ++i)
        self.Synchronize([&, w] {
          ++counts[w];
          allOnMain = allOnMain && IsMainThread();
        });
    }));
  }
  // Waiting on the last one first: the others block in Synchronize until WaitFor runs them.
  for (int w = kWorkers - 1; w >= 0; --w) ASSERT_TRUE(workers[w]->WaitFor(30000));
  for (int w = 0; w < kWorkers; ++w) EXPECT_EQ(counts[w], kCalls) << "worker " << w;
  EXPECT_TRUE(allOnMain);
}

#if defined(__linux__)
// Workers blocked in Synchronize sleep until their own call has run: the main thread running the
// calls queued before theirs does not wake them. Counted as each worker's voluntary context
// switches while it waits; waking every waiter at each finished call gives the last ones about
// one switch per earlier call.
TEST(ThreadTest, AFinishedSynchronizedCallWakesOnlyItsCaller) {
  constexpr int kWorkers = 24;
  std::atomic<int> queued{0};
  auto previous = Application->SetWakeMainThreadHandler([&] { ++queued; });
  std::atomic<long> switches[kWorkers] = {};
  std::vector<std::unique_ptr<TLambdaThread>> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.emplace_back(TThread::Create<TLambdaThread>([&, w](TLambdaThread& self) {
      rusage before{}, after{};
      getrusage(RUSAGE_THREAD, &before);
      // Each call lasts long enough for a woken waiter to go back to sleep before the next ends.
      self.Synchronize([] { std::this_thread::sleep_for(std::chrono::milliseconds(2)); });
      getrusage(RUSAGE_THREAD, &after);
      switches[w] = after.ru_nvcsw - before.ru_nvcsw;
    }));
  }
  ASSERT_TRUE(testsupport::WaitUntil([&] { return queued.load() >= kWorkers; }));
  CheckSynchronize();
  for (auto& worker : workers) ASSERT_TRUE(worker->WaitFor(30000));
  Application->SetWakeMainThreadHandler(previous);
  for (int w = 0; w < kWorkers; ++w) EXPECT_LE(switches[w].load(), 6) << "worker " << w;
}
#endif

TEST(ThreadTest, SynchronizeMemberFunctionOverload) {
  std::unique_ptr<TNotifier> t(TThread::Create<TNotifier>());
  ASSERT_TRUE(t->WaitFor(30000));
  EXPECT_EQ(t->deliveries, 50);
  EXPECT_TRUE(t->onMain);
}

TEST(ThreadTest, SynchronizeOnTheMainThreadRunsAtOnce) {
  std::unique_ptr<TLambdaThread> t(TThread::Create<TLambdaThread>([](TLambdaThread&) {}, true));
  bool ran = false;
  t->Synchronize([&] { ran = true; });
  EXPECT_TRUE(ran);
}

// A throwing synchronised call is reported; the worker goes on and so does the main thread.
TEST(ThreadTest, ExceptionInSynchronizedCallIsReportedAndNothingDies) {
  testsupport::DialogRecorder recorder;
  Application->SetTitle("Test title");
  std::atomic<bool> after{false};
  std::unique_ptr<TLambdaThread> t(TThread::Create<TLambdaThread>([&](TLambdaThread& self) {
    self.Synchronize([] { throw EConvertError("'x' is not a valid integer value"); });
    self.Synchronize([] { throw std::runtime_error("plain"); });
    after = true;
  }));
  ASSERT_TRUE(t->WaitFor(30000));
  EXPECT_TRUE(after.load());
  EXPECT_TRUE(t->FatalException() == nullptr);
  const auto errors = recorder.OfKind(testsupport::Dialog::Error);
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].text, "'x' is not a valid integer value");
  EXPECT_EQ(errors[0].caption, "Test title");
  EXPECT_EQ(errors[1].text, "plain");
}

TEST(ThreadTest, CheckSynchronizeWaitsForACallAndOnlyRunsOnTheMainThread) {
  std::atomic<bool> go{false};
  std::atomic<bool> checkedOffMain{true};
  bool ran = false;
  std::unique_ptr<TLambdaThread> t(TThread::Create<TLambdaThread>([&](TLambdaThread& self) {
    checkedOffMain = CheckSynchronize();  // off the main thread: does nothing
    while (!go) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    self.Synchronize([&] { ran = true; });
  }));
  EXPECT_FALSE(CheckSynchronize());
  go = true;
  EXPECT_TRUE(PumpUntil([&] { return ran; }));
  t->WaitFor();
  EXPECT_FALSE(checkedOffMain.load());
}

TEST(ThreadTest, ForceQueueRunsLaterAndRemoveQueuedEventsDropsOnlyThatOwner) {
  int a = 0, b = 0;
  const int ownerA = 0, ownerB = 0;
  TThread::ForceQueue(&ownerA, [&] { ++a; });
  TThread::ForceQueue(&ownerB, [&] { ++b; });
  TThread::ForceQueue(&ownerA, [&] { ++a; });
  EXPECT_EQ(a + b, 0);  // queued even on the main thread
  TThread::RemoveQueuedEvents(&ownerA);
  EXPECT_TRUE(CheckSynchronize());
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 1);
  EXPECT_FALSE(CheckSynchronize());
}

TEST(ThreadTest, QueueFromAWorkerDoesNotBlockAndRunsOnMain) {
  int ran = 0;
  bool onMain = false;
  std::unique_ptr<TLambdaThread> t(TThread::Create<TLambdaThread>([&](TLambdaThread&) {
    TThread::Queue(nullptr, [&] {
      ++ran;
      onMain = IsMainThread();
    });
  }));
  ASSERT_TRUE(t->WaitFor(10000));  // finished although nobody ran the call yet
  EXPECT_TRUE(PumpUntil([&] { return ran == 1; }));
  EXPECT_TRUE(onMain);
}

TEST(ThreadTest, QueuedCallThatQueuesAnotherDoesNotLoopInOneCheck) {
  int first = 0, second = 0;
  TThread::ForceQueue(nullptr, [&] {
    ++first;
    TThread::ForceQueue(nullptr, [&] { ++second; });
  });
  CheckSynchronize();
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 0);
  CheckSynchronize();
  EXPECT_EQ(second, 1);
}

TEST(ThreadTest, WakeHookIsCalledWhenACallIsQueued) {
  std::atomic<int> wakes{0};
  auto previous = Application->SetWakeMainThreadHandler([&] { ++wakes; });
  std::unique_ptr<TLambdaThread> t(
      TThread::Create<TLambdaThread>([](TLambdaThread& self) { self.Synchronize([] {}); }));
  ASSERT_TRUE(t->WaitFor(10000));
  Application->SetWakeMainThreadHandler(previous);
  EXPECT_GE(wakes.load(), 1);
}

TEST(ThreadTest, OnTerminateRunsOnTheMainThread) {
  bool called = false, onMain = false;
  std::unique_ptr<TLambdaThread> t(TThread::Create<TLambdaThread>([](TLambdaThread&) {}, true));
  t->OnTerminate = [&](TObject*) {
    called = true;
    onMain = IsMainThread();
  };
  t->Start();
  ASSERT_TRUE(t->WaitFor(10000));
  EXPECT_TRUE(called);
  EXPECT_TRUE(onMain);
}

TEST(ThreadTest, IsMainThreadOnTheTestThread) { EXPECT_TRUE(IsMainThread()); }

// The close pattern: the main thread destroys a notifier that keeps synchronising; the
// destructor's wait runs the pending calls, so both finish.
TEST(ThreadTest, DestroyingANotifierBlockedInSynchronizeFinishes) {
  int delivered = 0;
  std::atomic<bool> first{false};
  auto* t = TThread::Create<TLambdaThread>([&](TLambdaThread& self) {
    while (!self.Terminated()) {
      self.Synchronize([&] { ++delivered; });
      first = true;
    }
    self.Synchronize([&] { ++delivered; });  // the last delivery, after Terminate
  });
  ASSERT_TRUE(PumpUntil([&] { return first.load(); }));
  delete t;
  EXPECT_GE(delivered, 2);
}

// Workers queue calls for two owners while the main thread drops one owner's calls and runs
// the rest: no call of the other owner is lost or run twice.
TEST(ThreadTest, QueueingAndRemovingFromSeveralThreadsKeepsOtherOwnersCalls) {
  constexpr int kWorkers = 3, kCalls = 500;
  const int dropped = 0, kept = 0;
  int keptRuns = 0;  // main thread only
  std::atomic<int> done{0};
  std::vector<std::unique_ptr<TLambdaThread>> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.emplace_back(TThread::Create<TLambdaThread>([&](TLambdaThread&) {
      for (int i = 0; i < kCalls; ++i) {
        TThread::ForceQueue(&dropped, [] {});
        TThread::ForceQueue(&kept, [&] { ++keptRuns; });
      }
      ++done;
    }));
  }
  while (done < kWorkers) {
    TThread::RemoveQueuedEvents(&dropped);
    CheckSynchronize(1);
  }
  for (auto& w : workers) w->WaitFor();
  ASSERT_TRUE(PumpUntil([&] { return keptRuns == kWorkers * kCalls; }));
  TThread::RemoveQueuedEvents(&dropped);
  CheckSynchronize();
  EXPECT_EQ(keptRuns, kWorkers * kCalls);
}
