// SPDX-License-Identifier: GPL-3.0-or-later
// Threads with Synchronize, and the main-thread queue that CheckSynchronize runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "framework/Classes.h"

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// Runs every queued Synchronize call; waits up to TimeoutMs for one when none is queued.
// Returns true when at least one call ran. Call on the main thread only.
bool CheckSynchronize(int TimeoutMs = 0);

// Ends a CheckSynchronize that is waiting, without a call to run: the main thread waits
// there for something else as well (room in a port's write queue).
void WakeMainThread();
// How often WakeMainThread has been called. CheckSynchronize given a count read before
// the main thread last looked at what it waits for also ends for a wake that came since.
uint64_t MainThreadWakes();
bool CheckSynchronize(int TimeoutMs, uint64_t WakesSeen);

// The hook is called (on any thread) whenever a call is queued, so that the event loop
// can run CheckSynchronize. The application posts one queued call into its event loop.
using SynchronizeWakeUp = std::function<void()>;
void SetSynchronizeWakeUp(SynchronizeWakeUp Hook);

// The thread that counts as the main thread: the one that first used this module,
// unless set otherwise.
void SetMainThread(std::thread::id Id);
bool IsMainThread();

// Runs Fn on the main thread while the calling thread waits; an exception that Fn raises
// is raised again in the caller. On the main thread Fn runs at once.
void Synchronize(const std::function<void()>& Fn);
// Runs Fn on the main thread after the calls queued before it, without waiting for it; an
// exception that Fn raises goes to the exception report. On the main thread Fn runs at
// once. The caller keeps what Fn uses alive until Fn has run.
void QueueOnMainThread(std::function<void()> Fn);

class TThread : public TObject {
 public:
  // Created suspended: Execute runs only after Start.
  TThread();
  // A thread that never started is freed without running Execute. A started one must be
  // ended (Terminate, WaitFor) by its owner before the derived part goes away.
  ~TThread() override;
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  std::string ClassName() const override { return "TThread"; }

  void Start();
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }
  // Waits for Execute to end (and OnTerminate to run). On the main thread it keeps running
  // queued Synchronize calls meanwhile. Not for a free-on-terminate thread.
  void WaitFor();
  bool Finished() const { return finished_; }

  bool FreeOnTerminate() const { return freeOnTerminate_; }
  void SetFreeOnTerminate(bool Value) { freeOnTerminate_ = Value; }

  TThreadPriority Priority() const { return priority_; }
  // Best effort: a refused change (raising needs privileges) is ignored.
  void SetPriority(TThreadPriority Value);

  // Runs on the main thread after Execute has ended, while the thread waits.
  std::function<void(TObject* Sender)> OnTerminate;

  // The exception that ended Execute, if any.
  std::exception_ptr FatalException() const { return fatal_; }

 protected:
  virtual void Execute() = 0;
  // Runs OnTerminate on the main thread; may be overridden.
  virtual void DoTerminate();
  void Synchronize(const std::function<void()>& Fn) { ::Synchronize(Fn); }

 private:
  void Run();
  void ApplyPriority();

  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable started_;
  bool startRequested_ = false;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> freeOnTerminate_{false};
  std::atomic<TThreadPriority> priority_{tpNormal};
  std::atomic<int> tid_{0};
  std::exception_ptr fatal_;
};
