// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/SerCommThreads.h"

#include <utility>

#include "serial/SerComm.h"

namespace {

// A failed write is tried again after this pause, so that a failing device does not flood
// the main thread with error deliveries.
constexpr int kWriteRetryPauseMs = 100;

}  // namespace

void TSerCommEventThread::Stop() {
  stopping_ = true;
  event_.SetEvent();
}

void TSerCommEventThread::Execute() {
  while (!stopping_) {
    evtMask_ = 0;
    if (!owner_.device_->WaitCommEvent(evtMask_, event_.Event())) {
      // Nothing to wait for on the device: sleep until told to stop.
      evtMask_ = 0;
      if (event_.WaitFor(MAXDWORD) != wrSignaled) break;
    }
    Deliver();
  }
}

void TSerCommEventThread::Deliver() {
  if (stopping_ || evtMask_ == 0) return;
  uint32_t events = evtMask_;
  if ((events & EV_RXCHAR) && owner_.DeliverRxDirectly()) events &= ~EV_RXCHAR;
  if (events == 0) return;
  if (SyncEvents)
    Synchronize([this, events] { owner_.ProcessEvents(this, events); });
  else
    owner_.ProcessEvents(this, events);
}

void TSerCommWriteThread::WriteAhead(const uint8_t*& Data, int& Count) {
  if (writing_ || queue_.Size() != 0) return;
  int taken = 0;
  // A failing device is left to the thread, which reports it.
  if (!owner_.device_->WriteSome(Data, Count, taken) || taken == 0) return;
  Data += taken;
  Count -= taken;
  if (Count > 0 || !owner_.TxEmptyHeard()) return;
  txEmptyDue_ = true;
  writeEvent_.SetEvent();
}

bool TSerCommWriteThread::Purged() {
  ++epoch_;
  if (!writing_) return false;
  flushDoneEvent_.ResetEvent();
  flushEvent_.SetEvent();  // ends the pass's wait for the device
  return true;
}

void TSerCommWriteThread::Execute() {
  while (!stopping_) {
    // A device that has gone takes nothing more: wait for the close.
    const int signalled =
        gone_ ? WaitForAny({&closeEvent_.Event(), &flushEvent_.Event()}, -1)
              : WaitForAny({&closeEvent_.Event(), &flushEvent_.Event(), &writeEvent_.Event()}, -1);
    if (signalled == 2)
      WritePass();
    else
      HandleCloseOrFlush(signalled < 0 ? 0 : signalled);  // a failed wait has nothing to block on
  }
}

void TSerCommWriteThread::WritePass() {
  int queued;
  uint64_t epoch;
  bool writtenAhead;
  {
    std::lock_guard<TSerCriticalSection> lock(owner_.writeLock_);
    queued = queue_.Size();
    epoch = epoch_;
    writing_ = queued > 0;
    writtenAhead = std::exchange(txEmptyDue_, false);
    if (queued == 0) writeEvent_.ResetEvent();
  }
  if (queued == 0) {
    if (writtenAhead) Deliver(EV_TXEMPTY);
    return;
  }
  const PassEnd end = WriteQueued(epoch, queued);
  const bool drained = FinishPass();
  if (end == passFailed)
    ReportFailure();
  else if (end == passDone && drained && owner_.TxEmptyHeard())
    Deliver(EV_TXEMPTY);
}

// Writes the Left bytes that were queued when the pass began. Each part is handed to the
// device and taken off the queue under the write lock, so a purge comes either before a
// part or after it, never in between.
TSerCommWriteThread::PassEnd TSerCommWriteThread::WriteQueued(uint64_t Epoch, int Left) {
  SerialDevice& device = *owner_.device_;
  while (Left > 0) {
    int taken = 0;
    bool ok;
    {
      std::lock_guard<TSerCriticalSection> lock(owner_.writeLock_);
      if (epoch_ != Epoch) return passPurged;
      const ByteRing::Piece piece = queue_.Front(Left);
      ok = device.WriteSome(piece.Data, piece.Count, taken);
      if (taken > 0) {
        queue_.Drop(taken);
        Left -= taken;
        owner_.SignalRoom();
      }
    }
    if (!ok) return passFailed;
    if (taken > 0) continue;
    int by = -1;
    switch (device.WaitWritable(-1, {&closeEvent_.Event(), &flushEvent_.Event()}, by)) {
      case SerialDevice::wrDone:
      case SerialDevice::wrTimedOut:
        break;
      case SerialDevice::wrCancelled:
        if (by == 0) stopping_ = true;
        return by == 0 ? passStopped : passPurged;
      case SerialDevice::wrFailed:
        return passFailed;
    }
  }
  return passDone;
}

// Ends a pass: the write event follows the queue, and a purge that came meanwhile is
// acknowledged. True when the queue is empty.
bool TSerCommWriteThread::FinishPass() {
  std::lock_guard<TSerCriticalSection> lock(owner_.writeLock_);
  writing_ = false;
  const bool drained = queue_.Size() == 0;
  if (drained)
    writeEvent_.ResetEvent();
  else
    writeEvent_.SetEvent();
  if (flushEvent_.Event().IsSet()) AcknowledgeFlush();
  return drained;
}

// A device that has gone is not tried again: the hang-up is told once (by the event thread
// when there is one). Any other failure is reported and tried again after a pause.
void TSerCommWriteThread::ReportFailure() {
  if (owner_.device_->HungUp()) {
    gone_ = true;
    if (reportsHangUp_) Deliver(EV_ERR);
    return;
  }
  Deliver(EV_ERR);
  WaitBeforeRetry();
}

// Index 0 is the stop request, 1 the flush request.
void TSerCommWriteThread::HandleCloseOrFlush(int Signalled) {
  if (Signalled == 0)
    stopping_ = true;
  else
    AcknowledgeFlush();
}

void TSerCommWriteThread::AcknowledgeFlush() {
  flushEvent_.ResetEvent();
  flushDoneEvent_.SetEvent();
}

void TSerCommWriteThread::Deliver(uint32_t Events) {
  if (closeEvent_.Event().IsSet()) return;
  if (SyncEvents)
    Synchronize([this, Events] { owner_.DeliverWriteEvents(this, Events); });
  else
    owner_.DeliverWriteEvents(this, Events);
}

void TSerCommWriteThread::WaitBeforeRetry() {
  const int signalled = WaitForAny({&closeEvent_.Event(), &flushEvent_.Event()}, kWriteRetryPauseMs);
  if (signalled >= 0) HandleCloseOrFlush(signalled);
}
