// SPDX-License-Identifier: GPL-3.0-or-later
// Deliveries from the event and write threads: what fires, in which order, and how the
// threads survive failing handlers, failing writes and a close.
#include "serial/SerTestSupport.h"

namespace {

// Records the event bits the port hands to an attached component.
struct EventLog : TSerCommComponent {
  EventLog() : TSerCommComponent(nullptr) {}
  void CommEvent(uint32_t Events) override { events.push_back(Events); }
  int Count(uint32_t Bit) { return static_cast<int>(std::count_if(
      events.begin(), events.end(), [Bit](uint32_t e) { return e & Bit; })); }
  std::vector<uint32_t> events;
};

// Notes each named handler as it fires.
auto Note(std::vector<std::string>& Seen, const char* Name) {
  return [&Seen, Name](TObject*) { Seen.push_back(Name); };
}

}  // namespace

TEST_F(VirtualLineTest, OnRxCharReportsTheWaitingCountOncePerArrival) {
  std::vector<int> counts;
  port->OnRxChar = [&](TObject*, int Count) { counts.push_back(Count); };  // reads nothing
  port->Open();
  line->Send(VirtualLine::B, "0123456789");
  ASSERT_TRUE(RunDeliveriesUntil([&] { return !counts.empty(); }));
  RunDeliveriesFor(300);
  EXPECT_EQ(counts, std::vector<int>{10}) << "unread bytes are not reported again";
  line->Send(VirtualLine::B, "ab");
  ASSERT_TRUE(RunDeliveriesUntil([&] { return counts.size() == 2; }));
  EXPECT_EQ(counts[1], 12);
}

TEST_F(VirtualLineTest, EventsArrivingTogetherAreDeliveredInTheFixedOrder) {
  struct Port : TSerComm {
    using TSerComm::HandleEvents;
    using TSerComm::TSerComm;
  } ordered(nullptr);
  ordered.SetDeviceName(line->Path(VirtualLine::A));
  ordered.SetMonitorEvents(0);  // no event thread: the test delivers
  std::vector<std::string> seen;
  ordered.OnError = [&](TObject*, int Errors) {
    seen.push_back(Errors == static_cast<int>(CE_FRAME) ? "Error" : "wrong errors");
  };
  struct Component : TSerCommComponent {
    using TSerCommComponent::TSerCommComponent;
    std::vector<std::string>* seen;
    void CommEvent(uint32_t) override { seen->push_back("Component"); }
  } component(nullptr);
  component.seen = &seen;
  component.SetComm(&ordered);
  const std::pair<TSerNotifyEvent*, const char*> handlers[] = {
      {&ordered.OnRxFlag, "RxFlag"}, {&ordered.OnCts, "Cts"},       {&ordered.OnDsr, "Dsr"},
      {&ordered.OnRing, "Ring"},     {&ordered.OnRlsd, "Rlsd"},     {&ordered.OnTxEmpty, "TxEmpty"},
      {&ordered.OnBreak, "Break"},   {&ordered.OnPErr, "PErr"},     {&ordered.OnRx80Full, "Rx80Full"},
      {&ordered.OnEvent1, "Event1"}, {&ordered.OnEvent2, "Event2"}};
  std::vector<std::string> expected{"Error", "Component"};
  for (auto [handler, name] : handlers) {
    *handler = Note(seen, name);
    expected.push_back(name);
  }
  ordered.Open();
  line->InjectLineErrors(VirtualLine::A, CE_FRAME);
  ordered.HandleEvents(0x1FFE);
  EXPECT_EQ(seen, expected);
}

TEST_F(VirtualLineTest, LineChangesAndErrorsFireTheirEvents) {
  port->SetMonitorEvents(SerEvents({ceBreak, ceCts, ceDsr, ceError, ceRing, ceRlsd}));
  std::vector<std::string> seen;
  uint32_t errors = 0;
  port->OnCts = Note(seen, "Cts");
  port->OnDsr = Note(seen, "Dsr");
  port->OnRlsd = Note(seen, "Rlsd");
  port->OnRing = Note(seen, "Ring");
  port->OnBreak = Note(seen, "Break");
  port->OnError = [&](TObject*, int Errors) { errors |= static_cast<uint32_t>(Errors); };
  port->Open();
  line->SetRts(VirtualLine::B, true);
  ASSERT_TRUE(RunDeliveriesUntil([&] { return seen.size() == 1; }));
  line->SetDtr(VirtualLine::B, true);
  ASSERT_TRUE(RunDeliveriesUntil([&] { return seen.size() == 3; }));
  line->SetRing(VirtualLine::B, true);
  ASSERT_TRUE(RunDeliveriesUntil([&] { return seen.size() == 4; }));
  line->InjectBreak(VirtualLine::A);
  ASSERT_TRUE(RunDeliveriesUntil([&] { return seen.size() == 5; }));
  EXPECT_EQ(seen, (std::vector<std::string>{"Cts", "Dsr", "Rlsd", "Ring", "Break"}));
  line->InjectLineErrors(VirtualLine::A, CE_OVERRUN | CE_RXPARITY);
  ASSERT_TRUE(RunDeliveriesUntil([&] { return errors != 0; }));
  EXPECT_EQ(errors, CE_OVERRUN | CE_RXPARITY | CE_BREAK) << "the break's error bit too";
}

TEST_F(VirtualLineTest, HandlerExceptionsAreReportedAndDeliveriesGoOn) {
  ReportCatcher reports;
  std::string text;
  port->OnRxChar = [&](TObject*, int) {
    text += port->ReadText();
    throw Exception("rx handler");
  };
  port->OnTxEmpty = [](TObject*) { throw Exception("tx handler"); };
  port->OnError = [](TObject*, int) { throw Exception("error handler"); };
  port->Open();
  line->Send(VirtualLine::B, "1");
  ASSERT_TRUE(RunDeliveriesUntil([&] { return reports.Messages().size() == 1; }));
  line->Send(VirtualLine::B, "2");
  ASSERT_TRUE(RunDeliveriesUntil([&] { return text == "12"; }));
  port->WriteChar('a');  // a failing OnTxEmpty must not end the write thread
  ASSERT_TRUE(RunDeliveriesUntil([&] { return reports.Messages().size() == 3; }));
  port->WriteChar('b');
  EXPECT_EQ(Received(2), "ab");
  ASSERT_TRUE(RunDeliveriesUntil([&] { return reports.Messages().size() == 4; }));
  line->InjectLineErrors(VirtualLine::A, CE_FRAME);
  ASSERT_TRUE(RunDeliveriesUntil([&] { return reports.Messages().size() == 5; }));
  EXPECT_EQ(reports.Messages(), (std::vector<std::string>{"rx handler", "rx handler", "tx handler",
                                                          "tx handler", "error handler"}));
}

TEST_F(VirtualLineTest, FailingWritesReportOncePerPassAndRetryAfterAPause) {
  EventLog log;
  log.SetComm(port.get());
  port->Open();
  line->FailWrites(VirtualLine::A, EIO);
  port->WriteBuf("abc", 3);
  RunDeliveriesFor(1000);
  EXPECT_GE(log.Count(EV_ERR), 2) << "the write is tried again";
  EXPECT_LE(log.Count(EV_ERR), 20) << "retries are paced, not a flood";
  line->FailWrites(VirtualLine::A, 0);
  EXPECT_EQ(Received(3), "abc") << "the same bytes go out once the device takes them";
  EXPECT_TRUE(RunDeliveriesUntil([&] { return log.Count(EV_TXEMPTY) == 1; }));
}

TEST_F(VirtualLineTest, CloseCompletesWhileADeliveryIsPending) {
  WaitEvent requested;
  SetSynchronizeWakeUp([&] { requested.Set(); });
  int rx = 0, empties = 0;
  port->OnRxChar = [&](TObject*, int) { ++rx; };
  port->OnTxEmpty = [&](TObject*) { ++empties; };
  port->Open();
  line->Send(VirtualLine::B, "x");
  ASSERT_EQ(requested.Wait(5000), WaitEvent::Signaled);
  port->Close();  // the event thread waits for its delivery
  EXPECT_EQ(rx, 1) << "a delivery asked for before the close still runs";
  requested.Reset();
  port->Open();
  port->WriteChar('y');
  ASSERT_EQ(requested.Wait(5000), WaitEvent::Signaled);
  port->Close();  // now the write thread waits for its delivery
  SetSynchronizeWakeUp(nullptr);
  EXPECT_EQ(empties, 1);
  EXPECT_FALSE(port->Active());
}
