#include "serial/SerCommThreads.h"

#include "serial/SerComm.h"

namespace {

// A failed write is tried again after this pause, so that an unplugged adapter does not
// flood the main thread with error deliveries.
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
  const uint32_t events = evtMask_;
  if (SyncEvents)
    Synchronize([this, events] { owner_.ProcessEvents(events); });
  else
    owner_.ProcessEvents(events);
}

void TSerCommWriteThread::RequestFlush() {
  flushDoneEvent_.ResetEvent();
  flushEvent_.SetEvent();
}

void TSerCommWriteThread::Execute() {
  while (!stopping_) {
    const int signalled =
        WaitForAny({&closeEvent_.Event(), &flushEvent_.Event(), &writeEvent_.Event()}, -1);
    if (signalled == 2)
      WritePass();
    else
      HandleCloseOrFlush(signalled < 0 ? 0 : signalled);  // a failed wait has nothing to block on
  }
}

void TSerCommWriteThread::WritePass() {
  uint8_t* data;
  int count;
  {
    std::lock_guard<TSerCriticalSection> lock(owner_.writeLock_);
    count = queue_.Size();
    data = queue_.Data();  // the block never moves; later bytes go behind these
    if (count == 0) {
      writeEvent_.ResetEvent();
      return;
    }
    writing_ = true;
  }
  int written = 0;
  int cancelledBy = -1;
  auto outcome = owner_.device_->WriteFile(
      data, count, written, -1, {&closeEvent_.Event(), &flushEvent_.Event()}, cancelledBy);
  switch (outcome) {
    case SerialDevice::wrDone:
    case SerialDevice::wrTimedOut:
      if (RemoveWritten(written)) Deliver(EV_TXEMPTY);
      break;
    case SerialDevice::wrCancelled:
      RemoveWritten(written);  // acknowledges a flush
      if (cancelledBy == 0) stopping_ = true;
      break;
    case SerialDevice::wrFailed:
      RemoveWritten(written);
      Deliver(EV_ERR);
      WaitBeforeRetry();
      break;
  }
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

bool TSerCommWriteThread::RemoveWritten(int Count) {
  std::lock_guard<TSerCriticalSection> lock(owner_.writeLock_);
  // A purge may have emptied the queue meanwhile: never remove more than it holds.
  if (Count > queue_.Size()) Count = queue_.Size();
  if (Count > 0) queue_.Remove(Count);
  const bool drained = queue_.Size() == 0;
  if (drained)
    writeEvent_.ResetEvent();
  else
    writeEvent_.SetEvent();
  if (Count > 0) owner_.SignalRoom();
  writing_ = false;
  // A purge that came meanwhile may go on now, before any delivery of this pass.
  if (flushEvent_.Event().IsSet()) AcknowledgeFlush();
  return drained;
}

void TSerCommWriteThread::Deliver(uint32_t Events) {
  if (closeEvent_.Event().IsSet()) return;
  if (SyncEvents)
    Synchronize([this, Events] { owner_.DeliverWriteEvents(Events); });
  else
    owner_.DeliverWriteEvents(Events);
}

void TSerCommWriteThread::WaitBeforeRetry() {
  const int signalled = WaitForAny({&closeEvent_.Event(), &flushEvent_.Event()}, kWriteRetryPauseMs);
  if (signalled >= 0) HandleCloseOrFlush(signalled);
}
