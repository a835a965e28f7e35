// SPDX-License-Identifier: MIT
// Helpers for the serial-driver tests: an OVERLAPPED with its own event, line settings, opening a
// device, and the two backends of the conformance suite (a virtual cable and a pseudo-terminal
// pair). The shared helpers (waiting, the pty pair, unique names) come from tests/support.
#pragma once

#include <win32/win32.h>

#include <chrono>
#include <memory>
#include <string>

#include "environment.h"
#include "pty_pair.h"
#include "serial/virtual_cable.h"
#include "wait.h"

namespace serial_test {

using namespace std::chrono_literals;
using testsupport::UniqueName;
using testsupport::WaitUntil;

// An OVERLAPPED record with a manual-reset event, as the component's workers use.
struct Overlapped {
  OVERLAPPED ov{};
  Overlapped() { ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr); }
  ~Overlapped() { CloseHandle(ov.hEvent); }
  Overlapped(const Overlapped&) = delete;
  Overlapped& operator=(const Overlapped&) = delete;
  OVERLAPPED* P() { return &ov; }
  bool Signalled(DWORD ms = 0) { return WaitForSingleObject(ov.hEvent, ms) == WAIT_OBJECT_0; }
};

// Line settings with XON 17 and XOFF 19 and every flag 0 but fBinary.
inline DCB MakeDcb(DWORD baud = CBR_9600, BYTE byteSize = 8, BYTE parity = NOPARITY,
                   BYTE stopBits = ONESTOPBIT) {
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = baud;
  dcb.fBinary = 1;
  dcb.ByteSize = byteSize;
  dcb.Parity = parity;
  dcb.StopBits = stopBits;
  dcb.XonChar = 17;
  dcb.XoffChar = 19;
  return dcb;
}

inline HANDLE OpenDevice(const std::string& path, DWORD flags = FILE_FLAG_OVERLAPPED) {
  return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                     flags | FILE_ATTRIBUTE_NORMAL, nullptr);
}

// A transfer on an overlapped handle that waits for its end; `bytes` is what it moved.
inline BOOL FinishTransfer(HANDLE h, BOOL started, Overlapped& o, DWORD* bytes) {
  if (started) return TRUE;
  return GetLastError() == ERROR_IO_PENDING && GetOverlappedResult(h, o.P(), bytes, TRUE);
}
inline BOOL WriteAndWait(HANDLE h, const void* data, DWORD n, DWORD* written) {
  Overlapped o;
  return FinishTransfer(h, WriteFile(h, data, n, written, o.P()), o, written);
}
inline BOOL ReadAndWait(HANDLE h, void* data, DWORD n, DWORD* got) {
  Overlapped o;
  return FinishTransfer(h, ReadFile(h, data, n, got, o.P()), o, got);
}

inline DWORD InQueue(HANDLE h) {
  COMSTAT stat{};
  DWORD errors = 0;
  return ClearCommError(h, &errors, &stat) ? stat.cbInQue : 0xFFFFFFFF;
}

// The far side of the device under test.
class Peer {
 public:
  virtual ~Peer() = default;
  virtual std::string Path() const = 0;
  virtual void Write(const std::string& bytes) = 0;
  virtual std::string ReadExactly(std::size_t n, std::chrono::milliseconds timeout) = 0;
  virtual void HangUp() = 0;
  virtual void StopReceiving() {}
  virtual bool HasModemLines() const = 0;
};

class VirtualPeer : public Peer {
 public:
  VirtualPeer() : cable_(UniqueName("conformance")) {}
  std::string Path() const override { return cable_.NearPath(); }
  void Write(const std::string& bytes) override { cable_.Write(bytes); }
  std::string ReadExactly(std::size_t n, std::chrono::milliseconds timeout) override {
    return cable_.ReadExactly(n, timeout);
  }
  void HangUp() override { cable_.HangUp(); }
  void StopReceiving() override { cable_.SetReceiving(false); }
  bool HasModemLines() const override { return true; }
  serial::VirtualCable& Cable() { return cable_; }

 private:
  serial::VirtualCable cable_;
};

// A pseudo-terminal pair: the device under test opens the slave, the test plays the master.
class PtyPeer : public Peer {
 public:
  std::string Path() const override { return pty_.SlavePath(); }
  void Write(const std::string& bytes) override { pty_.Write(bytes); }
  std::string ReadExactly(std::size_t n, std::chrono::milliseconds timeout) override {
    return pty_.ReadExactly(n, timeout);
  }
  void HangUp() override { pty_.HangUp(); }
  bool HasModemLines() const override { return false; }

 private:
  testsupport::PtyPair pty_;
};

}  // namespace serial_test
