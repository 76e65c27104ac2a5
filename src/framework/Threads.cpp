// SPDX-License-Identifier: GPL-3.0-or-later
#include "framework/Threads.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <utility>

#include "framework/ExceptionReport.h"

namespace {

struct SyncCall {
  std::function<void()> fn;
  std::exception_ptr error;
  bool done = false;
  bool awaited = true;  // a caller waits for it and takes its exception
};

// One lock and one signal serve the queue and the end of threads, so that a main thread
// waiting in WaitFor wakes for either.
// They are never destroyed: a free-on-terminate thread may still be leaving Run while the
// program exits.
std::mutex& syncMutex = *new std::mutex;
std::condition_variable& mainSignal = *new std::condition_variable;  // queued, or a thread ended
std::condition_variable& callerSignal = *new std::condition_variable;  // a queued call has run
std::deque<std::shared_ptr<SyncCall>>& syncQueue = *new std::deque<std::shared_ptr<SyncCall>>;
SynchronizeWakeUp& wakeUp = *new SynchronizeWakeUp;
uint64_t wakeGeneration = 0;  // grows with every WakeMainThread
std::thread::id mainThread = std::this_thread::get_id();

int NiceOf(TThreadPriority p) {
  static const int nice[] = {19, 10, 5, 0, -5, -10, -20};
  return nice[p];
}

void RunQueued() {
  for (;;) {
    std::shared_ptr<SyncCall> call;
    {
      std::lock_guard<std::mutex> lock(syncMutex);
      if (syncQueue.empty()) return;
      call = syncQueue.front();
      syncQueue.pop_front();
    }
    if (!call->awaited) {
      Guarded(call->fn);
      continue;
    }
    try {
      call->fn();
    } catch (...) {
      call->error = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> lock(syncMutex);
      call->done = true;
      // The caller frees the call, and the exception it carries, on its own thread: the
      // exception's count is kept where the thread checker cannot see it.
      call.reset();
    }
    callerSignal.notify_all();  // after the lock, so that the caller does not wake to wait for it
  }
}

}  // namespace

void SetMainThread(std::thread::id Id) {
  std::lock_guard<std::mutex> lock(syncMutex);
  mainThread = Id;
}

bool IsMainThread() {
  std::lock_guard<std::mutex> lock(syncMutex);
  return std::this_thread::get_id() == mainThread;
}

void SetSynchronizeWakeUp(SynchronizeWakeUp Hook) {
  std::lock_guard<std::mutex> lock(syncMutex);
  wakeUp = std::move(Hook);
}

void WakeMainThread() {
  std::lock_guard<std::mutex> lock(syncMutex);
  ++wakeGeneration;
  mainSignal.notify_all();
}

uint64_t MainThreadWakes() {
  std::lock_guard<std::mutex> lock(syncMutex);
  return wakeGeneration;
}

bool CheckSynchronize(int TimeoutMs) { return CheckSynchronize(TimeoutMs, MainThreadWakes()); }

bool CheckSynchronize(int TimeoutMs, uint64_t WakesSeen) {
  {
    std::unique_lock<std::mutex> lock(syncMutex);
    if (syncQueue.empty() && TimeoutMs > 0)
      mainSignal.wait_for(lock, std::chrono::milliseconds(TimeoutMs),
                          [&] { return !syncQueue.empty() || wakeGeneration != WakesSeen; });
    if (syncQueue.empty()) return false;
  }
  RunQueued();
  return true;
}

namespace {

void Enqueue(const std::shared_ptr<SyncCall>& Call) {
  SynchronizeWakeUp hook;
  {
    std::lock_guard<std::mutex> lock(syncMutex);
    syncQueue.push_back(Call);
    hook = wakeUp;
  }
  mainSignal.notify_all();
  if (hook) hook();
}

}  // namespace

void Synchronize(const std::function<void()>& Fn) {
  if (IsMainThread()) {
    Fn();
    return;
  }
  auto call = std::make_shared<SyncCall>();
  call->fn = Fn;
  Enqueue(call);
  std::unique_lock<std::mutex> lock(syncMutex);
  callerSignal.wait(lock, [&] { return call->done; });
  if (call->error) std::rethrow_exception(call->error);
}

void QueueOnMainThread(std::function<void()> Fn) {
  if (IsMainThread()) {
    Guarded(Fn);
    return;
  }
  auto call = std::make_shared<SyncCall>();
  call->fn = std::move(Fn);
  call->awaited = false;
  Enqueue(call);
}

TThread::TThread() { thread_ = std::thread([this] { Run(); }); }

TThread::~TThread() {
  if (thread_.joinable()) {
    if (thread_.get_id() == std::this_thread::get_id()) {
      thread_.detach();  // freeing itself at the end of Run
    } else {
      Terminate();
      Start();  // a thread never started still has to leave Run
      WaitFor();
      thread_.join();
    }
  }
}

void TThread::Start() {
  std::lock_guard<std::mutex> lock(mutex_);
  startRequested_ = true;
  started_.notify_all();
}

void TThread::WaitFor() {
  std::unique_lock<std::mutex> lock(syncMutex);
  const bool onMain = std::this_thread::get_id() == mainThread;
  while (!finished_) {
    if (onMain && !syncQueue.empty()) {
      lock.unlock();
      RunQueued();
      lock.lock();
      continue;
    }
    mainSignal.wait(lock);
  }
}

void TThread::SetPriority(TThreadPriority Value) {
  priority_ = Value;
  ApplyPriority();
}

void TThread::ApplyPriority() {
  int tid = tid_;
  if (tid != 0) setpriority(PRIO_PROCESS, static_cast<id_t>(tid), NiceOf(priority_));
}

void TThread::DoTerminate() {
  if (OnTerminate) Synchronize([this] { OnTerminate(this); });
}

void TThread::Run() {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    started_.wait(lock, [this] { return startRequested_; });
  }
  tid_ = static_cast<int>(syscall(SYS_gettid));
  ApplyPriority();
  if (!terminated_) {
    try {
      Execute();
    } catch (...) {
      fatal_ = std::current_exception();
    }
  }
  try {
    DoTerminate();
  } catch (...) {
    if (!fatal_) fatal_ = std::current_exception();
  }
  const bool freeSelf = freeOnTerminate_;
  {
    std::lock_guard<std::mutex> lock(syncMutex);
    finished_ = true;
    mainSignal.notify_all();
  }
  if (freeSelf) delete this;
}
