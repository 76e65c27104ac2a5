// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <mutex>

#include "framework/ExceptionReport.h"
#include "protocol/SerProtocolBase.h"

namespace {

int QueueCapacity(const TSerProtocol* Owner) { return std::max(Owner->BufferSize(), 0); }

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
  dataEvent_.SetEvent();  // also after an overflow, so that the reader notices it
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
  std::lock_guard<TSerCriticalSection> lock(queueLock_);
  if (queue_.Size() == 0) return -1;
  return queue_.First();
}

// Each Timeout without data counts an error; the wait goes on until data, a cancel or
// an overflow arrives, or the error limit ends the transfer.
void TSerProtocolThread::WaitForData() {
  while (!overflow_ && !cancelled_ && !lineLost_ && QueueEmpty()) {
    dataEvent_.ResetEvent();
    owner_->Dispatcher().ResumeReceive();  // bytes the port held back for want of room
    // Data or a request that landed before the reset must not be slept through.
    if (overflow_ || cancelled_ || lineLost_ || !QueueEmpty()) break;
    if (dataEvent_.WaitFor(static_cast<uint32_t>(owner_->Timeout())) != wrSignaled)
      RecordError(TransferError::Timeout, false);
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
