// SPDX-License-Identifier: GPL-3.0-or-later
// Delivery of device events on the main thread, in the fixed order.
#include <algorithm>
#include <climits>
#include <vector>

#include "framework/ExceptionReport.h"
#include "serial/SerComm.h"

// Marks the thread whose delivery runs, so that a handler closing the port does not wait
// for that thread.
class DeliveryMark {
 public:
  DeliveryMark(std::vector<TThread*>& Delivering, TThread* From) : delivering_(Delivering) {
    delivering_.push_back(From);
  }
  ~DeliveryMark() { delivering_.pop_back(); }

 private:
  std::vector<TThread*>& delivering_;
};

void TSerCustomComm::ProcessEvents(TThread* From, uint32_t Events) {
  DeliveryMark mark(delivering_, From);
  try {
    NotifyDisplay();
    if (Events & EV_RXCHAR) {
      HandleRxChar();
      Events &= ~EV_RXCHAR;
    }
    if (Events) HandleEvents(Events);
  } catch (...) {
    ReportCurrentException();
  }
}

void TSerCustomComm::DeliverWriteEvents(TThread* From, uint32_t Events) {
  DeliveryMark mark(delivering_, From);
  // Guarded like the processing step, so that a handler cannot end the write thread.
  Guarded([&] { HandleEvents(Events); });
}

void TSerCustomComm::NotifyDisplay() {
  if (display_) display_->CommNotify(this);
}

void TSerCustomComm::HandleRxChar() {
  const int waiting = InQueCount();
  if (waiting <= 0) return;
  if (!dispatchers_.empty()) {
    // Attached components take the bytes, no more than they have room for: the rest
    // waits in the device (its queue is ReadSize) until they ask for it.
    const int count = std::min(waiting, ReceiveRoom());
    if (count < waiting) rxHeldBack_ = true;
    if (count <= 0) return;
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    const int read = ReadBuf(bytes.data(), count);
    if (read > 0) DoRxBuf(bytes.data(), read);
  } else if (OnRxChar) {
    OnRxChar(this, waiting);
  }
}

// The least room among the active components; a port whose components are all inactive
// still reads what waits (it is lost to them).
int TSerCustomComm::ReceiveRoom() const {
  int room = INT_MAX;
  for (TSerDispatcher* d : dispatchers_)
    if (d->Active()) room = std::min(room, d->User()->CommRoom());
  return room;
}

void TSerCustomComm::DoRxBuf(const void* Data, int Count) {
  if (dispatch_) {
    const size_t n = dispatchers_.size();
    for (size_t i = 0; i < n && i < dispatchers_.size(); ++i)
      if (dispatchers_[i]->Active()) dispatchers_[i]->User()->CommData(Data, Count);
  }
  if (OnRxBuf) OnRxBuf(this, Data, Count);
}

void TSerCustomComm::NotifyComponents(uint32_t Events) {
  if (!dispatch_) return;
  const size_t n = dispatchers_.size();
  for (size_t i = 0; i < n && i < dispatchers_.size(); ++i)
    if (dispatchers_[i]->Active()) dispatchers_[i]->User()->CommEvent(Events);
}

void TSerCustomComm::HandleEvents(uint32_t Events) {
  if (Events & EV_ERR) CheckErrors();
  if (!dispatchers_.empty()) NotifyComponents(Events);
  const std::pair<uint32_t, const TSerNotifyEvent*> handlers[] = {
      {EV_RXFLAG, &OnRxFlag},   {EV_CTS, &OnCts},       {EV_DSR, &OnDsr},
      {EV_RING, &OnRing},       {EV_RLSD, &OnRlsd},     {EV_TXEMPTY, &OnTxEmpty},
      {EV_BREAK, &OnBreak},     {EV_PERR, &OnPErr},     {EV_RX80FULL, &OnRx80Full},
      {EV_EVENT1, &OnEvent1},   {EV_EVENT2, &OnEvent2}};
  for (const auto& [bit, handler] : handlers)
    if (Events & bit) Fire(*handler);
}
