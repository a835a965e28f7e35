// SPDX-License-Identifier: MIT
// Helpers for the worker tests: a port on a fresh virtual cable, and reproducible byte streams.
// Waiting, pumping and the pty pair are the shared helpers (comm_test_support.h).
#pragma once

#include <comm/Commport.h>
#include <serial/virtual_cable.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "comm_test_support.h"

namespace workertest {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

using commtest::PtyPair;
using commtest::PumpUntil;
using commtest::UniqueName;
// WaitUntil runs no synchronised calls: for tests that keep deliveries back on purpose.
using commtest::WaitUntil;
// Points COM<n> at a device path for as long as the object lives.
using PortRoute = commtest::ScopedPortEnv;

double MillisSince(Clock::time_point start);

// A TCommPort whose device is end A of a fresh virtual cable; the test plays end B. The port is
// configured but not opened. Destruction clears the handlers before it closes the port.
struct CablePort {
  static constexpr int ComNumber = 47;
  explicit CablePort(const std::string& prefix = "w");
  ~CablePort();
  bool Open();  // true when the port opened

  serial::VirtualCable Cable;
  PortRoute Route;
  std::unique_ptr<TCommPort> Port;
};

// A reproducible pseudo-random byte stream (xorshift), so producer and checker need not share
// memory: two streams with the same seed yield the same bytes.
class ByteStream {
 public:
  explicit ByteStream(std::uint64_t seed) : state_(seed ? seed : 0x9E3779B97F4A7C15ull) {}
  std::uint8_t Next() {
    if (left_ == 0) {
      state_ ^= state_ << 13;
      state_ ^= state_ >> 7;
      state_ ^= state_ << 17;
      word_ = state_;
      left_ = 8;
    }
    --left_;
    const auto b = static_cast<std::uint8_t>(word_);
    word_ >>= 8;
    return b;
  }
  void Fill(void* data, std::size_t n) {
    auto* p = static_cast<std::uint8_t*>(data);
    for (std::size_t i = 0; i < n; ++i) p[i] = Next();
  }
  // Compares n bytes with the stream; returns the index of the first mismatch or n.
  std::size_t Check(const void* data, std::size_t n) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < n; ++i)
      if (p[i] != Next()) return i;
    return n;
  }

 private:
  std::uint64_t state_;
  std::uint64_t word_ = 0;
  int left_ = 0;
};

// Lengths for random-size transfers: 1..max, reproducible.
class LengthStream {
 public:
  LengthStream(std::uint64_t seed, unsigned max) : bytes_(seed), max_(max) {}
  unsigned Next() {
    const unsigned v = bytes_.Next() | (static_cast<unsigned>(bytes_.Next()) << 8);
    return 1 + v % max_;
  }

 private:
  ByteStream bytes_;
  unsigned max_;
};

// Scale for big volumes: sanitizer builds run a fraction of the normal volume.
#if defined(ZELVANE_TSAN)
constexpr unsigned VolumeDivisor = 32;
#elif defined(ZELVANE_ASAN)
constexpr unsigned VolumeDivisor = 8;
#else
constexpr unsigned VolumeDivisor = 1;
#endif

}  // namespace workertest
