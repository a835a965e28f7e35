// SPDX-License-Identifier: MIT
// One end of an in-process null-modem cable, as a Line, and the cable's shared state.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "line.h"
#include "serial/virtual_cable.h"

namespace serial {

// The shared state of one cable. Ends are numbered 0 (A) and 1 (B). Every member is guarded by
// `mutex`; each end's eventfd is written whenever something that end's driver should look at
// changed (bytes arrived, room appeared, a modem input changed, a break or error arrived).
class Cable {
 public:
  static constexpr int kA = 0;
  static constexpr int kB = 1;
  // Bytes one direction holds before the sending end's writes are refused.
  static constexpr std::size_t kBufferLimit = 64 * 1024;
  // Entries of an end's call log kept; the older half is dropped when it is full.
  static constexpr std::size_t kLogLimit = 100000;

  struct Failure {
    DWORD error = 0;
    int remaining = 0;  // < 0: until cleared
  };
  struct End {
    int notifyFd = -1;
    bool held = false;
    bool dtr = false;  // outputs this end drives
    bool rts = false;
    bool brk = false;
    bool ring = false;  // this end's ring-indicator input (driven by the test handle)
    DCB state{};
    LineEvents events;  // breaks and errors received, not yet taken
    std::vector<CallRecord> log;
    std::map<std::string, Failure> failures;
  };

  explicit Cable(std::string name);
  ~Cable();
  Cable(const Cable&) = delete;
  Cable& operator=(const Cable&) = delete;

  // The cable called `name`, created if no one refers to it yet.
  static std::shared_ptr<Cable> Acquire(const std::string& name);

  static int Peer(int end) { return 1 - end; }
  // Sets the outputs an end drives and records the change of the peer's inputs (mutex held).
  void SetOutputs(int end, bool dtr, bool rts);
  void Notify(int end);  // mutex held
  void Changed(int end) {
    Notify(end);
    changed.notify_all();
  }

  const std::string name;
  std::mutex mutex;
  std::condition_variable changed;  // bytes moved toward the far end (the test handle waits)
  End ends[2];
  std::deque<std::uint8_t> toward[2];  // toward[e]: bytes on their way to end e
  bool hungUp = false;                 // the far side of end A has gone away
  bool receiving = true;               // end B takes bytes
};

class VirtualLine : public Line {
 public:
  VirtualLine(std::shared_ptr<Cable> cable, int end);
  ~VirtualLine() override;

  int PollFd() const override;
  bool IsNotification() const override { return true; }
  void DrainNotify() override;

  LineIo Read(void* data, std::size_t n) override;
  LineIo Write(const void* data, std::size_t n) override;
  std::size_t OutputPending() override;
  DWORD ApplyState(const DCB& dcb) override;
  DWORD Escape(DWORD func) override;
  DWORD ModemStatus(DWORD& status) override;
  LineEvents TakeLineEvents() override;
  void DiscardInput() override;
  void DiscardOutput() override;
  DWORD InjectedFailure(const char* call) override;
  bool KeepsLog() const override { return true; }
  void LogCall(const char* call, const std::string& args) override;

 private:
  bool HungUp() const { return end_ == Cable::kA && cable_->hungUp; }

  std::shared_ptr<Cable> cable_;
  const int end_;
  const int peer_;
};

}  // namespace serial
