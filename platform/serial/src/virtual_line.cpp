// SPDX-License-Identifier: MIT
#include "virtual_line.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "line_settings.h"

namespace serial {

// ---- The cable ----------------------------------------------------------------------------------

Cable::Cable(std::string cableName) : name(std::move(cableName)) {
  for (auto& end : ends) end.notifyFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

Cable::~Cable() {
  for (auto& end : ends)
    if (end.notifyFd >= 0) ::close(end.notifyFd);
}

std::shared_ptr<Cable> Cable::Acquire(const std::string& name) {
  static std::mutex registryMutex;
  static auto* registry = new std::map<std::string, std::weak_ptr<Cable>>;  // outlives users
  std::lock_guard lock(registryMutex);
  std::erase_if(*registry, [](const auto& entry) { return entry.second.expired(); });
  auto& slot = (*registry)[name];
  auto cable = slot.lock();
  if (!cable) {
    cable = std::make_shared<Cable>(name);
    slot = cable;
  }
  return cable;
}

void Cable::SetOutputs(int end, bool dtr, bool rts) {
  End& self = ends[end];
  LineEvents& peerEvents = ends[Peer(end)].events;
  if (self.rts != rts) peerEvents.modemChanges |= MS_CTS_ON;
  if (self.dtr != dtr) peerEvents.modemChanges |= MS_DSR_ON | MS_RLSD_ON;
  self.dtr = dtr;
  self.rts = rts;
}

void Cable::Notify(int end) {
  std::uint64_t one = 1;
  ssize_t written = ::write(ends[end].notifyFd, &one, sizeof one);
  (void)written;  // a saturated counter still reads as "changed"
}

// ---- Opening an end -----------------------------------------------------------------------------

std::unique_ptr<Line> OpenVirtualLine(const std::string& path, DWORD& error) {
  std::string name = path.rfind("virtual:", 0) == 0 ? path.substr(8) : path;
  int end = Cable::kA;
  if (name.size() >= 2 && name[name.size() - 2] == '/') {
    char which = name.back();
    if (which == 'A' || which == 'B') {
      end = which == 'A' ? Cable::kA : Cable::kB;
      name.resize(name.size() - 2);
    }
  }
  if (name.empty()) {
    error = ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  auto cable = Cable::Acquire(name);
  if (cable->ends[Cable::kA].notifyFd < 0 || cable->ends[Cable::kB].notifyFd < 0) {
    error = ERROR_TOO_MANY_OPEN_FILES;
    return nullptr;
  }
  {
    std::lock_guard lock(cable->mutex);
    Cable::End& self = cable->ends[end];
    if (self.held) {
      error = ERROR_SHARING_VIOLATION;
      return nullptr;
    }
    self.held = true;
    self.events = LineEvents{};
  }
  error = 0;
  return std::make_unique<VirtualLine>(std::move(cable), end);
}

VirtualLine::VirtualLine(std::shared_ptr<Cable> cable, int end)
    : cable_(std::move(cable)), end_(end), peer_(Cable::Peer(end)) {}

VirtualLine::~VirtualLine() {
  // Closing a port drops its outputs; the peer sees its modem inputs change.
  std::lock_guard lock(cable_->mutex);
  Cable::End& self = cable_->ends[end_];
  self.held = false;
  self.brk = false;
  cable_->SetOutputs(end_, false, false);
  cable_->Changed(peer_);
}

int VirtualLine::PollFd() const { return cable_->ends[end_].notifyFd; }

void VirtualLine::DrainNotify() {
  std::uint64_t counter = 0;
  ssize_t got = ::read(cable_->ends[end_].notifyFd, &counter, sizeof counter);
  (void)got;
}

// ---- Bytes --------------------------------------------------------------------------------------

LineIo VirtualLine::Read(void* data, std::size_t n) {
  std::lock_guard lock(cable_->mutex);
  if (HungUp()) return {0, ERROR_DEVICE_NOT_CONNECTED};
  auto& in = cable_->toward[end_];
  std::size_t count = std::min(n, in.size());
  if (count == 0) return {};
  std::copy_n(in.begin(), count, static_cast<std::uint8_t*>(data));
  in.erase(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(count));
  cable_->Changed(peer_);  // room for the peer, and maybe its transmitter is now empty
  return {count, 0};
}

LineIo VirtualLine::Write(const void* data, std::size_t n) {
  std::lock_guard lock(cable_->mutex);
  if (HungUp()) return {0, ERROR_DEVICE_NOT_CONNECTED};
  const Cable::End& self = cable_->ends[end_];
  const Cable::End& peer = cable_->ends[peer_];
  // Output flow control: hold while the peer does not signal readiness.
  if (self.state.fOutxCtsFlow && !peer.rts) return {};
  if (self.state.fOutxDsrFlow && !peer.dtr) return {};
  if (peer_ == Cable::kB && !cable_->receiving) return {};
  auto& out = cable_->toward[peer_];
  std::size_t room = Cable::kBufferLimit - std::min(Cable::kBufferLimit, out.size());
  std::size_t count = std::min(n, room);
  if (count == 0) return {};
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  out.insert(out.end(), bytes, bytes + count);
  cable_->Changed(peer_);
  return {count, 0};
}

std::size_t VirtualLine::OutputPending() {
  std::lock_guard lock(cable_->mutex);
  return cable_->toward[peer_].size();
}

void VirtualLine::DiscardInput() {
  std::lock_guard lock(cable_->mutex);
  cable_->toward[end_].clear();
  cable_->Changed(peer_);
}

void VirtualLine::DiscardOutput() {
  std::lock_guard lock(cable_->mutex);
  cable_->toward[peer_].clear();
  cable_->changed.notify_all();
}

// ---- Line settings and modem lines --------------------------------------------------------------

DWORD VirtualLine::ApplyState(const DCB& dcb) {
  if (DWORD error = CheckLineSettings(dcb)) return error;
  std::lock_guard lock(cable_->mutex);
  Cable::End& self = cable_->ends[end_];
  self.state = dcb;
  cable_->SetOutputs(end_, dcb.fDtrControl != DTR_CONTROL_DISABLE,
                     dcb.fRtsControl != RTS_CONTROL_DISABLE);
  cable_->Changed(peer_);
  cable_->Notify(end_);  // flow-control changes may release held output
  return 0;
}

DWORD VirtualLine::Escape(DWORD func) {
  std::lock_guard lock(cable_->mutex);
  Cable::End& self = cable_->ends[end_];
  switch (func) {
    case SETRTS:
      cable_->SetOutputs(end_, self.dtr, true);
      break;
    case CLRRTS:
      cable_->SetOutputs(end_, self.dtr, false);
      break;
    case SETDTR:
      cable_->SetOutputs(end_, true, self.rts);
      break;
    case CLRDTR:
      cable_->SetOutputs(end_, false, self.rts);
      break;
    case SETBREAK:
      if (!self.brk) {
        LineEvents& peerEvents = cable_->ends[peer_].events;
        peerEvents.breakSeen = true;
        peerEvents.ceErrors |= CE_BREAK;
      }
      self.brk = true;
      break;
    case CLRBREAK:
      self.brk = false;
      break;
    default:
      return ERROR_INVALID_PARAMETER;
  }
  cable_->Changed(peer_);
  return 0;
}

DWORD VirtualLine::ModemStatus(DWORD& status) {
  std::lock_guard lock(cable_->mutex);
  const Cable::End& self = cable_->ends[end_];
  const Cable::End& peer = cable_->ends[peer_];
  status = (peer.rts ? MS_CTS_ON : 0) | (peer.dtr ? MS_DSR_ON | MS_RLSD_ON : 0) |
           (self.ring ? MS_RING_ON : 0);
  return 0;
}

LineEvents VirtualLine::TakeLineEvents() {
  std::lock_guard lock(cable_->mutex);
  return std::exchange(cable_->ends[end_].events, LineEvents{});
}

// ---- Test hooks ---------------------------------------------------------------------------------

DWORD VirtualLine::InjectedFailure(const char* call) {
  std::lock_guard lock(cable_->mutex);
  auto& failures = cable_->ends[end_].failures;
  auto it = failures.find(call);
  if (it == failures.end()) return 0;
  DWORD error = it->second.error;
  if (it->second.remaining > 0 && --it->second.remaining == 0) failures.erase(it);
  return error;
}

void VirtualLine::LogCall(const char* call, const std::string& args) {
  std::lock_guard lock(cable_->mutex);
  auto& log = cable_->ends[end_].log;
  // Bounded, so a long-running program on a cable does not grow without end.
  if (log.size() >= Cable::kLogLimit) log.erase(log.begin(), log.begin() + Cable::kLogLimit / 2);
  log.push_back({call, args});
}

// ---- The test handle ----------------------------------------------------------------------------

VirtualCable::VirtualCable(const std::string& name) : cable_(Cable::Acquire(name)) {}
VirtualCable::~VirtualCable() = default;

const std::string& VirtualCable::Name() const { return cable_->name; }
std::string VirtualCable::NearPath() const { return "virtual:" + cable_->name; }
std::string VirtualCable::FarPath() const { return "virtual:" + cable_->name + "/B"; }

void VirtualCable::Write(const void* data, std::size_t n) {
  if (n == 0 || data == nullptr) return;
  std::lock_guard lock(cable_->mutex);
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  // The test's own writes are never refused: they wait in the cable until A reads them.
  cable_->toward[Cable::kA].insert(cable_->toward[Cable::kA].end(), bytes, bytes + n);
  cable_->Changed(Cable::kA);
}

void VirtualCable::Write(const std::string& bytes) { Write(bytes.data(), bytes.size()); }

std::size_t VirtualCable::Read(void* data, std::size_t n, std::chrono::milliseconds timeout) {
  if (n == 0 || data == nullptr) return 0;
  std::unique_lock lock(cable_->mutex);
  auto& in = cable_->toward[Cable::kB];
  cable_->changed.wait_for(lock, timeout, [&] { return !in.empty(); });
  std::size_t count = std::min(n, in.size());
  if (count == 0) return 0;
  std::copy_n(in.begin(), count, static_cast<std::uint8_t*>(data));
  in.erase(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(count));
  cable_->Changed(Cable::kA);  // A's transmitter drains
  return count;
}

std::string VirtualCable::ReadExactly(std::size_t n, std::chrono::milliseconds timeout) {
  std::string got(n, '\0');
  std::size_t have = 0;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (have < n) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() < 0) break;
    std::size_t count = Read(got.data() + have, n - have, left);
    if (count == 0 && std::chrono::steady_clock::now() >= deadline) break;
    have += count;
  }
  got.resize(have);
  return got;
}

std::size_t VirtualCable::PendingFromNear() const {
  std::lock_guard lock(cable_->mutex);
  return cable_->toward[Cable::kB].size();
}

void VirtualCable::SetRTS(bool on) {
  std::lock_guard lock(cable_->mutex);
  cable_->SetOutputs(Cable::kB, cable_->ends[Cable::kB].dtr, on);
  cable_->Changed(Cable::kA);
}

void VirtualCable::SetDTR(bool on) {
  std::lock_guard lock(cable_->mutex);
  cable_->SetOutputs(Cable::kB, on, cable_->ends[Cable::kB].rts);
  cable_->Changed(Cable::kA);
}

void VirtualCable::SetRing(bool on) {
  std::lock_guard lock(cable_->mutex);
  Cable::End& near = cable_->ends[Cable::kA];
  if (near.ring != on) near.events.modemChanges |= MS_RING_ON;
  near.ring = on;
  cable_->Changed(Cable::kA);
}

void VirtualCable::SendBreak() {
  std::lock_guard lock(cable_->mutex);
  LineEvents& events = cable_->ends[Cable::kA].events;
  events.breakSeen = true;
  events.ceErrors |= CE_BREAK;
  cable_->Changed(Cable::kA);
}

void VirtualCable::InjectError(DWORD ceFlags) {
  std::lock_guard lock(cable_->mutex);
  LineEvents& events = cable_->ends[Cable::kA].events;
  events.errorSeen = true;
  events.ceErrors |= ceFlags;
  cable_->Changed(Cable::kA);
}

void VirtualCable::HangUp() {
  std::lock_guard lock(cable_->mutex);
  cable_->hungUp = true;
  cable_->Changed(Cable::kA);
}

void VirtualCable::Reconnect() {
  std::lock_guard lock(cable_->mutex);
  cable_->hungUp = false;
  cable_->Changed(Cable::kA);
}

void VirtualCable::SetReceiving(bool on) {
  std::lock_guard lock(cable_->mutex);
  cable_->receiving = on;
  cable_->Changed(Cable::kA);
}

namespace {

// One member of the near end (A), read under the cable's lock.
template <class Member>
Member ReadNear(Cable& cable, Member Cable::End::*member) {
  std::lock_guard lock(cable.mutex);
  return cable.ends[Cable::kA].*member;
}

}  // namespace

bool VirtualCable::NearDTR() const { return ReadNear(*cable_, &Cable::End::dtr); }
bool VirtualCable::NearRTS() const { return ReadNear(*cable_, &Cable::End::rts); }
bool VirtualCable::NearBreak() const { return ReadNear(*cable_, &Cable::End::brk); }
bool VirtualCable::NearIsOpen() const { return ReadNear(*cable_, &Cable::End::held); }
DCB VirtualCable::NearState() const { return ReadNear(*cable_, &Cable::End::state); }

void VirtualCable::FailNext(const std::string& call, DWORD error, int times) {
  std::lock_guard lock(cable_->mutex);
  auto& failures = cable_->ends[Cable::kA].failures;
  if (times == 0)
    failures.erase(call);
  else
    failures[call] = Cable::Failure{error, times};
}

void VirtualCable::FailNone() {
  std::lock_guard lock(cable_->mutex);
  cable_->ends[Cable::kA].failures.clear();
}

std::vector<CallRecord> VirtualCable::CallLog() const {
  std::lock_guard lock(cable_->mutex);
  return cable_->ends[Cable::kA].log;
}

void VirtualCable::ClearCallLog() {
  std::lock_guard lock(cable_->mutex);
  cable_->ends[Cable::kA].log.clear();
}

}  // namespace serial
