// SPDX-License-Identifier: GPL-3.0-or-later
// The POSIX device on real pseudo-terminals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/DeviceTestSupport.h"
#include "platform/SerialDevice.h"
#include "platform/Termios2.h"
#include "platform/WaitEvent.h"

using namespace std::chrono;

namespace {

class PosixDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GE(pty_.Master, 0);
    int error = 0;
    device_ = OpenSerialDevice(pty_.SlavePath, error);
    ASSERT_TRUE(device_) << SystemErrorText(error);
    ASSERT_TRUE(device_->SetCommState(PlainDcb()));
  }

  // Waits for the next event batch; a stop event is set after TimeoutMs so that a
  // missing event ends the wait with 0 instead of hanging the test.
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
  std::string ReadAll() {
    std::string out(65536, '\0');
    int got = 0;
    EXPECT_TRUE(device_->ReadFile(out.data(), static_cast<int>(out.size()), got));
    out.resize(static_cast<size_t>(got));
    return out;
  }
  uint32_t InQueue() {
    uint32_t errors = 0;
    COMSTAT stat;
    EXPECT_TRUE(device_->ClearCommError(errors, stat));
    return stat.cbInQue;
  }

  PtyPair pty_;
  std::unique_ptr<SerialDevice> device_;
};

}  // namespace

TEST(PosixDeviceOpen, ErrorsCarryErrnoAndItsText) {
  int error = 0;
  EXPECT_FALSE(OpenSerialDevice("/dev/no-such-tty", error));
  EXPECT_EQ(error, ENOENT);
  EXPECT_FALSE(OpenSerialDevice("/dev/null", error));  // not a terminal
  EXPECT_EQ(error, ENOTTY);
  EXPECT_EQ(SystemErrorText(ENOTTY), "Inappropriate ioctl for device");
}

TEST(PosixDeviceOpen, IsExclusiveUntilClosed) {
  PtyPair pty;
  int error = 0;
  auto first = OpenSerialDevice(pty.SlavePath, error);
  ASSERT_TRUE(first);
  EXPECT_FALSE(OpenSerialDevice(pty.SlavePath, error));
  EXPECT_EQ(error, EBUSY);
  EXPECT_EQ(SystemErrorText(error), "Device or resource busy");
  first.reset();
  EXPECT_TRUE(OpenSerialDevice(pty.SlavePath, error)) << error;
}

TEST_F(PosixDevice, AnyRateIsSetExactlyInRawMode) {
  const int probe = open(pty_.SlavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(probe, 0);
  for (uint32_t rate : {50u, 110u, 9600u, 232558u, 1000000u, 3686400u, 5000000u}) {
    ASSERT_TRUE(device_->SetCommState(PlainDcb(rate))) << rate;
    LineReadBack back;
    ASSERT_TRUE(ReadLineSettings(probe, back));
    EXPECT_EQ(back.OutputRate, rate);
    EXPECT_EQ(back.InputRate, rate);
  }
  DCB d = PlainDcb(19200);
  d.Flags |= DCB_fOutxCtsFlow | DCB_fOutX | DCB_fInX | DCB_fParity;
  d.XonChar = 0x11;
  d.XoffChar = 0x13;
  ASSERT_TRUE(device_->SetCommState(d));
  LineReadBack back;
  ASSERT_TRUE(ReadLineSettings(probe, back));
  EXPECT_FALSE(back.Canonical);
  EXPECT_FALSE(back.Echo);
  EXPECT_TRUE(back.LocalAndRead);
  EXPECT_EQ(back.Vmin, 0);
  EXPECT_EQ(back.Vtime, 0);
  EXPECT_TRUE(back.RtsCts);
  EXPECT_TRUE(back.XonXoffOut);
  EXPECT_TRUE(back.XonXoffIn);
  EXPECT_TRUE(back.ParityCheck);
  EXPECT_EQ(back.XonChar, 0x11);
  EXPECT_EQ(back.XoffChar, 0x13);
  ASSERT_TRUE(device_->SetCommState(PlainDcb(19200)));
  ASSERT_TRUE(ReadLineSettings(probe, back));
  EXPECT_FALSE(back.RtsCts);
  EXPECT_FALSE(back.XonXoffOut);
  close(probe);
}

TEST_F(PosixDevice, BytesCrossBothWays) {
  int written = 0, by = 0;
  std::string out(3000, '\0');
  for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<char>(i * 7);
  ASSERT_EQ(device_->WriteFile(out.data(), static_cast<int>(out.size()), written, 5000, {}, by),
            SerialDevice::wrDone);
  EXPECT_EQ(written, 3000);
  EXPECT_EQ(pty_.Receive(out.size()), out);

  ASSERT_TRUE(device_->SetCommMask(EV_RXCHAR));
  pty_.Send(std::string("\r\n\x00\xff\x03", 5));  // raw: nothing translated or eaten
  EXPECT_EQ(NextEvents(), EV_RXCHAR);
  EXPECT_EQ(ReadAll(), std::string("\r\n\x00\xff\x03", 5));
}

TEST_F(PosixDevice, ReceivedCharacterIsReportedOncePerArrival) {
  ASSERT_TRUE(device_->SetCommMask(EV_RXCHAR));
  pty_.Send("abc");
  EXPECT_EQ(NextEvents(), EV_RXCHAR);
  // The bytes stay unread: the next wait must sleep until new bytes come.
  const double cpu = ThreadCpuSeconds();
  EXPECT_EQ(NextEvents(400), 0u);
  EXPECT_LT(ThreadCpuSeconds() - cpu, 0.1);
  pty_.Send("d");
  EXPECT_EQ(NextEvents(), EV_RXCHAR);
  EXPECT_EQ(ReadAll(), "abcd");
}

TEST_F(PosixDevice, QueueCountsWithoutAnEventWait) {
  pty_.Send("12345");
  uint32_t count = 0;
  for (int i = 0; i < 500 && count < 5; ++i) {  // the pty hands bytes on asynchronously
    count = InQueue();
    if (count < 5) std::this_thread::sleep_for(milliseconds(10));
  }
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(ReadAll(), "12345");
  EXPECT_EQ(InQueue(), 0u);
}

TEST_F(PosixDevice, EventCharacterAndNulStripping) {
  DCB d = PlainDcb();
  d.Flags |= DCB_fNull;
  d.EvtChar = '\r';
  ASSERT_TRUE(device_->SetCommState(d));
  ASSERT_TRUE(device_->SetCommMask(EV_RXCHAR | EV_RXFLAG));
  pty_.Send("ok");
  EXPECT_EQ(NextEvents(), EV_RXCHAR);
  pty_.Send(std::string("a\0b\r", 4));
  EXPECT_EQ(NextEvents(), EV_RXCHAR | EV_RXFLAG);
  EXPECT_EQ(ReadAll(), "okab\r");
}

TEST_F(PosixDevice, FullQueueIsAnOverrunButTheKernelKeepsTheRest) {
  ASSERT_TRUE(device_->SetupComm(10, 2048));
  ASSERT_TRUE(device_->SetCommMask(EV_RXCHAR | EV_RX80FULL | EV_ERR));
  std::string sent;
  for (int i = 0; i < 30; ++i) sent += static_cast<char>('A' + i % 26);
  pty_.Send(sent);
  uint32_t seen = 0;
  while (!(seen & EV_ERR)) {
    const uint32_t events = NextEvents();
    ASSERT_NE(events, 0u);
    seen |= events;
  }
  EXPECT_EQ(seen & EV_RX80FULL, EV_RX80FULL);
  uint32_t errors = 0;
  COMSTAT stat;
  ASSERT_TRUE(device_->ClearCommError(errors, stat));
  EXPECT_EQ(errors & CE_RXOVER, CE_RXOVER);
  EXPECT_EQ(stat.cbInQue, 10u);
  std::string got;
  while (got.size() < sent.size()) {
    const std::string part = ReadAll();
    if (part.empty()) {
      ASSERT_NE(NextEvents(), 0u);
    }
    got += part;
  }
  EXPECT_EQ(got, sent);
}

TEST_F(PosixDevice, PurgeEmptiesTheInputQueue) {
  ASSERT_TRUE(device_->SetCommMask(EV_RXCHAR));
  pty_.Send("stale");
  ASSERT_EQ(NextEvents(), EV_RXCHAR);
  EXPECT_EQ(InQueue(), 5u);
  ASSERT_TRUE(device_->PurgeComm(PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR));
  EXPECT_EQ(InQueue(), 0u);
  EXPECT_EQ(ReadAll(), "");
  EXPECT_FALSE(device_->PurgeComm(0x10));
  EXPECT_EQ(device_->LastError(), EINVAL);
  pty_.Send("new");
  EXPECT_EQ(NextEvents(), EV_RXCHAR);
  EXPECT_EQ(ReadAll(), "new");
}

TEST_F(PosixDevice, WithoutModemControlCtsAndDsrAreOnAndLineChangesDoNothing) {
  uint32_t status = 0;
  ASSERT_TRUE(device_->GetCommModemStatus(status));
  EXPECT_EQ(status, MS_CTS_ON | MS_DSR_ON);
  for (uint32_t f : {SETDTR, CLRDTR, SETRTS, CLRRTS}) EXPECT_TRUE(device_->EscapeCommFunction(f)) << f;
  EXPECT_FALSE(device_->EscapeCommFunction(99));
  EXPECT_EQ(device_->LastError(), EINVAL);
  DCB d = PlainDcb();
  d.Flags |= (1u << DCB_fDtrControlShift) | (1u << DCB_fRtsControlShift);
  EXPECT_TRUE(device_->SetCommState(d));
}

TEST_F(PosixDevice, WriteEndsOnTimeoutAndOnCancel) {
  // Nobody reads the master: the pty fills and the write must give up.
  std::string big(1 << 20, 'x');
  int written = 0, by = 0;
  EXPECT_EQ(device_->WriteFile(big.data(), static_cast<int>(big.size()), written, 200, {}, by),
            SerialDevice::wrTimedOut);
  EXPECT_GT(written, 0);
  EXPECT_LT(written, static_cast<int>(big.size()));
  WaitEvent close, flush;
  std::thread later([&] {
    std::this_thread::sleep_for(milliseconds(50));
    flush.Set();
  });
  EXPECT_EQ(device_->WriteFile(big.data(), static_cast<int>(big.size()), written, -1,
                               {&close, &flush}, by),
            SerialDevice::wrCancelled);
  EXPECT_EQ(by, 1);
  later.join();
}

TEST_F(PosixDevice, SetCommMaskEndsAPendingWait) {
  ASSERT_TRUE(device_->SetCommMask(EV_RXCHAR));
  std::thread changer([&] {
    std::this_thread::sleep_for(milliseconds(50));
    device_->SetCommMask(0);
  });
  EXPECT_EQ(NextEvents(), 0u);
  changer.join();
}

TEST_F(PosixDevice, HangUpIsReportedOnceAndNeverSpins) {
  ASSERT_TRUE(device_->SetCommMask(EV_RXCHAR | EV_CTS | EV_DSR | EV_RLSD));
  pty_.CloseMaster();
  EXPECT_EQ(NextEvents(), EV_ERR);  // outside the mask, but the owner must hear of it
  const IdleWait idle = MeasureIdleWait(*device_, 500);
  EXPECT_LE(idle.Wakeups, 1);  // the return for the stop
  EXPECT_LT(idle.CpuSeconds, 0.1);
  EXPECT_EQ(ReadAll(), "");
  int written = 0, by = 0;
  EXPECT_EQ(device_->WriteFile("x", 1, written, 1000, {}, by), SerialDevice::wrFailed);
  EXPECT_EQ(device_->LastError(), EIO);
  uint32_t status = MAXDWORD, errors = 0;
  EXPECT_TRUE(device_->GetCommModemStatus(status));
  EXPECT_EQ(status, 0u);
  COMSTAT stat;
  ASSERT_TRUE(device_->ClearCommError(errors, stat));
  EXPECT_EQ(errors, CE_IOE);
}

TEST_F(PosixDevice, IdlePortWakesForNothing) {
  ASSERT_TRUE(device_->SetCommMask(EV_RXCHAR));
  WaitEvent stop;
  std::atomic<int> wakeups{0};
  std::thread waiter([&] {
    uint32_t events = 0;
    while (!stop.IsSet() && device_->WaitCommEvent(events, stop))
      if (events) ++wakeups;
  });
  std::this_thread::sleep_for(milliseconds(300));
  stop.Set();
  waiter.join();
  EXPECT_EQ(wakeups, 0);
}
