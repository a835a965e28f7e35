// SPDX-License-Identifier: MIT
// Scaling of designed pixel values by a ratio of DPIs, the same in every front end.
// Threads: any (a pure function).
#pragma once

namespace widgets_detail {

// Value * M / D rounded to the nearest integer, halves away from zero (as Win32's MulDiv);
// Value itself when D is 0.
constexpr int ScaleValue(int Value, int M, int D) {
  if (D == 0) return Value;
  const long long product = static_cast<long long>(Value) * M;
  const long long half = (D < 0 ? -D : D) / 2;
  const bool negative = (product < 0) != (D < 0);
  const long long magnitude = (product < 0 ? -product : product) + half;
  const long long quotient = magnitude / (D < 0 ? -D : D);
  return static_cast<int>(negative ? -quotient : quotient);
}

static_assert(ScaleValue(-11, 144, 96) == -17 && ScaleValue(411, 3, 2) == 617);
static_assert(ScaleValue(13, 120, 96) == 16 && ScaleValue(7, 1, 3) == 2);

}  // namespace widgets_detail
