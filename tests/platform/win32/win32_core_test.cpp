// SPDX-License-Identifier: MIT
// Handles, events, waiting, last error and critical sections.
#include <gtest/gtest.h>
#include <win32/win32.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "serial_test_support.h"

namespace {

using namespace std::chrono_literals;

using serial_test::WaitUntil;

TEST(LastError, IsPerThread) {
  SetLastError(1234);
  DWORD seenInOther = 0;
  std::thread other([&] {
    seenInOther = GetLastError();
    SetLastError(ERROR_INVALID_HANDLE);
  });
  other.join();
  EXPECT_EQ(seenInOther, ERROR_SUCCESS);
  EXPECT_EQ(GetLastError(), 1234u);
}

TEST(Events, InitialStateAndManualReset) {
  HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  ASSERT_NE(event, nullptr);
  ASSERT_NE(event, INVALID_HANDLE_VALUE);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0) << "manual reset stays signalled";
  EXPECT_TRUE(ResetEvent(event));
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(SetEvent(event));
  EXPECT_EQ(WaitForSingleObject(event, 10), WAIT_OBJECT_0);
  EXPECT_TRUE(CloseHandle(event));
}

TEST(Events, AutoResetIsConsumedByOneWait) {
  HANDLE event = CreateEventA(nullptr, FALSE, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  SetEvent(event);
  SetEvent(event);  // setting twice still releases one wait only
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  CloseHandle(event);
}

TEST(Events, FiniteTimeoutWaitsAtLeastThatLong) {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitForSingleObject(event, 50), WAIT_TIMEOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
  CloseHandle(event);
}

TEST(Events, InfiniteWaitIsReleasedBySetFromAnotherThread) {
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  std::atomic<DWORD> result{WAIT_FAILED};
  std::atomic<bool> done{false};
  std::thread waiter([&] {
    result = WaitForSingleObject(event, INFINITE);
    done = true;
  });
  SetEvent(event);
  ASSERT_TRUE(WaitUntil([&] { return done.load(); }));
  waiter.join();
  EXPECT_EQ(result.load(), WAIT_OBJECT_0);
  CloseHandle(event);
}

TEST(Events, AutoResetReleasesExactlyOneOfSeveralWaiters) {
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i)
    waiters.emplace_back([&] {
      if (WaitForSingleObject(event, 2000) == WAIT_OBJECT_0) ++released;
    });
  // Let the waiters block, then release one at a time.
  SetEvent(event);
  ASSERT_TRUE(WaitUntil([&] { return released.load() == 1; }));
  SetEvent(event);
  ASSERT_TRUE(WaitUntil([&] { return released.load() == 2; }));
  for (auto& t : waiters) t.join();
  EXPECT_EQ(released.load(), 2) << "the third waiter must time out";
  CloseHandle(event);
}

TEST(Events, ManualResetReleasesAllWaiters) {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i)
    waiters.emplace_back([&] {
      if (WaitForSingleObject(event, INFINITE) == WAIT_OBJECT_0) ++released;
    });
  SetEvent(event);
  for (auto& t : waiters) t.join();
  EXPECT_EQ(released.load(), 3);
  CloseHandle(event);
}

TEST(Handles, InvalidAndClosedHandlesFailCleanly) {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(CloseHandle(event));
  for (HANDLE bad : {event, static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE,
                     reinterpret_cast<HANDLE>(0x12345)}) {
    SetLastError(0);
    EXPECT_FALSE(SetEvent(bad));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(0);
    EXPECT_FALSE(ResetEvent(bad));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(0);
    EXPECT_EQ(WaitForSingleObject(bad, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(bad));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  }
}

TEST(Handles, ValuesAreNeverReused) {
  HANDLE first = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  CloseHandle(first);
  for (int i = 0; i < 100; ++i) {
    HANDLE next = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_NE(next, first);
    CloseHandle(next);
  }
  EXPECT_FALSE(SetEvent(first));
}

TEST(Handles, CloseWhileOtherThreadsUseTheHandle) {
  for (int round = 0; round < 20; ++round) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::atomic<bool> stop{false};
    std::vector<std::thread> users;
    for (int i = 0; i < 2; ++i)
      users.emplace_back([&] {
        while (!stop) {
          SetEvent(event);
          WaitForSingleObject(event, 0);
          ResetEvent(event);
        }
      });
    std::this_thread::yield();
    EXPECT_TRUE(CloseHandle(event));
    stop = true;
    for (auto& t : users) t.join();
    EXPECT_FALSE(SetEvent(event));
  }
}

TEST(CriticalSections, AreRecursiveAndExclusive) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  EnterCriticalSection(&section);
  EnterCriticalSection(&section);  // recursive for the owner
  std::atomic<bool> otherEntered{false};
  std::thread other([&] {
    EnterCriticalSection(&section);
    otherEntered = true;
    LeaveCriticalSection(&section);
  });
  LeaveCriticalSection(&section);
  std::this_thread::sleep_for(20ms);  // gives the other thread a chance to break exclusion
  EXPECT_FALSE(otherEntered.load()) << "still held once by this thread";
  LeaveCriticalSection(&section);
  other.join();
  EXPECT_TRUE(otherEntered.load());
  DeleteCriticalSection(&section);
}

TEST(CriticalSections, ProtectSharedCounter) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  long counter = 0;
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i)
    threads.emplace_back([&] {
      for (int j = 0; j < 10000; ++j) {
        EnterCriticalSection(&section);
        ++counter;
        LeaveCriticalSection(&section);
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 40000);
  DeleteCriticalSection(&section);
}

TEST(SleepCall, SleepsAtLeastTheGivenTime) {
  auto start = std::chrono::steady_clock::now();
  Sleep(20);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 20ms);
  Sleep(0);
}

}  // namespace
