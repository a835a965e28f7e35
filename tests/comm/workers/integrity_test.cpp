// SPDX-License-Identifier: MIT
// Data integrity through the reader and writer: random bytes both ways at once through rings of
// awkward sizes, over the virtual cable and over a pty pair; runs crossing the end of a ring.
#include <comm/Commport.h>
#include <framework/thread.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include "worker_support.h"

using namespace workertest;

namespace {

constexpr std::uint64_t NearToFarSeed = 0x1234567;
constexpr std::uint64_t FarToNearSeed = 0x7654321;

// Result of one side's checking: bytes that matched the stream before the first mismatch.
struct Checked {
  std::atomic<std::size_t> bytes{0};
  std::atomic<bool> mismatch{false};
};

// The owner's side on the main thread: queues the near->far stream with random-length PutBlock
// calls and checks the far->near stream taken with random-length GetBlock calls.
void RunOwner(TCommPort& port, std::size_t volume, unsigned maxCall, Checked& received,
              std::size_t& sent, Ms timeout) {
  ByteStream outStream(NearToFarSeed), inStream(FarToNearSeed);
  LengthStream putLengths(11, maxCall), getLengths(12, maxCall);
  std::vector<char> pending(maxCall), got(maxCall);
  std::size_t pendingFrom = 0, pendingTo = 0;  // bytes generated but not yet queued
  const auto deadline = Clock::now() + timeout;
  while ((sent < volume || received.bytes < volume) && !received.mismatch &&
         Clock::now() < deadline) {
    bool progress = false;
    if (sent < volume) {
      if (pendingFrom == pendingTo) {
        const std::size_t n = std::min<std::size_t>(putLengths.Next(), volume - sent);
        outStream.Fill(pending.data(), n);
        pendingFrom = 0;
        pendingTo = n;
      }
      const DWORD q = port.PutBlock(pending.data() + pendingFrom, pendingTo - pendingFrom);
      pendingFrom += q;
      sent += q;
      progress |= q > 0;
    }
    const DWORD g = port.GetBlock(got.data(), getLengths.Next());
    if (g > 0) {
      const std::size_t ok = inStream.Check(got.data(), g);
      received.bytes += ok;
      received.mismatch = ok != g;
      progress = true;
    }
    CheckSynchronize(0);
    if (!progress) std::this_thread::yield();
  }
}

struct RingCase {
  DWORD inSize;
  DWORD outSize;
  std::size_t volume;
  unsigned maxCall;
};

void RunCableRound(const RingCase& c) {
  CablePort p("integrity");
  p.Port->SetIBuffSize(c.inSize);
  p.Port->SetOBuffSize(c.outSize);
  ASSERT_TRUE(p.Open());

  // The far end: one thread sends the far->near stream, one checks the near->far stream.
  std::atomic<bool> stop{false};
  Checked farReceived;
  std::thread farWriter([&] {
    ByteStream s(FarToNearSeed);
    LengthStream lengths(21, 4096);
    std::vector<char> buf(4096);
    std::size_t done = 0;
    while (done < c.volume && !stop) {
      const std::size_t n = std::min<std::size_t>(lengths.Next(), c.volume - done);
      s.Fill(buf.data(), n);
      p.Cable.Write(buf.data(), n);
      done += n;
    }
  });
  std::thread farReader([&] {
    ByteStream s(NearToFarSeed);
    std::vector<char> buf(65536);
    while (farReceived.bytes < c.volume && !farReceived.mismatch && !stop) {
      const std::size_t n = p.Cable.Read(buf.data(), buf.size(), Ms(50));
      const std::size_t ok = s.Check(buf.data(), n);
      farReceived.bytes += ok;
      farReceived.mismatch = ok != n;
    }
  });

  Checked nearReceived;
  std::size_t sent = 0;
  RunOwner(*p.Port, c.volume, c.maxCall, nearReceived, sent, Ms(240000));
  // Let the far reader finish what the writer still sends.
  WaitUntil([&] { return farReceived.bytes >= c.volume || farReceived.mismatch; }, Ms(20000));
  stop = true;
  farWriter.join();
  farReader.join();

  EXPECT_FALSE(nearReceived.mismatch) << "far->near corrupted after " << nearReceived.bytes;
  EXPECT_FALSE(farReceived.mismatch) << "near->far corrupted after " << farReceived.bytes;
  EXPECT_EQ(nearReceived.bytes, c.volume);
  EXPECT_EQ(farReceived.bytes, c.volume);
  EXPECT_EQ(sent, c.volume);
}

}  // namespace

// Rings of 7 and 13 bytes: every transfer wraps, most calls are cut short by a full or empty ring.
TEST(WorkerIntegrity, TinyRingsBothWaysOnCable) {
  RunCableRound({7, 13, (4u << 20) / VolumeDivisor, 29});
}

// 64 MiB each way at once through rings of awkward (prime) sizes.
TEST(WorkerIntegrity, SixtyFourMiBBothWaysOnCable) {
  RunCableRound({4093, 8191, (64u << 20) / VolumeDivisor, 9000});
}

// 8 MiB each way at once over a pseudo-terminal pair.
TEST(WorkerIntegrity, EightMiBBothWaysOnPty) {
  PtyPair pty;
  PortRoute route(48, pty.SlavePath());
  TCommPort port(nullptr);
  port.SetComNumber(48);
  port.SetIBuffSize(4093);
  port.SetOBuffSize(8191);
  port.SetOpen(true);
  ASSERT_TRUE(port.GetOpen());

  const std::size_t volume = (8u << 20) / VolumeDivisor;
  std::atomic<bool> stop{false};
  Checked farReceived;
  bool farWriteOk = true;
  // One master thread both sends and checks: a pty carries ~13.5 KiB per direction, so the two
  // directions must be served together or each side blocks the other.
  std::thread master([&] {
    ByteStream out(FarToNearSeed), in(NearToFarSeed);
    std::vector<char> wbuf(4096), rbuf(65536);
    std::size_t written = 0, wlen = 0, woff = 0;
    while ((written < volume || farReceived.bytes < volume) && !farReceived.mismatch && !stop) {
      if (woff == wlen && written < volume) {
        wlen = std::min<std::size_t>(wbuf.size(), volume - written);
        out.Fill(wbuf.data(), wlen);
        woff = 0;
      }
      pollfd pfd{pty.Master(), static_cast<short>(POLLIN | (woff < wlen ? POLLOUT : 0)), 0};
      poll(&pfd, 1, 50);
      if (woff < wlen && (pfd.revents & POLLOUT)) {
        const ssize_t w = write(pty.Master(), wbuf.data() + woff, wlen - woff);
        if (w > 0) {
          woff += static_cast<std::size_t>(w);
          written += static_cast<std::size_t>(w);
        } else if (w < 0 && errno != EAGAIN) {
          farWriteOk = false;
          break;
        }
      }
      if (pfd.revents & POLLIN) {
        const ssize_t r = read(pty.Master(), rbuf.data(), rbuf.size());
        if (r > 0) {
          const std::size_t ok = in.Check(rbuf.data(), static_cast<std::size_t>(r));
          farReceived.bytes += ok;
          farReceived.mismatch = ok != static_cast<std::size_t>(r);
        }
      }
    }
  });

  Checked nearReceived;
  std::size_t sent = 0;
  RunOwner(port, volume, 5000, nearReceived, sent, Ms(240000));
  WaitUntil([&] { return farReceived.bytes >= volume || farReceived.mismatch; }, Ms(20000));
  stop = true;
  master.join();
  port.SetOpen(false);

  EXPECT_TRUE(farWriteOk);
  EXPECT_FALSE(nearReceived.mismatch) << "master->port corrupted after " << nearReceived.bytes;
  EXPECT_FALSE(farReceived.mismatch) << "port->master corrupted after " << farReceived.bytes;
  EXPECT_EQ(nearReceived.bytes, volume);
  EXPECT_EQ(farReceived.bytes, volume);
}

namespace {

std::vector<DWORD> LoggedSizes(const serial::VirtualCable& cable, const std::string& call) {
  std::vector<DWORD> sizes;
  for (const auto& r : cable.CallLog())
    if (r.Call == call && r.Args.rfind("n=", 0) == 0)
      sizes.push_back(static_cast<DWORD>(std::stoul(r.Args.substr(2))));
  return sizes;
}

}  // namespace

// Received data crossing the end of the receive ring is stored by two reads, the first up to the
// end of the storage; GetBlock returns the bytes in order.
TEST(WorkerIntegrity, ReceivedDataCrossingRingEndTakesTwoReads) {
  CablePort p("wrapread");
  p.Port->SetIBuffSize(8);
  ASSERT_TRUE(p.Open());
  char buf[16] = {};
  p.Cable.Write("abcde", 5);
  ASSERT_TRUE(PumpUntil([&] { return p.Port->GetInBuffUsed() == 5; }));
  ASSERT_EQ(p.Port->GetBlock(buf, 5), 5u);  // head now at 5
  p.Cable.ClearCallLog();

  p.Cable.Write("FGHIJK", 6);
  ASSERT_TRUE(PumpUntil([&] { return p.Port->GetInBuffUsed() == 6; }));
  const auto reads = LoggedSizes(p.Cable, "ReadFile");
  ASSERT_GE(reads.size(), 2u);
  // No read runs past the end of the storage: the reads before the wrap add up to exactly 3.
  DWORD total = 0;
  std::size_t i = 0;
  while (i < reads.size() && total < 3) total += reads[i++];
  EXPECT_EQ(total, 3u);
  EXPECT_LT(i, reads.size()) << "nothing was read from index 0";
  DWORD rest = 0;
  for (; i < reads.size(); ++i) rest += reads[i];
  EXPECT_EQ(rest, 3u);
  ASSERT_EQ(p.Port->GetBlock(buf, 16), 6u);
  EXPECT_EQ(std::string(buf, 6), "FGHIJK");
}

// Bytes queued across the end of the transmit ring are sent by two writes, in order.
TEST(WorkerIntegrity, QueuedDataCrossingRingEndTakesTwoWrites) {
  CablePort p("wrapwrite");
  p.Port->SetOBuffSize(8);
  ASSERT_TRUE(p.Open());
  ASSERT_EQ(p.Port->PutBlock("abcde", 5), 5u);
  EXPECT_EQ(p.Cable.ReadExactly(5, Ms(10000)), "abcde");
  ASSERT_TRUE(PumpUntil([&] { return p.Port->GetOutBuffUsed() == 0; }));
  p.Cable.ClearCallLog();

  ASSERT_EQ(p.Port->PutBlock("FGHIJK", 6), 6u);  // indices 5, 6, 7, 0, 1, 2
  EXPECT_EQ(p.Cable.ReadExactly(6, Ms(10000)), "FGHIJK");
  ASSERT_TRUE(PumpUntil([&] { return p.Port->GetOutBuffUsed() == 0; }));
  EXPECT_EQ(LoggedSizes(p.Cable, "WriteFile"), (std::vector<DWORD>{3, 3}));
}
