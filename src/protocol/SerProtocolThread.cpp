// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <mutex>
#include <thread>

#include "framework/ExceptionReport.h"
#include "protocol/SerProtocolBase.h"

namespace {

using Clock = std::chrono::steady_clock;

int QueueCapacity(const TSerProtocol* Owner) { return std::max(Owner->BufferSize(), 0); }

// What is left of a wait of LimitMs that began at Start; a limit of INT_MAX or more (a
// negative Timeout) is no limit.
uint32_t LeftOf(uint32_t LimitMs, Clock::time_point Start) {
  if (LimitMs >= static_cast<uint32_t>(INT_MAX)) return LimitMs;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(
      Start + std::chrono::milliseconds(LimitMs) - Clock::now());
  return static_cast<uint32_t>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

}  // namespace

TSerProtocolThread::TSerProtocolThread(TSerProtocol* AOwner)
    : owner_(AOwner),
      queue_(QueueCapacity(AOwner)),
      // A BufferSize below the bound keeps appends within the allocation.
      queueBound_(std::min(MaxQueued, QueueCapacity(AOwner))) {
  SetFreeOnTerminate(true);
  SetPriority(tpHigher);
}

void TSerProtocolThread::Execute() {
  workerId_ = std::this_thread::get_id();
  while (!Terminated()) {
    ResetTransfer();
    try {
      if (owner_->Mode() == tmUpload)
        Upload();
      else
        Download();
    } catch (const ETransferFinished&) {
      // The exit code is recorded.
    } catch (...) {
      EndThroughFailure();
    }
    AwaitDelivery();
    owner_->Dispatcher().UnwatchArrivals();  // the terminal reads the line again
    FinishFile();  // before the end is reported: its handler may use the file
    StopWorker();
  }
}

// Anything but FinishTransfer ending the procedure (the port refusing a write, say) is a
// failed transfer: it is shown, and the end reports the protocol failure code, since the
// exchange with the remote side broke off for a reason outside the file.
void TSerProtocolThread::EndThroughFailure() {
  owner_->SetExitCode(TransferExit::ProtocolError);
  if (Terminated()) return;  // the component is going away: nothing is shown any more
  const std::exception_ptr failure = std::current_exception();
  Synchronize([failure] {
    try {
      std::rethrow_exception(failure);
    } catch (...) {
      ReportCurrentException();
    }
  });
}

void TSerProtocolThread::ResetTransfer() {
  // An abort requested before the worker first ran stays requested.
  {
    std::lock_guard<TSerCriticalSection> lock(queueLock_);
    queue_.Clear();
  }
  errorCount_ = 0;
  errorCode_ = 0;
}

void TSerProtocolThread::PutData(const void* Data, int Count) {
  if (overflow_) return;
  std::lock_guard<TSerCriticalSection> lock(queueLock_);
  if (static_cast<int64_t>(queue_.Size()) + Count > queueBound_)
    overflow_ = true;  // the whole block is dropped
  else
    queue_.Append(Data, Count);
  // Also after an overflow, so that the reader notices it; the worker that takes bytes
  // from a line it watches looks at the queue next anyway.
  if (std::this_thread::get_id() != workerId_) dataEvent_.SetEvent();
}

int TSerProtocolThread::Room() {
  std::lock_guard<TSerCriticalSection> lock(queueLock_);
  return overflow_ ? 0 : queueBound_ - queue_.Size();
}

bool TSerProtocolThread::QueueEmpty() {
  std::lock_guard<TSerCriticalSection> lock(queueLock_);
  return queue_.Size() == 0;
}

int TSerProtocolThread::TakeQueued() {
  std::lock_guard<TSerCriticalSection> lock(queueLock_);
  uint8_t byte = 0;
  queue_.Take(&byte, 1);
  return byte;
}

int TSerProtocolThread::PeekByte() {
  if (watchLine_) owner_->Dispatcher().WatchArrivals();  // a watched line's bytes come when asked for
  std::lock_guard<TSerCriticalSection> lock(queueLock_);
  if (queue_.Size() == 0) return -1;
  return queue_.First();
}

bool TSerProtocolThread::ReadyToRead() { return overflow_ || cancelled_ || lineLost_ || !QueueEmpty(); }

// Until data, a cancel or an overflow is there and no report is running. While nothing is
// queued the worker watches the line itself, where the port allows, so that an answer
// wakes this thread alone. Each Timeout without data counts an error, from the wait's
// start or the report's end, whichever is later; the wait goes on until the error limit
// ends the transfer.
void TSerProtocolThread::WaitForData() {
  TSerDispatcher& port = owner_->Dispatcher();
  Clock::time_point from = Clock::now();
  const auto timedFrom = [&] { return std::max(from, Clock::time_point(Clock::duration(deliveredAt_))); };
  bool watch = watchLine_, lineWoke = false;
  for (;;) {
    int line = -1;
    if (!ReadyToRead()) {
      port.ResumeReceive();  // bytes the port held back for want of room
      if (watch) line = port.WatchArrivals();
      if (lineWoke && !ReadyToRead()) {
        // The line woke the wait without bringing bytes: the event thread takes it again.
        watch = false;
        line = -1;
        port.UnwatchArrivals();
      }
    }
    if (!delivering_ && ReadyToRead()) return;
    // Data, a request or a report's end that lands after the reset sets the event; bytes
    // on a watched line keep it readable.
    dataEvent_.ResetEvent();
    const bool reporting = delivering_;
    if (ReadyToRead()) {
      if (!reporting) return;
      line = -1;  // only the report's end is awaited
    }
    const uint32_t limit = static_cast<uint32_t>(owner_->Timeout());
    const uint32_t waitMs = reporting ? limit : LeftOf(limit, timedFrom());
    const int woken = WaitForAny({&dataEvent_.Event()}, waitMs >= INT_MAX ? -1 : static_cast<int>(waitMs), line);
    lineWoke = woken == 1;
    if (woken >= 0) continue;
    // A report still running, or one that ended meanwhile, puts the count off; a failed
    // wait counts at once.
    if (woken == -1 && (delivering_ || LeftOf(limit, timedFrom()) > 0)) continue;
    RecordError(TransferError::Timeout, false);
    from = Clock::now();
  }
}

// The worker's end waits for a report it posted, which uses the worker.
void TSerProtocolThread::AwaitDelivery() {
  awaitingDelivery_ = true;
  for (;;) {
    dataEvent_.ResetEvent();
    {
      std::lock_guard<TSerCriticalSection> lock(queueLock_);
      if (!delivering_) return;
    }
    dataEvent_.WaitFor(MAXDWORD);
  }
}

void TSerProtocolThread::EndIfLineFailed() {
  if (overflow_) {
    SendCancel();
    FinishTransfer(TransferExit::QueueOverflow);
  }
  // Nothing reaches a line that has gone: no cancel is sent.
  if (lineLost_) FinishTransfer(TransferExit::TooManyErrors);
}

int TSerProtocolThread::ReadByte() {
  WaitForData();
  EndIfLineFailed();
  if (cancelled_) return 0;
  return TakeQueued();
}

void TSerProtocolThread::ReadBytes(uint8_t* Data, int Count) {
  while (Count > 0) {
    WaitForData();
    EndIfLineFailed();
    if (cancelled_) {
      std::fill(Data, Data + Count, 0);
      return;
    }
    std::lock_guard<TSerCriticalSection> lock(queueLock_);
    const int n = std::min(Count, queue_.Size());
    queue_.Take(Data, n);
    Data += n;
    Count -= n;
  }
}

void TSerProtocolThread::SendBuffer(const void* Data, int Count) {
  if (!Terminated()) owner_->Dispatcher().Write(Data, Count);
}

void TSerProtocolThread::SendByte(uint8_t Value) { SendBuffer(&Value, 1); }

void TSerProtocolThread::DiscardOutput() {
  if (!Terminated()) owner_->Dispatcher().PurgeOutput();
}

void TSerProtocolThread::WatchLine(bool Watch) {
  watchLine_ = Watch;
  if (!Watch) owner_->Dispatcher().UnwatchArrivals();
}

bool TSerProtocolThread::WaitForOutput(int AtMost, int WaitMs) {
  return owner_->Dispatcher().WaitForOutQue(AtMost, WaitMs);
}

void TSerProtocolThread::OpenForRead(const std::string& FileName) {
  if (stream_.OpenExisting(FileName)) return;
  SendCancel();
  FinishTransfer(TransferExit::OpenFailed);
}

void TSerProtocolThread::OpenForWrite(std::string& FileName) {
  std::string used;
  if (stream_.CreateNew(FileName, UniqueFileName(FileName), used)) {
    FileName = created_ = used;
    return;
  }
  SendCancel();
  FinishTransfer(TransferExit::CreateFailed);
}

void TSerProtocolThread::FinishFile() {
  CloseFile();
  if (!created_.empty() && owner_->ExitCode() != TransferExit::Success)
    std::remove(created_.c_str());
  created_.clear();
}

bool TSerProtocolThread::AtEndOfFile() const { return stream_.Position() == stream_.Size(); }

void TSerProtocolThread::FinishTransfer(int Code) {
  owner_->SetExitCode(Code);
  throw ETransferFinished();
}

void TSerProtocolThread::RecordError(int Code, bool CancelRemote) {
  errorCount_ = errorCount_ + 1;
  errorCode_ = Code;
  // Equality: a MaxErrors of 0 or below is never reached.
  if (errorCount_ == owner_->MaxErrors()) {
    if (CancelRemote) SendCancel();
    FinishTransfer(TransferExit::TooManyErrors);
  }
  ReportError();
}

void TSerProtocolThread::ReportError() {
  Deliver([this] { owner_->DoError(); });
}

void TSerProtocolThread::Deliver(const std::function<void()>& Fn) {
  Synchronize([this, &Fn] {
    if (!Terminated()) Fn();
  });
}

// The worker is woken at the end only when it has something to read by then; otherwise
// the byte it waits for wakes it. The end is marked under the queue's lock, which an
// ending worker takes to look at it, so that the worker is not freed while this runs.
void TSerProtocolThread::DeliverBeforeRead(std::function<void()> Fn) {
  delivering_ = true;
  QueueOnMainThread([this, Fn = std::move(Fn)] {
    if (!Terminated()) Fn();
    std::lock_guard<TSerCriticalSection> lock(queueLock_);
    deliveredAt_ = Clock::now().time_since_epoch().count();
    delivering_ = false;
    if (awaitingDelivery_ || ReadyToRead()) dataEvent_.SetEvent();
  });
}

void TSerProtocolThread::StopWorker() {
  Terminate();
  cancelled_ = true;
  dataEvent_.SetEvent();
}

void TSerProtocolThread::CancelWorker() {
  cancelled_ = true;
  dataEvent_.SetEvent();
}

void TSerProtocolThread::LineLost() {
  lineLost_ = true;
  dataEvent_.SetEvent();
}
