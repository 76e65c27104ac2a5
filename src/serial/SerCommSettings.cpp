// SPDX-License-Identifier: GPL-3.0-or-later
// Property setters: applied live, refused while open, or stored.
#include "serial/SerComm.h"
#include "serial/SerCommThreads.h"

void TSerCustomComm::SetBaudrate(TSerBaudrate Value) {
  if (Value == baudrate_) return;
  baudrate_ = Value;
  if (Value != brUser) userBaudrate_ = 0;
  ApplyDCB();
}

void TSerCustomComm::SetUserBaudrate(int Value) {
  if (Value == userBaudrate_) return;
  userBaudrate_ = Value;
  baudrate_ = brUser;
  ApplyDCB();
}

void TSerCustomComm::SetParity(TSerParity Value) {
  if (Value == parity_) return;
  parity_ = Value;
  ApplyDCB();
}

void TSerCustomComm::SetDatabits(TSerDatabits Value) {
  if (Value == databits_) return;
  databits_ = Value;
  ApplyDCB();
}

void TSerCustomComm::SetStopbits(TSerStopbits Value) {
  if (Value == stopbits_) return;
  stopbits_ = Value;
  ApplyDCB();
}

void TSerCustomComm::SetOptions(TSerCommOptions Value) {
  if (Value == options_) return;
  options_ = Value;
  ApplyDCB();
}

void TSerCustomComm::SetPortNum(TSerPortInt Value) {
  CheckClosed();
  portNum_ = Value;
}

void TSerCustomComm::SetDeviceName(const std::string& Value) {
  CheckClosed();
  deviceName_ = Value;
}

void TSerCustomComm::SetMonitorEvents(TSerCommEvents Value) {
  CheckClosed();
  monitorEvents_ = Value;
}

void TSerCustomComm::SetDirectWrite(bool Value) {
  CheckClosed();
  directWrite_ = Value;
}

void TSerCustomComm::SetUpdateDCB(bool Value) {
  CheckClosed();
  updateDcb_ = Value;
}

void TSerCustomComm::SetBuffers(const TSerBuffers& Value) {
  CheckClosed();
  buffers_.Assign(&Value);
}

// A size or limit changed on the Buffers object: the value is already stored, and takes
// effect at the next open when the port is open now.
void TSerCustomComm::BuffersChanged() {
  CheckClosed();
  ApplyBuffers();
  ApplyDCB();
}

void TSerCustomComm::SetEventPriority(TThreadPriority Value) {
  if (Value == eventPriority_) return;
  eventPriority_ = Value;
  if (eventThread_) eventThread_->SetPriority(Value);
}

void TSerCustomComm::SetWritePriority(TThreadPriority Value) {
  if (Value == writePriority_) return;
  writePriority_ = Value;
  if (writeThread_) writeThread_->SetPriority(Value);
}

void TSerCustomComm::SetDisplay(TSerDisplay* Value) {
  TSerDisplay* previous = display_;
  if (Value == previous) return;
  if (previous) RemoveFreeNotification(previous);
  display_ = Value;
  if (Value) FreeNotification(Value);
}
