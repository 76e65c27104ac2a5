// SPDX-License-Identifier: GPL-3.0-or-later
// The two worker threads of an open port (private to the component).
#pragma once

#include <atomic>
#include <cstdint>

#include "framework/Threads.h"
#include "serial/SerClasses.h"
#include "serial/ByteRing.h"

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

// Drains the write queue into the device. A pass writes what was queued when it began;
// each part the device takes leaves the queue at once, so a slow line frees room as it
// goes.
class TSerCommWriteThread : public TThread {
 public:
  // ReportsHangUp: no event thread watches the device, so this thread tells of a hang-up.
  TSerCommWriteThread(TSerCustomComm& Owner, int Capacity, bool ReportsHangUp)
      : queue_(Capacity), owner_(Owner), reportsHangUp_(ReportsHangUp) {}
  std::string ClassName() const override { return "TSerCommWriteThread"; }

  bool SyncEvents = true;

  // Under the port's write lock.
  ByteRing& Queue() { return queue_; }
  TSerWaitEvent& WriteEvent() { return writeEvent_; }
  // On a worker thread: when nothing is queued or being written, the device takes what it
  // can at once, saving a wake-up of this thread on the way of each block; Data and Count
  // are left with the rest. Transmitter-empty still follows from this thread when it is heard.
  void WriteAhead(const uint8_t*& Data, int& Count);
  // The queue has just been emptied by a purge: a pass under way writes and removes
  // nothing more. True when such a pass was under way; it acknowledges when it has ended.
  bool Purged();

  void Stop() { closeEvent_.SetEvent(); }
  bool WaitFlushDone(uint32_t TimeoutMs) { return flushDoneEvent_.WaitFor(TimeoutMs) == wrSignaled; }

 protected:
  void Execute() override;

 private:
  enum PassEnd { passDone, passPurged, passStopped, passFailed };

  void WritePass();
  PassEnd WriteQueued(uint64_t Epoch, int Left);
  bool FinishPass();
  void ReportFailure();
  void HandleCloseOrFlush(int Signalled);
  void AcknowledgeFlush();
  void Deliver(uint32_t Events);
  void WaitBeforeRetry();

  ByteRing queue_;
  TSerWaitEvent writeEvent_;
  TSerWaitEvent closeEvent_;
  TSerWaitEvent flushEvent_;
  TSerWaitEvent flushDoneEvent_;
  TSerCustomComm& owner_;
  const bool reportsHangUp_;
  bool stopping_ = false;
  bool gone_ = false;       // the device hung up: nothing more is written
  bool writing_ = false;    // under the port's write lock
  bool txEmptyDue_ = false; // under the port's write lock: written ahead, not yet reported
  uint64_t epoch_ = 0;      // under the port's write lock; grows with every purge
};
