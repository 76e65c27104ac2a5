// SPDX-License-Identifier: GPL-3.0-or-later
// Components attached to a port: what they receive, and how attachment ends.
#include <condition_variable>
#include <thread>

#include "serial/SerTestSupport.h"

namespace {

struct Receiver : TSerCommComponent {
  using TSerCommComponent::TSerCommComponent;
  void CommData(const void* Data, int Count) override {
    data.append(static_cast<const char*>(Data), Count);
  }
  void CommEvent(uint32_t Events) override { events |= Events; }
  std::string data;
  uint32_t events = 0;
};

// Takes received bytes on any thread and hears only errors, as a transfer's component does.
struct AnyThreadReceiver : TSerCommComponent {
  using TSerCommComponent::TSerCommComponent;
  bool TakesDataOnAnyThread() const override { return true; }
  uint32_t CommEventsHeard() const override { return EV_ERR; }
  void CommData(const void* Data, int Count) override {
    std::lock_guard<std::mutex> lock(mutex);
    data.append(static_cast<const char*>(Data), Count);
    arrived.notify_all();
  }
  std::string WaitFor(size_t Count) {
    std::unique_lock<std::mutex> lock(mutex);
    arrived.wait_for(lock, std::chrono::seconds(5), [&] { return data.size() >= Count; });
    return data;
  }
  std::mutex mutex;
  std::condition_variable arrived;
  std::string data;
};

}  // namespace

TEST_F(VirtualLineTest, AnAttachedComponentTakesTheBytesBeforeOnRxBuf) {
  Receiver receiver(nullptr);
  receiver.SetComm(port.get());
  EXPECT_EQ(receiver.Dispatcher().Comm(), port.get());
  int rxChars = 0;
  std::string order;
  port->OnRxChar = [&](TObject*, int) { ++rxChars; };
  port->OnRxBuf = [&](TObject*, const void* Data, int Count) {
    order = receiver.data + "|" + std::string(static_cast<const char*>(Data), Count);
  };
  port->SetMonitorEvents(SerEvents({ceRxChar, ceCts}));
  port->Open();
  line->Send(VirtualLine::B, "data");
  ASSERT_TRUE(RunDeliveriesUntil([&] { return !order.empty(); }));
  EXPECT_EQ(order, "data|data");
  line->SetRts(VirtualLine::B, true);
  ASSERT_TRUE(RunDeliveriesUntil([&] { return receiver.events != 0; }));
  EXPECT_EQ(receiver.events, EV_CTS) << "received bytes never come as an event bit";

  // Inactive: the bytes are still read and passed to OnRxBuf, and lost to OnRxChar.
  receiver.SetEventsActive(false);
  order.clear();
  line->Send(VirtualLine::B, "more");
  ASSERT_TRUE(RunDeliveriesUntil([&] { return !order.empty(); }));
  EXPECT_EQ(order, "data|more");
  EXPECT_EQ(port->InQueCount(), 0);
  EXPECT_EQ(rxChars, 0);

  EXPECT_EQ(receiver.Dispatcher().Write("out", 3), 3);
  EXPECT_EQ(Received(3), "out");
  receiver.Dispatcher().PurgeAll();

  // Parked on another port, this one's own handler gets the bytes again.
  TSerComm parking(nullptr);
  receiver.SetComm(&parking);
  line->Send(VirtualLine::B, "!");
  ASSERT_TRUE(RunDeliveriesUntil([&] { return rxChars == 1; }));
  receiver.SetComm(nullptr);
  EXPECT_EQ(receiver.Dispatcher().Write("x", 1), 0);
}

// Its thread's writes and the answers to them pass without the main thread, which may be
// busy: nothing is left for it to run.
TEST_F(VirtualLineTest, AComponentTakingBytesOnAnyThreadDoesWithoutTheMainThread) {
  AnyThreadReceiver receiver(nullptr);
  receiver.SetComm(port.get());
  receiver.SetEventsActive(true);
  port->Open();
  std::thread([&] { receiver.Dispatcher().Write("ping", 4); }).join();
  EXPECT_EQ(line->TakeAtLeast(VirtualLine::B, 4, 5000), "ping");
  line->Send(VirtualLine::B, "pong");
  EXPECT_EQ(receiver.WaitFor(4), "pong");
  EXPECT_FALSE(CheckSynchronize(0)) << "a delivery waited for the main thread";
  receiver.SetComm(nullptr);
}

TEST(SerAttach, FreeingEitherSideEndsTheAttachment) {
  auto port = std::make_unique<TSerComm>(nullptr);
  Receiver first(nullptr), second(nullptr);
  first.SetComm(port.get());
  second.SetComm(port.get());
  {
    Receiver third(nullptr);
    third.SetComm(port.get());
  }  // detaches itself from the port
  port.reset();
  EXPECT_EQ(first.Comm(), nullptr);
  EXPECT_EQ(second.Comm(), nullptr);
  EXPECT_EQ(first.Dispatcher().Comm(), nullptr);

  // One owner frees both, the component (created last) first.
  TComponent owner(nullptr);
  Receiver* component = new Receiver(&owner);
  component->SetComm(new TSerComm(&owner));
  TComponent owner2(nullptr);
  TSerComm* port2 = new TSerComm(&owner2);
  Receiver* component2 = new Receiver(&owner2);
  component2->SetComm(port2);
  delete port2;  // the port first: the component's reference is cleared
  EXPECT_EQ(component2->Comm(), nullptr);
}

TEST_F(VirtualLineTest, TheDisplayHearsOfEachBatchUntilItIsFreed) {
  struct Display : TSerDisplay {
    using TSerDisplay::TSerDisplay;
    void CommNotify(TSerCustomComm* Comm) override { batches += Comm != nullptr; }
    int batches = 0;
  };
  auto* display = new Display(nullptr);
  port->SetDisplay(display);
  port->Open();
  line->Send(VirtualLine::B, "z");
  ASSERT_TRUE(RunDeliveriesUntil([&] { return display->batches == 1; }));
  delete display;
  EXPECT_EQ(port->Display(), nullptr);
}
