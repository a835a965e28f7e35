// SPDX-License-Identifier: MIT
#include <framework/application.h>
#include <framework/thread.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <memory>

namespace {

// One call handed to the main thread. A synchronous call's caller waits on its own condition,
// so a finished call wakes its caller only, never the other workers blocked in Synchronize.
struct QueuedCall {
  const void* owner = nullptr;
  std::function<void()> call;
  bool synchronous = false;
  bool done = false;  // guarded by SyncState::lock
  std::condition_variable doneWake;
};

// The queue of calls for the main thread and the signals around it. Lives until the process
// ends, so workers still running at exit never touch a destroyed mutex.
struct SyncState {
  std::mutex lock;
  std::condition_variable mainWake;  // a call was queued, or a thread finished
  std::deque<std::shared_ptr<QueuedCall>> queue;
  std::mutex hookLock;
  std::function<void()> wakeHook;
};

SyncState& Sync() {
  static SyncState* state = new SyncState;
  return *state;
}

// The thread that loaded the library.
const std::thread::id gMainThreadId = std::this_thread::get_id();
// The TThread whose Execute runs on this thread (null elsewhere).
thread_local const TThread* tCurrentThread = nullptr;
// Make sure the state exists before any worker can race to create it.
[[maybe_unused]] const SyncState& gSyncInit = Sync();

void WakeMainThread() {
  SyncState& s = Sync();
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> guard(s.hookLock);
    hook = s.wakeHook;
  }
  if (hook) hook();
}

void Enqueue(const std::shared_ptr<QueuedCall>& entry) {
  SyncState& s = Sync();
  {
    std::lock_guard<std::mutex> guard(s.lock);
    s.queue.push_back(entry);
  }
  s.mainWake.notify_all();
  WakeMainThread();
}

// Runs a call on the main thread; what it throws goes to the standard error report.
void RunReported(const std::function<void()>& call) {
  try {
    call();
  } catch (...) {
    try {
      if (Application != nullptr) Application->HandleException(nullptr);
    } catch (...) {
      // A failing error report must not take the main thread down.
    }
  }
}

// Marks a synchronous call done and wakes its caller, which may return and drop its share of the
// entry as soon as the lock is released: whoever finishes the call holds a share of its own.
void FinishSynchronous(QueuedCall& entry) {
  {
    std::lock_guard<std::mutex> guard(Sync().lock);
    entry.done = true;
  }
  entry.doneWake.notify_one();
}

}  // namespace

bool IsMainThread() { return std::this_thread::get_id() == gMainThreadId; }

std::function<void()> SetWakeMainThread(std::function<void()> Hook) {
  SyncState& s = Sync();
  std::lock_guard<std::mutex> guard(s.hookLock);
  std::swap(s.wakeHook, Hook);
  return Hook;
}

bool CheckSynchronize(unsigned TimeoutMs) {
  if (!IsMainThread()) return false;
  SyncState& s = Sync();
  std::size_t pending;
  {
    std::unique_lock<std::mutex> guard(s.lock);
    if (s.queue.empty() && TimeoutMs > 0)
      s.mainWake.wait_for(guard, std::chrono::milliseconds(TimeoutMs),
                          [&] { return !s.queue.empty(); });
    pending = s.queue.size();
  }
  bool ran = false;
  // Only the calls queued so far: a call that queues another does not keep us here forever.
  for (; pending > 0; --pending) {
    std::shared_ptr<QueuedCall> entry;
    {
      std::lock_guard<std::mutex> guard(s.lock);
      if (s.queue.empty()) break;
      entry = std::move(s.queue.front());
      s.queue.pop_front();
    }
    RunReported(entry->call);
    ran = true;
    if (entry->synchronous) FinishSynchronous(*entry);
  }
  return ran;
}

// ---- TThread --------------------------------------------------------------------------------

TThread::TThread(bool CreateSuspended) : FCreateSuspended(CreateSuspended) {}

// Joining throws only for a thread that is not joinable, which returns above; should it throw
// all the same, ending the program (noexcept) is the only sound outcome in a destructor.
TThread::~TThread() {  // NOLINT(bugprone-exception-escape)
  if (!FStarted.load() || !FThread.joinable()) return;
  if (tCurrentThread == this) {
    // Destroyed from its own Execute: it cannot wait for itself.
    Terminate();
    FThread.detach();
    return;
  }
  if (!Finished()) {
    Terminate();
    WaitFor();
  }
  FThread.join();
}

void TThread::Start() {
  if (FStarted.exchange(true)) return;
  FThread = std::thread(&TThread::Run, this);
}

void TThread::Run() {
  tCurrentThread = this;
  try {
    Execute();
  } catch (...) {
    FFatalException = std::current_exception();
  }
  try {
    DoTerminate();
  } catch (...) {
    if (!FFatalException) FFatalException = std::current_exception();
  }
  SyncState& s = Sync();
  {
    std::lock_guard<std::mutex> guard(s.lock);
    FFinished = true;
  }
  s.mainWake.notify_all();
  WakeMainThread();
}

void TThread::DoTerminate() {
  if (OnTerminate.Assigned()) Synchronize([this] { OnTerminate(this); });
}

void TThread::Terminate() { FTerminated.store(true, std::memory_order_release); }

bool TThread::Finished() const {
  SyncState& s = Sync();
  std::lock_guard<std::mutex> guard(s.lock);
  return FFinished;
}

bool TThread::Started() const { return FStarted.load(); }

std::thread::id TThread::ThreadID() const { return FThread.get_id(); }

std::exception_ptr TThread::FatalException() const {
  SyncState& s = Sync();
  std::lock_guard<std::mutex> guard(s.lock);
  return FFinished ? FFatalException : nullptr;
}

void TThread::WaitFor() { WaitFor(0xFFFFFFFFu); }

bool TThread::WaitFor(unsigned TimeoutMs) {
  if (!FStarted.load()) {
    if (FCreateSuspended) return true;
    throw EThread(
        "WaitFor on a thread that never started: it was built without TThread::Create<T>()");
  }
  if (tCurrentThread == this) throw EThread("Cannot call WaitFor on the thread itself");
  const bool forever = TimeoutMs == 0xFFFFFFFFu;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  const bool onMain = IsMainThread();
  SyncState& s = Sync();
  std::unique_lock<std::mutex> guard(s.lock);
  for (;;) {
    if (FFinished) return true;
    if (onMain && !s.queue.empty()) {
      guard.unlock();
      CheckSynchronize();
      guard.lock();
      continue;
    }
    auto ready = [&] { return FFinished || (onMain && !s.queue.empty()); };
    if (forever) {
      s.mainWake.wait(guard, ready);
    } else if (!s.mainWake.wait_until(guard, deadline, ready)) {
      return false;
    }
  }
}

void TThread::Synchronize(std::function<void()> Method) {
  if (IsMainThread()) {
    RunReported(Method);
    return;
  }
  auto entry = std::make_shared<QueuedCall>();
  entry->owner = this;
  entry->call = std::move(Method);
  entry->synchronous = true;
  SyncState& s = Sync();
  {
    std::lock_guard<std::mutex> guard(s.lock);
    if (FSynchronizeAbandoned) return;
    s.queue.push_back(entry);
  }
  s.mainWake.notify_all();
  WakeMainThread();
  std::unique_lock<std::mutex> guard(s.lock);
  entry->doneWake.wait(guard, [&] { return entry->done; });
}

void TThread::AbandonSynchronize() {
  SyncState& s = Sync();
  std::shared_ptr<QueuedCall> withdrawn;
  {
    std::lock_guard<std::mutex> guard(s.lock);
    FSynchronizeAbandoned = true;
    auto it = std::find_if(s.queue.begin(), s.queue.end(),
                           [this](const auto& e) { return e->synchronous && e->owner == this; });
    if (it == s.queue.end()) return;
    withdrawn = std::move(*it);
    s.queue.erase(it);
    withdrawn->done = true;
  }
  withdrawn->doneWake.notify_one();
}

void TThread::ForceQueue(const void* Owner, std::function<void()> Call) {
  auto entry = std::make_shared<QueuedCall>();
  entry->owner = Owner;
  entry->call = std::move(Call);
  Enqueue(entry);
}

void TThread::Queue(const void* Owner, std::function<void()> Call) {
  if (IsMainThread()) {
    RunReported(Call);
    return;
  }
  ForceQueue(Owner, std::move(Call));
}

void TThread::RemoveQueuedEvents(const void* Owner) {
  SyncState& s = Sync();
  std::lock_guard<std::mutex> guard(s.lock);
  // Synchronous calls stay: their workers are blocked until they have run.
  std::erase_if(s.queue, [Owner](const std::shared_ptr<QueuedCall>& e) {
    return !e->synchronous && e->owner == Owner;
  });
}
