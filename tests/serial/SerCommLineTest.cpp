// SPDX-License-Identifier: GPL-3.0-or-later
// The port on lines as they are: slow lines that push back, held output, and lines that
// vanish.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "serial/SerTestSupport.h"

using namespace std::chrono;

namespace {

// Everything the far end receives until the line has been quiet for QuietMs.
std::string ReceiveUntilQuiet(PacedLine& Line, int QuietMs) {
  std::string got, more;
  while (!(more = Line.ReceiveAtFar(1 << 20, QuietMs)).empty()) got += more;
  return got;
}

}  // namespace

TEST_F(PacedLineTest, RoomFreesUpAsBytesLeave) {
  // A pass over the whole queue takes 330 ms of line, longer than a writer may wait.
  OpenPort(1000000, 32768);
  port->Buffers().SetWriteTimeout(200);
  std::string sent;
  for (int i = 0; i < 64; ++i) sent += std::string(1024, static_cast<char>('A' + i % 26));
  auto writeAll = [&] {
    for (size_t i = 0; i < sent.size(); i += 1024) ASSERT_EQ(port->WriteBuf(&sent[i], 1024), 1024);
  };
  std::string got;
  std::atomic<bool> done{false};
  auto receive = [&] {
    got = line->ReceiveAtFar(sent.size());
    done = true;
  };
  std::thread reader(receive);
  writeAll();  // on the main thread
  reader.join();
  EXPECT_EQ(got, sent);
  done = false;
  reader = std::thread(receive);
  std::thread worker(writeAll);  // as a protocol worker writes, the main thread delivering
  RunDeliveriesUntil([&] { return done.load(); });
  worker.join();
  reader.join();
  EXPECT_EQ(got, sent);
}

TEST_F(PacedLineTest, APurgeEndsThePassAndLaterBytesGoOutInOrder) {
  OpenPort(1000000, 232144);
  const std::string before(65536, 'a'), after(3000, 'b');
  port->WriteBuf(before.data(), static_cast<int>(before.size()));
  std::this_thread::sleep_for(milliseconds(50));  // the pass waits for the line
  port->PurgeAll();
  port->WriteBuf(after.data(), static_cast<int>(after.size()));
  const std::string got = ReceiveUntilQuiet(*line, 500);
  const size_t first = got.find('b');
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(got.substr(first), after);
  EXPECT_LT(first, before.size()) << "the purged bytes were not all written";
}

TEST_F(VirtualLineTest, CloseDropsTheOutputTheLineHasNotTaken) {
  line->SetPaced(true);
  port->SetBaudrate(br1200);  // 120 bytes a second: 4 KB would take half a minute
  port->Buffers().SetWriteSize(8192);
  port->Open();
  const std::string bytes(4096, 'h');
  port->WriteBuf(bytes.data(), 4096);
  std::this_thread::sleep_for(milliseconds(100));  // on the line now
  const auto start = steady_clock::now();
  port->Close();
  EXPECT_LT(steady_clock::now() - start, milliseconds(350));
  line->Take(VirtualLine::B);
  std::this_thread::sleep_for(milliseconds(300));
  EXPECT_EQ(line->Take(VirtualLine::B), "") << "bytes left the closed port";
}

TEST_F(VirtualLineTest, DirectWritesReportTransmitterEmptyOnceSent) {
  line->SetPaced(true);
  port->SetBaudrate(br9600);  // 96 bytes take 100 ms
  port->SetDirectWrite(true);
  port->SetMonitorEvents(SerEvents({ceRxChar, ceTxEmpty}));
  steady_clock::time_point empty;
  port->OnTxEmpty = [&](TObject*) { empty = steady_clock::now(); };
  port->Open();
  const auto start = steady_clock::now();
  ASSERT_EQ(port->WriteBuf(std::string(96, 'd').data(), 96), 96);
  ASSERT_TRUE(RunDeliveriesUntil([&] { return empty != steady_clock::time_point(); }));
  EXPECT_GE(empty - start, milliseconds(90));
  EXPECT_EQ(line->Take(VirtualLine::B), std::string(96, 'd'));
}

TEST_F(VirtualLineTest, AHandlerMayCloseItsOwnPort) {
  port->OnRxChar = [&](TObject*, int) { port->Close(); };
  port->Open();
  line->Send(VirtualLine::B, "x");
  EXPECT_TRUE(RunDeliveriesUntil([&] { return !port->Active(); }));
  port->OnRxChar = nullptr;
  port->OnTxEmpty = [&](TObject*) { port->Close(); };
  port->Open();
  port->WriteChar('y');
  EXPECT_TRUE(RunDeliveriesUntil([&] { return !port->Active(); }));
  // A close that finds such a delivery waiting runs it, and the handler's close within it.
  port->OnTxEmpty = nullptr;
  port->OnRxChar = [&](TObject*, int) { port->Close(); };
  port->Open();
  std::atomic<bool> queued{false};
  SetSynchronizeWakeUp([&] { queued = true, queued.notify_all(); });
  line->Send(VirtualLine::B, "z");
  queued.wait(false);
  SetSynchronizeWakeUp(nullptr);
  port->Close();
  EXPECT_FALSE(port->Active());
}

TEST_F(VirtualLineTest, AVanishedLineIsReportedOnceAndThePortOpensAgainWhenItIsBack) {
  port->SetMonitorEvents(SerEvents({ceRxChar, ceTxEmpty}));  // no error events asked for
  std::vector<int> errors;
  port->OnError = [&](TObject*, int Errors) { errors.push_back(Errors); };
  port->Open();
  line->HangUp();
  port->WriteBuf("lost", 4);  // the write thread finds the device gone too
  const double cpu = CpuSeconds();
  RunDeliveriesFor(600);
  EXPECT_EQ(errors, std::vector<int>{CE_IOE});
  EXPECT_LT(CpuSeconds() - cpu, 0.2) << "nothing retries a device that has gone";
  port->Close();

  const std::string name = port->DeviceName();
  line = VirtualLine::Create(name.substr(6, name.size() - 8));  // the adapter is back
  port->Open();
  port->WriteBuf("back", 4);
  EXPECT_EQ(Received(4), "back");
}

TEST_F(PacedLineTest, AnAdapterPulledWhileItsOutputIsHeldIsReportedOnceAndClosesAtOnce) {
  OpenPort(115200, 232144);
  line->Hold(PacedLine::NearToFar, true);  // as CTS low would
  const std::string bytes(65536, 'h');
  port->WriteBuf(bytes.data(), static_cast<int>(bytes.size()));  // the write thread waits
  std::vector<int> errors;
  steady_clock::duration closing{};
  port->OnError = [&](TObject*, int Errors) {
    errors.push_back(Errors);
    const auto start = steady_clock::now();
    port->Close();
    closing = steady_clock::now() - start;
  };
  line->HangUpNear();
  EXPECT_TRUE(RunDeliveriesUntil([&] { return !port->Active(); }));
  RunDeliveriesFor(300);
  EXPECT_EQ(errors, std::vector<int>{CE_IOE});
  EXPECT_LT(closing, milliseconds(350));
}
