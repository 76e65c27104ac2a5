// SPDX-License-Identifier: GPL-3.0-or-later
// The port on network ports: through a real ser2net serving a pseudo-terminal pair (the
// bytes, the rate reaching the far terminal, refusals, the server going away and coming
// back), and through the small COM port server (line changes and modem lines, which a
// pseudo-terminal cannot show).
#include <poll.h>
#include <unistd.h>

#include <thread>

#include "SerTestSupport.h"
#include "platform/Termios2.h"
#include "support/ComPortServer.h"
#include "support/PtyPair.h"
#include "support/Ser2netLine.h"

namespace {

// Every byte value, 0xFF in runs too, in an order that shows a lost or doubled byte.
std::string Pattern(size_t Size) {
  std::string s(Size, '\0');
  for (size_t i = 0; i < Size; ++i) s[i] = char((i % 7 == 0) ? 0xFF : (i * 131 + (i >> 10)) & 0xFF);
  return s;
}

// The port under test, with what it received collected on the main thread.
class NetworkPortTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ForgetHandlers(port);
    port.Close();
  }
  void OpenOn(const std::string& Name, TSerCommEvents Events = SerEvents({ceRxChar, ceTxEmpty})) {
    ConfigureAsTerminal(port, Name);
    port.SetMonitorEvents(Events);
    port.OnRxChar = [this](TObject*, int) { received += port.ReadText(); };
    port.OnError = [this](TObject*, int Errors) { errors.push_back(Errors); };
    port.Open();
  }
  bool Receive(size_t Count, int TimeoutMs = 10000) {
    return RunDeliveriesUntil([&] { return received.size() >= Count; }, TimeoutMs);
  }

  TSerComm port{nullptr};
  std::string received;
  std::vector<int> errors;
};

class Ser2netPort : public NetworkPortTest {
 protected:
  void SetUp() override {
    if (!Ser2netLine::Available()) GTEST_SKIP() << "ser2net or socat is not installed";
    ASSERT_TRUE(line.Ready()) << line.Problem();
    ASSERT_GE(board = line.OpenBoard(), 0);
  }
  void TearDown() override {
    NetworkPortTest::TearDown();
    if (board >= 0) close(board);
  }
  // Bytes from the port reach the board (read on a thread while the port's deliveries run).
  std::string ThroughToBoard(const std::string& Bytes) {
    std::string got;
    std::atomic<bool> done{false};
    std::thread reader([&] {
      got = PtyPair::ReadFrom(board, Bytes.size(), 30000);
      done = true;
    });
    for (size_t at = 0; at < Bytes.size(); at += 65536)
      port.WriteBuf(Bytes.data() + at, static_cast<int>(std::min<size_t>(65536, Bytes.size() - at)));
    RunDeliveriesUntil([&] { return done.load(); }, 30000);
    reader.join();
    return got;
  }
  void BoardSends(const std::string& Bytes) {
    for (size_t at = 0; at < Bytes.size();) {
      const ssize_t n = write(board, Bytes.data() + at, Bytes.size() - at);
      pollfd p{board, POLLOUT, 0};
      if (n > 0) at += size_t(n);
      else if (poll(&p, 1, 10000) <= 0) return;  // the pty is full until the relay takes some
    }
  }

  Ser2netLine line;
  int board = -1;
};

TEST_F(Ser2netPort, EveryByteValueCrossesBothWaysInLargeAmounts) {
  const std::string bulk = Pattern(1 << 20);
  for (const std::string& url : {line.TelnetUrl(), line.RawUrl()}) {
    SCOPED_TRACE(url);
    OpenOn(url);
    EXPECT_TRUE(ThroughToBoard(bulk) == bulk);
    received.clear();
    std::thread writer([&] { BoardSends(bulk); });
    EXPECT_TRUE(Receive(bulk.size(), 30000)) << received.size();
    writer.join();
    EXPECT_TRUE(received == bulk);
    port.Close();
  }
  EXPECT_TRUE(errors.empty());
}

// The rate and the settings a pseudo-terminal keeps reach the terminal the server serves;
// the server applies them before the bytes that follow them.
TEST_F(Ser2netPort, LineSettingsReachTheServedTerminal) {
  struct Case {
    int Rate;
    TSerStopbits Stop;
    bool CtsFlow;
  };
  OpenOn(line.TelnetUrl());
  for (const Case c : {Case{57600, sb2, false}, Case{250000, sb1, true}, Case{115200, sb1, false}}) {
    port.SetUserBaudrate(c.Rate);
    port.SetStopbits(c.Stop);
    port.FlowControl().SetOutCtsFlow(c.CtsFlow);
    ASSERT_EQ(ThroughToBoard("+"), "+");
    LineReadBack now;
    ASSERT_TRUE(line.ReadServedSettings(now));
    EXPECT_EQ(now.OutputRate, uint32_t(c.Rate));
    EXPECT_EQ(now.TwoStopBits, c.Stop == sb2);
    EXPECT_EQ(now.RtsCts, c.CtsFlow);
  }
}

TEST_F(Ser2netPort, ServerGoingAwayIsAHangUpToldOnce) {
  OpenOn(line.TelnetUrl());
  line.StopServer();
  ASSERT_TRUE(RunDeliveriesUntil([&] { return !errors.empty(); }, 2000));
  RunDeliveriesFor(200);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(errors[0] & CE_IOE);
  EXPECT_TRUE(port.HungUp());
  EXPECT_EQ(port.WriteBuf("x", 1), 1);  // taken, and dropped with the line
  RunDeliveriesFor(200);
  EXPECT_EQ(errors.size(), 1u);
}

// What ser2net says when it cannot give the port is its own text, not the board's: the
// open fails as a local port's would.
TEST_F(Ser2netPort, ServerRefusalsFailTheOpenWithoutReachingThePane) {
  const std::string url = line.TelnetUrl();
  line.StopPair();
  EXPECT_EQ(ErrorOf([&] { OpenOn(url); }), "Specified device not found (" + url + ").");
  ASSERT_TRUE(line.StartPair()) << line.Problem();
  int error = 0;
  const std::unique_ptr<SerialDevice> other = OpenSerialDevice(line.RawUrl(), error);  // holds the device
  ASSERT_TRUE(other) << error;
  EXPECT_EQ(ErrorOf([&] { OpenOn(url); }),
            "Can't open specified device " + url + " (Error 16, Device or resource busy)");
  EXPECT_TRUE(received.empty());
  EXPECT_FALSE(port.Active());
}

// The COM port server fixture records what reaches it and reports modem lines.
class ComPortServerPort : public NetworkPortTest {
 protected:
  ComPortServer server;
};

TEST_F(ComPortServerPort, LineSettingsAndLineChangesReachTheServer) {
  OpenOn(server.Url());
  port.SetUserBaudrate(0x1FF00);  // a byte 0xFF in the rate is doubled on the way
  port.SetStopbits(sb2);
  port.FlowControl().SetOutCtsFlow(true);
  port.SetDTR(true);
  port.SetRTS(false);
  port.PurgeAll();
  ASSERT_TRUE(server.WaitFor([](const auto& C, const auto&) { return !C.empty() && C.back().Code == 12; }));
  const auto last = server.Commands();  // the last block of settings, then the line changes and the purge
  ASSERT_GE(last.size(), 10u);
  auto at = last.end() - 10;
  auto value = [](const ComPortServer::Command& C) { return std::make_pair(int(C.Code), C.Value); };
  using V = std::pair<int, std::string>;
  EXPECT_EQ(value(at[0]), V(1, std::string("\x00\x01\xFF\x00", 4)));
  EXPECT_EQ(value(at[1]), V(2, "\x08"));
  EXPECT_EQ(value(at[2]), V(3, "\x01"));  // no parity
  EXPECT_EQ(value(at[3]), V(4, "\x02"));  // two stop bits
  EXPECT_EQ(value(at[4]), V(5, "\x03"));  // RTS/CTS flow
  EXPECT_EQ(value(at[5]), V(5, "\x09"));  // DTR off, as the port opens
  EXPECT_EQ(value(at[6]), V(5, "\x0B"));  // RTS on
  EXPECT_EQ(value(at[7]), V(5, "\x08"));  // SetDTR(true)
  EXPECT_EQ(value(at[8]), V(5, "\x0C"));  // SetRTS(false)
  EXPECT_EQ(value(at[9]), V(12, "\x03"));  // purge both ways
}

TEST_F(ComPortServerPort, BreakAndDataBytesReachTheServer) {
  int error = 0;
  std::unique_ptr<SerialDevice> device = OpenSerialDevice(server.Url(), error);
  ASSERT_TRUE(device) << error;
  int written = 0;
  ASSERT_TRUE(device->WriteSome("a\xFF" "b", 3, written));
  EXPECT_EQ(written, 3);
  EXPECT_TRUE(device->EscapeCommFunction(SETBREAK));
  EXPECT_TRUE(device->EscapeCommFunction(CLRBREAK));
  ASSERT_TRUE(server.WaitFor([](const auto& C, const auto&) { return C.size() >= 2 && C.back().Value == "\x06"; }));
  const auto commands = server.Commands();
  EXPECT_EQ(commands.end()[-2].Code, 5);
  EXPECT_EQ(commands.end()[-2].Value, "\x05");  // break on, then off
  EXPECT_EQ(commands.back().Code, 5);
  EXPECT_EQ(server.Data(), "a\xFF" "b");  // the doubled 0xFF is one data byte
}

TEST_F(ComPortServerPort, ModemAndLineNotificationsBecomeTheLinesAndEventsOfALocalPort) {
  int cts = 0, ring = 0;
  port.OnCts = [&](TObject*) { ++cts; };
  port.OnRing = [&](TObject*) { ++ring; };
  OpenOn(server.Url(), SerEvents({ceRxChar, ceCts, ceRing, ceError}));
  EXPECT_TRUE(port.GetModemState(1) && port.GetModemState(2) && port.GetModemState(4));
  server.NotifyModemState(0x21);  // CTS off (and its change), DSR on
  ASSERT_TRUE(RunDeliveriesUntil([&] { return cts == 1; }));
  EXPECT_FALSE(port.GetModemState(1));
  EXPECT_TRUE(port.GetModemState(2));
  EXPECT_FALSE(port.GetModemState(4));
  server.NotifyModemState(0x70);  // CTS back, the ring indicator on
  ASSERT_TRUE(RunDeliveriesUntil([&] { return cts == 2 && ring == 1; }));
  EXPECT_TRUE(port.GetModemState(1) && port.GetModemState(3));
  server.SendRaw(std::string("\xFF\xFA\x2C\x6A\x0C\xFF\xF0", 7));  // parity and framing errors
  ASSERT_TRUE(RunDeliveriesUntil([&] { return !errors.empty(); }));
  EXPECT_EQ(errors[0], int(CE_RXPARITY | CE_FRAME));
}

}  // namespace
