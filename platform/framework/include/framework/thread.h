// SPDX-License-Identifier: MIT
/// @file
/// Threads with calls synchronised onto the main thread.
///
/// The main thread is the thread that loaded this library (normally the process's initial
/// thread). Workers hand calls to it with Synchronize (blocking) or ForceQueue / Queue
/// (asynchronous); the main thread runs them from its event loop with CheckSynchronize, and from
/// TThread::WaitFor, which keeps running them while it waits, so a worker blocked in Synchronize
/// can always finish.
///
/// @code{.cpp}
///   class TPump : public TThread {
///    public:
///     explicit TPump(TPort* P) : TThread(false), Port(P) {}
///    protected:
///     void Execute() override {
///       while (!Terminated()) { ...; Synchronize(&TPump::Deliver); }
///     }
///    private:
///     void Deliver();          // runs on the main thread
///     TPort* Port;
///   };
///   TPump* pump = TThread::Create<TPump>(port);   // Execute starts after construction
///   ...
///   pump->Terminate(); pump->WaitFor(); delete pump;
/// @endcode
///
/// Threads are made by TThread::Create<T> only: `new TPump(...)` does not compile, and WaitFor on
/// a thread that was built in place and never started raises EThread instead of returning.
/// Terminate, Terminated, Finished and WaitFor may be called from any thread; CheckSynchronize
/// runs calls on the main thread only.
#pragma once

#include <framework/classes.h>
#include <framework/export.h>
#include <framework/sysutils.h>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

/// A thread operation that cannot be done (e.g. WaitFor on the thread itself).
class COMM_FRAMEWORK_API EThread : public Exception {
 public:
  using Exception::Exception;
};

/// A worker thread: derive from it, put the work in Execute, make it with Create<T>. See the
/// file's description for the threads each member may be called from.
class COMM_FRAMEWORK_API TThread : public TObject {
 public:
  /// CreateSuspended = false: Create<T>() starts the thread once the most-derived constructor
  /// has finished (a base constructor cannot: the derived part does not exist yet).
  /// CreateSuspended = true: the thread starts on Start().
  explicit TThread(bool CreateSuspended);
  /// Terminates and waits for a thread that is still running (running synchronised calls
  /// meanwhile when on the main thread), then releases it. A derived destructor that frees
  /// what Execute uses must call Terminate() and WaitFor() first.
  ~TThread() override;  // NOLINT(bugprone-exception-escape): see thread.cpp
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  /// Constructs T and starts it unless it was created suspended. The caller owns it and frees it
  /// with delete.
  template <class T, class... A>
  static T* Create(A&&... Args) {
    T* thread = ::new T(std::forward<A>(Args)...);
    try {
      if (!static_cast<TThread*>(thread)->FCreateSuspended) thread->Start();
    } catch (...) {
      delete thread;  // no thread could be started
      throw;
    }
    return thread;
  }

  /// Starts Execute on a new thread; does nothing if already started.
  void Start();
  /// Asks Execute to finish: sets Terminated, which Execute tests.
  void Terminate();
  /// True once Terminate has been called; Execute tests it to know when to return.
  bool Terminated() const { return FTerminated.load(std::memory_order_acquire); }
  /// Blocks until Execute has returned (at once for a suspended thread never started). On the
  /// main thread it keeps running queued synchronised calls while it waits. Raises EThread on the
  /// thread itself, and for a thread built without Create<T> that therefore never started.
  void WaitFor();
  /// Same, giving up after TimeoutMs; true when Execute has returned (or never started).
  bool WaitFor(unsigned TimeoutMs);
  /// True once Execute (and DoTerminate) have returned.
  bool Finished() const;
  /// True once Start has run (Execute may not have begun yet).
  bool Started() const;
  /// Valid once Start has returned (read it on the thread that started it, or later).
  std::thread::id ThreadID() const;
  /// The exception that escaped Execute, if any.
  std::exception_ptr FatalException() const;

  /// Runs Method on the main thread and returns after it has finished; on the main thread it
  /// runs at once. An exception thrown by Method goes to the application's standard error
  /// report; Synchronize itself returns normally.
  void Synchronize(std::function<void()> Method);
  /// Synchronize of a member function of the derived class T, called on this thread object.
  template <class T>
  void Synchronize(void (T::*Method)()) {
    T* self = static_cast<T*>(this);
    Synchronize(std::function<void()>([self, Method] { (self->*Method)(); }));
  }

  /// Queues Call to run on the main thread at a later CheckSynchronize, even when called on the
  /// main thread. Owner identifies the calls for RemoveQueuedEvents (may be null).
  static void ForceQueue(const void* Owner, std::function<void()> Call);
  /// Like ForceQueue, but on the main thread runs Call at once.
  static void Queue(const void* Owner, std::function<void()> Call);
  /// Drops the queued, not yet started asynchronous calls of Owner.
  static void RemoveQueuedEvents(const void* Owner);
  /// For a thread that must end although the main thread may not be running synchronised calls:
  /// withdraws this thread's Synchronize call that the main thread has not started, and makes its
  /// later ones return at once; neither runs. A call already running finishes normally.
  void AbandonSynchronize();

  /// Only Create<T> allocates threads.
  static void* operator new(std::size_t) = delete;
  static void* operator new[](std::size_t) = delete;
  /// Frees a thread made by Create<T> (`delete thread`).
  static void operator delete(void* Thread) { ::operator delete(Thread); }

  TNotifyEvent OnTerminate;  ///< run on the main thread (synchronised) after Execute

 protected:
  /// The thread's work, run on the new thread; returns when done or once Terminated() reads
  /// true. An exception that escapes it is kept (FatalException) and ends the thread.
  virtual void Execute() = 0;
  /// Runs after Execute on the worker; calls OnTerminate on the main thread when assigned.
  virtual void DoTerminate();

 private:
  void Run();

  const bool FCreateSuspended;
  std::atomic<bool> FTerminated{false};
  std::thread FThread;
  std::atomic<bool> FStarted{false};
  bool FFinished = false;              ///< guarded by the synchronisation lock
  bool FSynchronizeAbandoned = false;  ///< guarded by the synchronisation lock
  std::exception_ptr FFatalException;
};

/// Runs the queued synchronised and asynchronous calls on the main thread (those queued when it
/// starts; later ones wait for the next call). With TimeoutMs > 0 and nothing queued, waits up to
/// that long for a call to arrive. Returns true when it ran any. Off the main thread it does
/// nothing and returns false.
COMM_FRAMEWORK_API bool CheckSynchronize(unsigned TimeoutMs = 0);
/// True when called on the main thread.
COMM_FRAMEWORK_API bool IsMainThread();
/// Hook called (on the queuing thread) whenever a call is queued for the main thread, so that a
/// GUI event loop can wake up and call CheckSynchronize. Returns the previous hook.
COMM_FRAMEWORK_API std::function<void()> SetWakeMainThread(std::function<void()> Hook);
