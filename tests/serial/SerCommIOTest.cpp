// SPDX-License-Identifier: GPL-3.0-or-later
// Reads, writes, the write queue, purges and the modem lines on the virtual line.
#include <chrono>
#include <thread>

#include "serial/SerTestSupport.h"

TEST(SerCommClosed, OperationsDoNothingAndLineRefusalsStillApply) {
  TSerComm port(nullptr);
  char byte;
  EXPECT_EQ(port.WriteBuf("abc", 3), 0);
  EXPECT_FALSE(port.WriteChar('a'));
  EXPECT_EQ(port.ReadBuf(&byte, 1), 0);
  EXPECT_EQ(port.ReadText(), "");
  EXPECT_FALSE(port.CheckErrors());
  port.PurgeAll();
  for (int line = 1; line <= 4; ++line) EXPECT_FALSE(port.GetModemState(line));
  port.SetDTR(true);
  port.FlowControl().SetControlDtr(dtrHandshake);
  port.FlowControl().SetControlRts(rtsToggle);
  EXPECT_EQ(ErrorOf([&] { port.SetDTR(true); }),
            "DTR line updates not allowed when flowcontrol is set to Handshake.");
  EXPECT_EQ(ErrorOf([&] { port.SetRTS(true); }),
            "RTS line updates not allowed when flowcontrol is set to Handshake or Toggle.");
}

TEST_F(VirtualLineTest, BytesCrossInBothDirections) {
  port->Open();
  for (char c : std::string("hello")) EXPECT_TRUE(port->WriteChar(c));
  EXPECT_EQ(port->WriteBuf(" world", 6), 6);
  EXPECT_EQ(Received(11), "hello world");
  line->Send(VirtualLine::B, "xyz");
  ASSERT_TRUE(RunDeliveriesUntil([&] { return port->InQueCount() == 3; }));
  char two[2];
  EXPECT_EQ(port->ReadBuf(two, 2), 2);
  EXPECT_EQ(std::string(two, 2), "xy");
  EXPECT_EQ(port->ReadText(), "z");
}

TEST_F(VirtualLineTest, DirectWritesGoOutOnTheCallersThread) {
  port->SetDirectWrite(true);
  port->Open();
  EXPECT_EQ(port->WriteBuf("direct", 6), 6);
  EXPECT_EQ(line->Take(VirtualLine::B), "direct");
  line->FailWrites(VirtualLine::A, EIO);
  EXPECT_EQ(ErrorOf([&] { port->WriteBuf("x", 1); }), "Write error (5), Input/output error");
}

TEST_F(VirtualLineTest, AQueuedWriteThatCanNeverFitFailsAfterWriteTimeout) {
  port->Buffers().SetWriteSize(16);
  port->Buffers().SetWriteTimeout(200);
  port->Open();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ErrorOf([&] { port->WriteBuf(std::string(17, 'x').data(), 17); }),
            "Output buffer is full. Please check comm status.");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(190));
  EXPECT_EQ(port->WriteBuf(std::string(16, 'y').data(), 16), 16);
  EXPECT_EQ(Received(16), std::string(16, 'y'));
}

TEST_F(VirtualLineTest, AFullQueueWaitsForTheWriteThreadToMakeRoom) {
  line->SetPaced(true);
  port->SetBaudrate(br115200);  // 64 bytes take about 6 ms
  port->Buffers().SetWriteSize(64);
  port->Open();
  std::string sent;
  for (int i = 0; i < 16; ++i) sent += std::string(64, static_cast<char>('a' + i));
  auto writeAll = [&] {
    for (int i = 0; i < 16; ++i) EXPECT_EQ(port->WriteBuf(sent.data() + 64 * i, 64), 64);
  };
  writeAll();  // on the main thread
  EXPECT_EQ(Received(sent.size()), sent);
  std::thread worker(writeAll);  // as a protocol worker writes
  EXPECT_EQ(Received(sent.size()), sent);
  worker.join();
}

TEST_F(VirtualLineTest, TxEmptyFollowsTheDrainedQueueEvenWhenNotMonitored) {
  port->SetMonitorEvents(SerEvents({ceRxChar}));
  int empties = 0;
  port->OnTxEmpty = [&](TObject*) { ++empties; };
  port->Open();
  for (char c : std::string("12345")) port->WriteChar(c);
  EXPECT_EQ(Received(5), "12345");
  EXPECT_TRUE(RunDeliveriesUntil([&] { return empties >= 1; }));
  EXPECT_LE(empties, 5);
}

TEST_F(VirtualLineTest, ReceivePurgeLeavesTheQueueAndFullPurgeEmptiesIt) {
  line->SetPaced(true);
  port->SetBaudrate(br4800);  // 480 bytes a second
  port->Open();
  const std::string bytes(96, 'p');
  port->WriteBuf(bytes.data(), 96);
  port->Purge(PURGE_RXABORT | PURGE_RXCLEAR);
  EXPECT_EQ(Received(96), bytes);
  port->WriteBuf(bytes.data(), 96);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the write is under way
  port->PurgeAll();
  EXPECT_LT(Received(96, 600).size(), 96u);
  EXPECT_EQ(port->WriteBuf("after", 5), 5);
  EXPECT_EQ(Received(5), "after") << "the purged bytes are not written again";
}

TEST_F(VirtualLineTest, ModemLinesAreDrivenAndRead) {
  port->Open();
  port->SetDTR(true);
  port->SetRTS(true);
  EXPECT_TRUE(line->Dtr(VirtualLine::A) && line->Rts(VirtualLine::A));
  port->SetDTR(false);
  EXPECT_FALSE(line->Dtr(VirtualLine::A));
  line->SetRts(VirtualLine::B, true);
  line->SetRing(VirtualLine::B, true);
  EXPECT_TRUE(port->GetModemState(1) && port->GetModemState(3));
  EXPECT_FALSE(port->GetModemState(2) || port->GetModemState(4));
  line->SetDtr(VirtualLine::B, true);
  EXPECT_TRUE(port->GetModemState(2) && port->GetModemState(4));
  port->FlowControl().SetControlRts(rtsHandshake);
  EXPECT_THROW(port->SetRTS(false), ESerCommError);
  line->HangUp();
  EXPECT_EQ(ErrorOf([&] { port->SetDTR(true); }),
            "Error calling comm function (5), Input/output error");
}
