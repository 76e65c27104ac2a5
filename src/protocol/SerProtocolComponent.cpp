// SPDX-License-Identifier: GPL-3.0-or-later
#include <climits>

#include "framework/ExceptionReport.h"
#include "protocol/SerProtocolBase.h"

namespace {
// The destructor's wait for a stopped worker wakes at each delivery; this only bounds
// one sleep between them.
constexpr int StopWaitSliceMs = 1000;
}  // namespace

TSerProtocol::TSerProtocol(TComponent* AOwner) : TSerCommComponent(AOwner) {
  SetEventsActive(false);
}

TSerProtocol::~TSerProtocol() { StopForDestruction(); }

void TSerProtocol::StopForDestruction() {
  BeginDestroy();
  // The port may be handing over bytes on its event thread: leaving it waits for that.
  if (Comm()) SetComm(nullptr);
  if (!worker_) return;
  // The worker reads this component while it runs: stop it and let it end here, running
  // the deliveries it waits for (they raise nothing now) until its end has been handled.
  worker_->StopWorker();
  while (worker_) CheckSynchronize(StopWaitSliceMs);
}

int TSerProtocol::ErrorCode() const { return worker_ ? worker_->ErrorCode() : 0; }

int TSerProtocol::ErrorCount() const { return worker_ ? worker_->ErrorCount() : 0; }

void TSerProtocol::CheckIdle() const {
  if (worker_) throw Exception("Transfer already in progress...");
}

void TSerProtocol::PrepareTransfer() {
  exitCode_ = TransferExit::Success;
  Dispatcher().PurgeAll();
  SetEventsActive(true);
}

void TSerProtocol::StartTransfer() {
  CheckIdle();
  PrepareTransfer();
  TSerProtocolThread* worker = CreateWorker();
  worker->OnTerminate = [this](TObject*) { TransferFinished(); };
  {
    std::lock_guard<std::mutex> lock(workerLock_);
    worker_ = worker;
  }
  DoTransferStart();
  worker->Start();
}

void TSerProtocol::AbortTransfer() {
  if (worker_) worker_->CancelWorker();
}

void TSerProtocol::CommData(const void* Data, int Count) {
  std::lock_guard<std::mutex> lock(workerLock_);
  if (Count > 0 && worker_) worker_->PutData(Data, Count);
}

int TSerProtocol::CommRoom() {
  std::lock_guard<std::mutex> lock(workerLock_);
  return worker_ ? worker_->Room() : INT_MAX;
}

void TSerProtocol::CommEvent(uint32_t Events) {
  if ((Events & EV_ERR) && worker_ && Dispatcher().LineGone()) worker_->LineLost();
}

void TSerProtocol::DoTransferStart() { RaiseEvent(OnTransferStart); }

void TSerProtocol::DoTransferEnd() { RaiseEvent(OnTransferEnd, ExitCode()); }

void TSerProtocol::DoError() { RaiseEvent(OnError, ErrorCode(), ErrorCount()); }

void TSerProtocol::TransferFinished() {
  SetEventsActive(false);
  {
    // The worker frees itself once this returns.
    std::lock_guard<std::mutex> lock(workerLock_);
    worker_ = nullptr;
  }
  if (Destroying()) return;
  DoTransferEnd();
}

void TSerProtocol::ReportCurrentHandlerException() { ReportCurrentException(); }
