// The two worker threads of an open port (private to the component).
#pragma once

#include <atomic>
#include <cstdint>

#include "framework/Threads.h"
#include "serial/SerClasses.h"

class TSerCustomComm;

// Waits for device events and has them processed on the main thread.
class TSerCommEventThread : public TThread {
 public:
  explicit TSerCommEventThread(TSerCustomComm& Owner) : owner_(Owner) {}
  std::string ClassName() const override { return "TSerCommEventThread"; }

  bool SyncEvents = true;
  // Ends the pending device wait; deliveries requested from now on are skipped.
  void Stop();

 protected:
  void Execute() override;

 private:
  void Deliver();

  uint32_t evtMask_ = 0;
  TSerWaitEvent event_;  // the stop signal of the device wait
  TSerCustomComm& owner_;
  std::atomic<bool> stopping_{false};
};

// Drains the write queue into the device, the whole queue in one write.
class TSerCommWriteThread : public TThread {
 public:
  TSerCommWriteThread(TSerCustomComm& Owner, int Capacity)
      : queue_(Capacity), capacity_(Capacity), owner_(Owner) {}
  std::string ClassName() const override { return "TSerCommWriteThread"; }

  bool SyncEvents = true;

  // Under the port's write lock.
  TSerCommBuffer& Queue() { return queue_; }
  int Capacity() const { return capacity_; }
  TSerWaitEvent& WriteEvent() { return writeEvent_; }
  // True from taking the queue's bytes for a write until the bytes written are removed.
  bool Writing() const { return writing_; }

  void Stop() { closeEvent_.SetEvent(); }
  // Asks the thread to stop writing for a purge (under the port's write lock, so that a
  // pass ending meanwhile sees the request), then waits for the acknowledgement.
  void RequestFlush();
  bool WaitFlushDone(uint32_t TimeoutMs) { return flushDoneEvent_.WaitFor(TimeoutMs) == wrSignaled; }

 protected:
  void Execute() override;

 private:
  void WritePass();
  void HandleCloseOrFlush(int Signalled);
  void AcknowledgeFlush();
  // Removes the bytes that went out; true when that drained the queue.
  bool RemoveWritten(int Count);
  void Deliver(uint32_t Events);
  void WaitBeforeRetry();

  TSerCommBuffer queue_;
  const int capacity_;  // WriteSize when the port opened
  TSerWaitEvent writeEvent_;
  TSerWaitEvent closeEvent_;
  TSerWaitEvent flushEvent_;
  TSerWaitEvent flushDoneEvent_;
  TSerCustomComm& owner_;
  bool stopping_ = false;
  bool writing_ = false;  // under the port's write lock
};
