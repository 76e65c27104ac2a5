// SPDX-License-Identifier: GPL-3.0-or-later
// The virtual line: end A is opened as the device, end B is the scripted peer.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/DeviceTestSupport.h"
#include "platform/SerialDevice.h"
#include "platform/VirtualLine.h"
#include "platform/WaitEvent.h"

using namespace std::chrono;
using VL = VirtualLine;

namespace {

class VirtualLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    line_ = VirtualLine::Create("test");
    int error = 0;
    device_ = OpenSerialDevice(line_->Path(VL::A), error);
    ASSERT_TRUE(device_) << error;
  }

  uint32_t NextEvents(int TimeoutMs = 5000) {
    WaitEvent stop;
    std::thread guard([&] {
      stop.Wait(TimeoutMs);
      stop.Set();
    });
    uint32_t events = 0;
    EXPECT_TRUE(device_->WaitCommEvent(events, stop));
    stop.Set();
    guard.join();
    return events;
  }
  // Events already pending, without blocking.
  uint32_t PendingEvents() {
    WaitEvent stop;
    stop.Set();
    uint32_t events = 0;
    EXPECT_TRUE(device_->WaitCommEvent(events, stop));
    return events;
  }
  std::string ReadAll() {
    std::string out(65536, '\0');
    int got = 0;
    EXPECT_TRUE(device_->ReadFile(out.data(), static_cast<int>(out.size()), got));
    out.resize(static_cast<size_t>(got));
    return out;
  }
  uint32_t Status() {
    uint32_t s = 0;
    EXPECT_TRUE(device_->GetCommModemStatus(s));
    return s;
  }
  SerialDevice::WriteOutcome Write(const std::string& Bytes, int& Written, int TimeoutMs = -1,
                                   std::initializer_list<const WaitEvent*> Cancel = {}) {
    int by = 0;
    return device_->WriteFile(Bytes.data(), static_cast<int>(Bytes.size()), Written, TimeoutMs,
                              Cancel, by);
  }

  std::shared_ptr<VirtualLine> line_;
  std::unique_ptr<SerialDevice> device_;
};

}  // namespace

TEST_F(VirtualLineTest, ModemLinesAreCrossed) {
  ASSERT_TRUE(device_->SetCommMask(EV_CTS | EV_DSR | EV_RLSD | EV_RING));
  EXPECT_EQ(Status(), 0u);
  line_->SetRts(VL::B, true);
  EXPECT_EQ(NextEvents(), EV_CTS);
  EXPECT_EQ(Status(), MS_CTS_ON);
  line_->SetDtr(VL::B, true);
  EXPECT_EQ(NextEvents(), EV_DSR | EV_RLSD);
  EXPECT_EQ(Status(), MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);
  line_->SetRing(VL::B, true);
  EXPECT_EQ(NextEvents(), EV_RING);
  EXPECT_EQ(Status() & MS_RING_ON, MS_RING_ON);
  line_->SetRts(VL::B, true);  // no change, no event
  EXPECT_EQ(PendingEvents(), 0u);

  ASSERT_TRUE(device_->EscapeCommFunction(CLRDTR));
  ASSERT_TRUE(device_->EscapeCommFunction(CLRRTS));
  EXPECT_FALSE(line_->Dtr(VL::A));
  EXPECT_FALSE(line_->Rts(VL::A));
  ASSERT_TRUE(device_->EscapeCommFunction(SETDTR));
  EXPECT_TRUE(line_->Dtr(VL::A));
  EXPECT_FALSE(line_->Rts(VL::A));
}

TEST_F(VirtualLineTest, OpenRaisesDtrAndRtsAndTheBlockSetsThem) {
  // Opening raised both; a block with DTR disabled and RTS enabled lowers DTR at once.
  DCB d = PlainDcb(9600);
  d.Flags |= 1u << DCB_fRtsControlShift;
  ASSERT_TRUE(device_->SetCommState(d));
  const auto dtr = line_->DtrHistory(VL::A);
  ASSERT_EQ(dtr.size(), 2u);
  EXPECT_TRUE(dtr[0].State);
  EXPECT_FALSE(dtr[1].State);
  EXPECT_LE(dtr[0].When, dtr[1].When);
  EXPECT_EQ(line_->RtsHistory(VL::A).size(), 1u);
  EXPECT_TRUE(line_->Rts(VL::A));
  EXPECT_EQ(line_->DcbWrites(VL::A), 1);
  EXPECT_EQ(line_->LastDcb(VL::A).BaudRate, 9600u);
  EXPECT_EQ(line_->LastDcb(VL::A).Flags, d.Flags);

  device_.reset();  // closing drops both lines
  EXPECT_FALSE(line_->Rts(VL::A));
  EXPECT_FALSE(line_->RtsHistory(VL::A).back().State);
}

TEST_F(VirtualLineTest, RefusedBlocksAreNotCounted) {
  line_->RefuseDcb(VL::A, EIO);
  EXPECT_FALSE(device_->SetCommState(PlainDcb()));
  EXPECT_EQ(device_->LastError(), EIO);
  line_->RefuseDcb(VL::A, 0);
  DCB bad = PlainDcb();
  bad.StopBits = 1;
  EXPECT_FALSE(device_->SetCommState(bad));
  EXPECT_EQ(device_->LastError(), EINVAL);
  EXPECT_EQ(line_->DcbWrites(VL::A), 0);
  EXPECT_TRUE(device_->SetCommState(PlainDcb(57600)));
  EXPECT_EQ(line_->DcbWrites(VL::A), 1);
  EXPECT_EQ(line_->LastDcb(VL::A).BaudRate, 57600u);
}

TEST_F(VirtualLineTest, BytesCrossAndArrivalIsReportedOnce) {
  ASSERT_TRUE(device_->SetCommMask(EV_RXCHAR | EV_TXEMPTY));
  EXPECT_EQ(line_->LastMask(VL::A), EV_RXCHAR | EV_TXEMPTY);
  int written = 0;
  ASSERT_EQ(Write("hello", written), SerialDevice::wrDone);
  EXPECT_EQ(written, 5);
  EXPECT_EQ(line_->Take(VL::B), "hello");
  EXPECT_EQ(PendingEvents(), EV_TXEMPTY);  // once the write has arrived
  EXPECT_EQ(PendingEvents(), 0u);

  line_->Send(VL::B, "abc");
  EXPECT_EQ(NextEvents(), EV_RXCHAR);
  EXPECT_EQ(NextEvents(100), 0u);  // unread bytes do not raise it again
  line_->Send(VL::B, "d");
  EXPECT_EQ(NextEvents(), EV_RXCHAR);
  EXPECT_EQ(ReadAll(), "abcd");
}

TEST_F(VirtualLineTest, TakeAtLeastWaitsForTheBytes) {
  std::thread writer([&] {
    int written = 0;
    for (char c : std::string("12345")) {
      std::this_thread::sleep_for(milliseconds(10));
      Write(std::string(1, c), written);
    }
  });
  EXPECT_EQ(line_->TakeAtLeast(VL::B, 5, 10000), "12345");
  writer.join();
  EXPECT_EQ(line_->TakeAtLeast(VL::B, 1, 30), "");
}

TEST_F(VirtualLineTest, ReceiveRulesOverrunAndEightyPercent) {
  DCB d = PlainDcb();
  d.Flags |= DCB_fNull;
  d.EvtChar = '#';
  ASSERT_TRUE(device_->SetCommState(d));
  ASSERT_TRUE(device_->SetupComm(10, 100));
  ASSERT_TRUE(device_->SetCommMask(EV_RXCHAR | EV_RXFLAG | EV_RX80FULL | EV_ERR));
  line_->Send(VL::B, std::string("a\0#", 3));
  EXPECT_EQ(NextEvents(), EV_RXCHAR | EV_RXFLAG);
  EXPECT_EQ(ReadAll(), "a#");

  const std::string sent = "0123456789ABCDEFGHIJ";
  line_->Send(VL::B, sent);
  EXPECT_EQ(PendingEvents(), EV_RXCHAR | EV_RX80FULL | EV_ERR);
  uint32_t errors = 0;
  COMSTAT stat;
  ASSERT_TRUE(device_->ClearCommError(errors, stat));
  EXPECT_EQ(errors, CE_RXOVER);
  EXPECT_EQ(stat.cbInQue, 10u);
  ASSERT_TRUE(device_->ClearCommError(errors, stat));
  EXPECT_EQ(errors, 0u);  // cleared by the first look
  // The bytes that did not fit wait on the line and follow as room is made.
  EXPECT_EQ(ReadAll(), "0123456789");
  EXPECT_EQ(ReadAll(), "ABCDEFGHIJ");
}

TEST_F(VirtualLineTest, InjectedLineErrorsAndBreak) {
  ASSERT_TRUE(device_->SetCommMask(EV_ERR | EV_BREAK));
  line_->InjectLineErrors(VL::A, CE_FRAME | CE_RXPARITY);
  EXPECT_EQ(NextEvents(), EV_ERR);
  line_->InjectBreak(VL::A);
  EXPECT_EQ(NextEvents(), EV_BREAK);
  uint32_t errors = 0;
  COMSTAT stat;
  ASSERT_TRUE(device_->ClearCommError(errors, stat));
  EXPECT_EQ(errors, CE_FRAME | CE_RXPARITY | CE_BREAK);
  ASSERT_TRUE(device_->SetCommMask(EV_RXCHAR));
  line_->InjectLineErrors(VL::A, CE_OVERRUN);  // outside the mask: no event, still counted
  EXPECT_EQ(PendingEvents(), 0u);
  ASSERT_TRUE(device_->ClearCommError(errors, stat));
  EXPECT_EQ(errors, CE_OVERRUN);
}

TEST_F(VirtualLineTest, FailingWritesAndRecovery) {
  line_->FailWrites(VL::A, ENXIO);
  int written = -1;
  EXPECT_EQ(Write("abc", written), SerialDevice::wrFailed);
  EXPECT_EQ(written, 0);
  EXPECT_EQ(device_->LastError(), ENXIO);
  EXPECT_EQ(line_->Take(VL::B), "");
  line_->FailWrites(VL::A, 0);
  EXPECT_EQ(Write("abc", written), SerialDevice::wrDone);
  EXPECT_EQ(line_->Take(VL::B), "abc");
}

TEST_F(VirtualLineTest, HangUpIsReportedOnceThenBlocksOnStopAlone) {
  ASSERT_TRUE(device_->SetCommMask(EV_RXCHAR | EV_CTS));
  line_->HangUp();
  line_->Send(VL::B, "lost");
  EXPECT_EQ(NextEvents(), EV_ERR);  // outside the mask, but the owner must hear of it
  const IdleWait idle = MeasureIdleWait(*device_, 500);
  EXPECT_LE(idle.Wakeups, 1);  // the return for the stop
  EXPECT_LT(idle.CpuSeconds, 0.1);
  EXPECT_EQ(ReadAll(), "");
  uint32_t errors = 0;
  COMSTAT stat;
  ASSERT_TRUE(device_->ClearCommError(errors, stat));
  EXPECT_EQ(errors, CE_IOE);
  int written = 0;
  EXPECT_EQ(Write("x", written), SerialDevice::wrFailed);
  EXPECT_EQ(device_->LastError(), EIO);
  EXPECT_EQ(Status(), 0u);
}

TEST_F(VirtualLineTest, PacedLineTakesTheTimeOfTheBaudRate) {
  line_->SetPaced(true);
  ASSERT_TRUE(device_->SetCommState(PlainDcb(115200)));  // 11520 bytes a second
  // The line holds 4096 bytes; a write of more waits while the rest leaves.
  int written = 0;
  const std::string bytes(4096 + 1152, 'p');
  const auto start = steady_clock::now();
  ASSERT_EQ(Write(bytes, written), SerialDevice::wrDone);
  EXPECT_GE(steady_clock::now() - start, milliseconds(90));
  EXPECT_LT(steady_clock::now() - start, milliseconds(400));
  EXPECT_EQ(line_->TakeAtLeast(VL::B, bytes.size(), 10000), bytes);

  ASSERT_TRUE(device_->SetCommState(PlainDcb(9600)));  // 960 bytes a second
  // The peer's bytes come at the same pace; the wait sleeps until they arrive.
  ASSERT_TRUE(device_->SetCommMask(EV_RXCHAR));
  line_->Send(VL::B, std::string(48, 'q'));
  std::string got = ReadAll();
  EXPECT_LT(got.size(), 48u);
  while (got.size() < 48) {
    ASSERT_EQ(NextEvents(), EV_RXCHAR);
    got += ReadAll();
  }
  EXPECT_EQ(got, std::string(48, 'q'));
}

TEST_F(VirtualLineTest, CancelledPacedWriteSendsOnlyWhatTheLineTook) {
  line_->SetPaced(true);
  ASSERT_TRUE(device_->SetCommState(PlainDcb(1200)));  // 120 bytes a second
  WaitEvent close, flush;
  std::thread later([&] {
    std::this_thread::sleep_for(milliseconds(100));
    close.Set();
  });
  int written = 0;
  EXPECT_EQ(Write(std::string(8192, 'z'), written, -1, {&close, &flush}),
            SerialDevice::wrCancelled);
  later.join();
  EXPECT_GE(written, 4096);
  EXPECT_LT(written, 4096 + 60);
  // What the line holds is dropped by a purge of the output, not by the cancel.
  ASSERT_TRUE(device_->PurgeComm(PURGE_TXABORT | PURGE_TXCLEAR));
  const size_t arrived = line_->Take(VL::B).size();
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_EQ(line_->Take(VL::B), "");
  EXPECT_LT(arrived, 60u);

  EXPECT_EQ(Write(std::string(8192, 'z'), written, 50), SerialDevice::wrTimedOut);
  EXPECT_LE(written, 4096 + 12);
}

TEST(VirtualLineOpen, EndsAreFoundByPathAndOpenedOnce) {
  int error = 0;
  EXPECT_FALSE(OpenSerialDevice("vline:nothing:A", error));
  EXPECT_EQ(error, ENOENT);
  auto line = VirtualLine::Create("pair");
  EXPECT_EQ(line->Path(VL::B), "vline:pair:B");
  for (const char* bad : {"vline:pair:C", "vline:pair", "vline:pair:AB", "vline::A"}) {
    EXPECT_FALSE(OpenSerialDevice(bad, error)) << bad;
    EXPECT_EQ(error, ENOENT) << bad;
  }
  auto a = OpenSerialDevice("vline:pair:A", error);
  ASSERT_TRUE(a);
  EXPECT_FALSE(OpenSerialDevice("vline:pair:A", error));
  EXPECT_EQ(error, EBUSY);
  auto b = OpenSerialDevice("vline:pair:B", error);
  ASSERT_TRUE(b);
  // Two devices talk to each other.
  int written = 0, by = 0, got = 0;
  ASSERT_EQ(a->WriteFile("ping", 4, written, -1, {}, by), SerialDevice::wrDone);
  char buffer[8];
  ASSERT_TRUE(b->ReadFile(buffer, sizeof buffer, got));
  EXPECT_EQ(std::string(buffer, got), "ping");
  uint32_t status = 0;
  b->GetCommModemStatus(status);
  EXPECT_EQ(status, MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);  // A's open raised its lines

  a.reset();
  b.reset();
  line.reset();  // the line goes with its last holder
  EXPECT_FALSE(OpenSerialDevice("vline:pair:A", error));
  EXPECT_EQ(error, ENOENT);
}

TEST(VirtualLineOpen, BytesSentBeforeOpenWaitForTheDevice) {
  auto line = VirtualLine::Create("early");
  line->Send(VL::B, "early");
  int error = 0, got = 0;
  auto a = OpenSerialDevice(line->Path(VL::A), error);
  ASSERT_TRUE(a);
  char buffer[16];
  ASSERT_TRUE(a->ReadFile(buffer, sizeof buffer, got));
  EXPECT_EQ(std::string(buffer, got), "early");
}
