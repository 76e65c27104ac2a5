// SPDX-License-Identifier: GPL-3.0-or-later
// Delivery of device events on the main thread, in the fixed order.
#include <algorithm>
#include <climits>
#include <optional>
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
  if (TSerDisplay* display = display_) display->CommNotify(this);
}

// The road of a transfer's answers: the component's worker waits for them, and on a fast
// line a hop through the main thread (busy with the previous packet's report, or with the
// window) would hold up every block. The device and the components lock inside; the event
// thread takes no CommLock here, since Close holds it while it waits for that thread.
bool TSerCustomComm::DeliverRxDirectly() {
  if (!dispatch_ || display_ || OnRxBuf.Assigned()) return false;
  std::lock_guard<std::mutex> lock(attachLock_);
  // The least room among the active components; none when there is no active one, or one
  // of them takes bytes on the main thread only.
  auto directRoom = [this]() -> std::optional<int> {
    std::optional<int> room;
    for (TSerDispatcher* d : dispatchers_) {
      if (!d->Active()) continue;
      if (!d->User()->TakesDataOnAnyThread()) return std::nullopt;
      room = std::min(room.value_or(INT_MAX), d->User()->CommRoom());
    }
    return room;
  };
  std::optional<int> room = directRoom();
  if (!room) return false;
  uint8_t bytes[4096];
  for (;;) {
    const int want = std::min(*room, static_cast<int>(sizeof bytes));
    if (want <= 0) {
      rxHeldBack_ = true;  // handed on when the component asks for more
      return true;
    }
    int read = 0;
    if (!device_->ReadFile(bytes, want, read) || read <= 0) return true;
    for (TSerDispatcher* d : dispatchers_)
      if (d->Active()) d->User()->CommData(bytes, read);
    if (read < want) return true;
    room = directRoom();
    if (!room) return false;  // the rest goes the main thread's way
  }
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

bool TSerCustomComm::TxEmptyHeard() {
  if (OnTxEmpty.Assigned()) return true;
  std::lock_guard<std::mutex> lock(attachLock_);
  for (TSerDispatcher* d : dispatchers_)
    if (d->Active() && (d->User()->CommEventsHeard() & EV_TXEMPTY)) return true;
  return false;
}
