// SPDX-License-Identifier: GPL-3.0-or-later
// Attaching components to a port.
#include "serial/SerComm.h"

#include <algorithm>

// The lock waits for a delivery the event thread is making: once detached, a component
// is not called any more.
void TSerCustomComm::AttachDispatcher(TSerDispatcher* Dispatcher) {
  std::lock_guard<std::mutex> lock(attachLock_);
  Dispatcher->comm_ = this;
  dispatchers_.push_back(Dispatcher);
}

void TSerCustomComm::DetachDispatcher(TSerDispatcher* Dispatcher) {
  {
    std::lock_guard<std::mutex> lock(attachLock_);
    auto it = std::find(dispatchers_.begin(), dispatchers_.end(), Dispatcher);
    if (it == dispatchers_.end()) return;
    Dispatcher->comm_ = nullptr;
    dispatchers_.erase(it);
  }
  UnwatchArrivals();  // the event thread takes the arrivals again
}

TSerDispatcher::~TSerDispatcher() {
  if (TSerCustomComm* comm = comm_) comm->DetachDispatcher(this);
}

TSerComm* TSerDispatcher::Comm() const { return dynamic_cast<TSerComm*>(comm_.load()); }

int TSerDispatcher::Write(const void* Data, int Count) {
  TSerCustomComm* comm = comm_;
  return comm ? comm->WriteBuf(Data, Count) : 0;
}

void TSerDispatcher::PurgeAll() {
  if (TSerCustomComm* comm = comm_) comm->PurgeAll();
}

void TSerDispatcher::PurgeOutput() {
  if (TSerCustomComm* comm = comm_) comm->Purge(PURGE_TXABORT | PURGE_TXCLEAR);
}

bool TSerDispatcher::WaitForOutQue(int AtMost, int WaitMs) {
  TSerCustomComm* comm = comm_;
  return comm ? comm->WaitForOutQue(AtMost, WaitMs) : true;
}

void TSerDispatcher::ResumeReceive() {
  if (TSerCustomComm* comm = comm_) comm->ResumeReceive();
}

int TSerDispatcher::WatchArrivals() {
  TSerCustomComm* comm = comm_;
  return comm ? comm->WatchArrivals() : -1;
}

void TSerDispatcher::UnwatchArrivals() {
  if (TSerCustomComm* comm = comm_) comm->UnwatchArrivals();
}

bool TSerDispatcher::LineGone() {
  TSerCustomComm* comm = comm_;
  return comm && (!comm->Active() || comm->HungUp());
}

TSerCommComponent::TSerCommComponent(TComponent* AOwner) : TSerComponent(AOwner) {}

void TSerCommComponent::SetComm(TSerComm* Value) {
  if (TSerCustomComm* previous = dispatcher_.comm_) previous->DetachDispatcher(&dispatcher_);
  if (comm_ && comm_ != Value) RemoveFreeNotification(comm_);
  comm_ = Value;
  if (comm_) {
    comm_->AttachDispatcher(&dispatcher_);
    FreeNotification(comm_);
  }
}

void TSerCommComponent::Notification(TComponent* AComponent, TOperation Operation) {
  TSerComponent::Notification(AComponent, Operation);
  // The port has already detached our dispatcher in its destructor.
  if (Operation == opRemove && comm_ && AComponent == static_cast<TComponent*>(comm_))
    SetComm(nullptr);
}
