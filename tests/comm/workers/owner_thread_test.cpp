// SPDX-License-Identifier: MIT
// A port owned by a thread other than the main thread, while the main thread runs no
// synchronised calls: it moves bytes, and closing and destroying it end in bounded time.
#include <comm/Commport.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "worker_support.h"

using namespace workertest;

TEST(OwnerThread, CloseOffTheMainThreadEndsWhileTheMainThreadIsBusy) {
  serial::VirtualCable Cable(UniqueName("owner-thread"));
  PortRoute Route(CablePort::ComNumber, Cable.NearPath());
  std::atomic<bool> Done{false};
  std::atomic<int> Deliveries{0};
  std::string Received;
  bool OpenAfterClose = true;

  std::thread Owner([&] {
    auto Port = std::make_unique<TCommPort>(nullptr);
    Port->SetComNumber(CablePort::ComNumber);
    Port->OnDataReceived = [&](TObject*, DWORD) { ++Deliveries; };
    Port->SetOpen(true);
    Port->PutBlock("ping", 4);
    // Bytes arrive: the read notifier now waits for the main thread, which never answers.
    Cable.Write("pong");
    char Buffer[8];
    const auto Deadline = Clock::now() + Ms(10000);
    while (Received.size() < 4 && Clock::now() < Deadline) {
      const DWORD n = Port->GetBlock(Buffer, sizeof Buffer);
      Received.append(Buffer, n);
      if (n == 0) std::this_thread::sleep_for(Ms(1));
    }
    Port->SetOpen(false);
    OpenAfterClose = Port->GetOpen();

    Port->SetOpen(true);
    Cable.Write("again");
    WaitUntil([&] { return Port->GetInBuffUsed() == 5; });
    Port.reset();
    Done = true;
  });

  // The main thread is busy elsewhere: it waits without running synchronised calls, and the
  // close and the destruction end all the same.
  const bool Ended = WaitUntil([&] { return Done.load(); }, Ms(8000));
  if (!Ended) PumpUntil([&] { return Done.load(); });  // let a hung close finish
  Owner.join();
  EXPECT_TRUE(Ended);
  EXPECT_EQ(Cable.ReadExactly(4, Ms(10000)), "ping");
  EXPECT_EQ(Received, "pong");
  EXPECT_FALSE(OpenAfterClose);
  EXPECT_FALSE(Cable.NearIsOpen());
  EXPECT_EQ(Deliveries.load(), 0);  // handlers run on the main thread only
}
