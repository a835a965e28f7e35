// SPDX-License-Identifier: MIT
// A bounded FIFO of bytes on a ring, with direct access to its contiguous runs so the driver can
// read from and write to the line without an intermediate copy.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace serial {

class ByteQueue {
 public:
  explicit ByteQueue(std::size_t capacity) : storage_(capacity) {}

  std::size_t Size() const { return count_; }
  std::size_t Capacity() const { return storage_.size(); }
  std::size_t Free() const { return storage_.size() - count_; }
  bool Empty() const { return count_ == 0; }

  // The contiguous free run starting at the tail; fill it, then Commit() what was written.
  std::uint8_t* FreeRun(std::size_t& length) {
    std::size_t tail = (head_ + count_) % storage_.size();
    length = std::min(Free(), storage_.size() - tail);
    return storage_.data() + tail;
  }
  void Commit(std::size_t n) { count_ += n; }

  // The contiguous run of held bytes at the head; send it, then Consume() what was taken.
  const std::uint8_t* DataRun(std::size_t& length) const {
    length = std::min(count_, storage_.size() - head_);
    return storage_.data() + head_;
  }
  void Consume(std::size_t n) {
    head_ = (head_ + n) % storage_.size();
    count_ -= n;
    if (count_ == 0) head_ = 0;
  }

  std::size_t Push(const std::uint8_t* data, std::size_t n) {
    std::size_t pushed = 0;
    while (pushed < n && Free() > 0) {
      std::size_t run = 0;
      std::uint8_t* to = FreeRun(run);
      run = std::min(run, n - pushed);
      std::memcpy(to, data + pushed, run);
      Commit(run);
      pushed += run;
    }
    return pushed;
  }

  std::size_t Pop(std::uint8_t* data, std::size_t n) {
    std::size_t popped = 0;
    while (popped < n && !Empty()) {
      std::size_t run = 0;
      const std::uint8_t* from = DataRun(run);
      run = std::min(run, n - popped);
      std::memcpy(data + popped, from, run);
      Consume(run);
      popped += run;
    }
    return popped;
  }

  void Clear() { head_ = count_ = 0; }

  // Changes the capacity, keeping the held bytes (never below what is held).
  void Resize(std::size_t capacity) {
    capacity = std::max(capacity, count_);
    std::vector<std::uint8_t> bigger(capacity);
    std::size_t held = Pop(bigger.data(), count_);
    storage_.swap(bigger);
    head_ = 0;
    count_ = held;
  }

 private:
  std::vector<std::uint8_t> storage_;
  std::size_t head_ = 0;
  std::size_t count_ = 0;
};

}  // namespace serial
