// SPDX-License-Identifier: MIT
// A small seeded pseudo-random generator (SplitMix64) whose sequence is fixed by this code alone,
// so a seed gives the same replies with every compiler and standard library.
// Single-threaded: the simulator has one thread.
#pragma once

#include <cstdint>

namespace board {

class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}

  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

  // A number from 0 to bound - 1 (bound > 0); the tiny modulo bias does not matter here.
  std::uint64_t below(std::uint64_t bound) { return next() % bound; }

  // True with the given chance in percent (0 to 100).
  bool chance(double percent) {
    return static_cast<double>(next() >> 11) * 0x1.0p-53 * 100.0 < percent;
  }

 private:
  std::uint64_t state_;
};

}  // namespace board
