// SPDX-License-Identifier: GPL-3.0-or-later
// Streaming on lines as they are: a slow line that pushes back, a busy main thread, and
// cancels that must reach the far end at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include "ProtocolRig.h"
#include "XModemFrames.h"
#include "protocol/TransferFile.h"
#include "protocol/XModemBytes.h"
#include "support/PacedLine.h"
#include "support/TerminalPort.h"

using namespace std::chrono;

namespace {

// Our component on one end of a paced line, its port set up as the terminal's.
struct LineEnd {
  TSerComm Port{nullptr};
  TSerXModem Xm{nullptr};
  TransferLog Log;
  LineEnd(const std::string& Path, int Baud) {
    ConfigureAsTerminal(Port, Path, Baud);
    Port.Open();
    Xm.SetComm(&Port);
    Xm.SetTimeout(10000);
    RecordEvents(Xm, Log);
  }
};

class XModemLine : public ::testing::Test {
 protected:
  std::string TempFile(const std::string& Name, const std::string& Data) { return rig_.TempFile(Name, Data); }
  ProtocolRig rig_;  // for its temporary folder
};

}  // namespace

TEST_F(XModemLine, AStreamingSenderStaysCloseToTheLineSoThatCancelsGoOutAtOnce) {
  PacedLine line(11520);  // 115200 baud
  LineEnd sender(line.NearPath(), 115200);
  std::string data = frames::RandomBytes(300000, 3);
  std::replace(data.begin(), data.end(), '\x18', '\x17');  // only the cancel holds CAN
  sender.Xm.SetFileName(TempFile("big.bin", data));
  // The start byte goes once the sender is ready for it.
  sender.Xm.OnFileInfo = [&](TObject*, const std::string&, int) { line.SendFromFar("G"); };
  std::atomic<int> stage{0};
  std::string tail, after;
  steady_clock::time_point cancelSeen;
  std::thread farEnd([&] {  // the far end reads while the main thread delivers
    line.ReceiveAtFar(8000, 5000);
    stage = 1;
    while (tail.find("\x18\x18") == std::string::npos && stage < 3) tail += line.ReceiveAtFar(1 << 20, 50);
    cancelSeen = steady_clock::now();
    after = line.ReceiveAtFar(1, 300);
    stage = 2;
  });
  sender.Xm.StartTransfer();
  ASSERT_TRUE(PumpUntil([&] { return stage == 1; }, 5000));
  const auto abort = steady_clock::now();
  sender.Xm.AbortTransfer();
  const bool ended = PumpUntil([&] { return stage == 2 && sender.Log.Ends == 1; }, 5000);
  stage = 3;
  farEnd.join();
  ASSERT_TRUE(ended);
  // Everything queued before the cancel was dropped; the cancel came, and nothing after it.
  EXPECT_LT(cancelSeen - abort, seconds(1)) << "the cancel waited behind queued blocks";
  EXPECT_EQ(tail.substr(tail.size() - 2), "\x18\x18");
  EXPECT_EQ(after, "") << "a block followed the cancel";
  EXPECT_EQ(sender.Log.ExitCode, -3);

  // The far end's cancel ends the next send as soon as it is seen.
  std::thread cancelling([&] {
    line.ReceiveAtFar(8000, 5000);
    line.SendFromFar("\x18\x18");
  });
  sender.Xm.StartTransfer();
  const bool cancelled = PumpUntil([&] { return sender.Log.Ends == 2; }, 5000);
  cancelling.join();
  ASSERT_TRUE(cancelled);
  EXPECT_EQ(sender.Log.ExitCode, -4);
}

TEST_F(XModemLine, AStreamingReceiveSurvivesABusyMainThreadAndEndsWithItsFileClosed) {
  PacedLine line(0);  // as fast as the pseudo-terminals go
  LineEnd sender(line.NearPath(), 1000000), receiver(line.FarPath(), 1000000);
  const std::string data = frames::RandomBytes(512 * 1024, 4);
  const std::string source = TempFile("source.bin", data), copy = TempFile("copy.bin", "");
  std::remove(copy.c_str());
  sender.Xm.SetFileName(source);
  receiver.Xm.SetMode(tmDownload);
  receiver.Xm.SetProtocol(XModemG);
  receiver.Xm.SetFileName(copy);
  receiver.Xm.OnPacketEvent = [](TObject*, int Packet, int) {
    if (Packet % 100 == 20) std::this_thread::sleep_for(milliseconds(300));  // a busy window
  };
  // An end handler may use the file at once: it is closed and unlocked by then.
  std::optional<bool> sourceFree, copyFree;
  auto canOpen = [](const std::string& Name) { return TTransferFile().OpenExisting(Name); };
  sender.Xm.OnTransferEnd = [&](TObject*, int) { sourceFree = canOpen(source); };
  receiver.Xm.OnTransferEnd = [&](TObject*, int Code) {
    receiver.Log.ExitCode = Code;
    copyFree = canOpen(copy);
  };
  sender.Xm.OnFileInfo = [&](TObject*, const std::string&, int) { receiver.Xm.StartTransfer(); };
  sender.Xm.StartTransfer();
  ASSERT_TRUE(PumpUntil([&] { return sourceFree && copyFree; }, 30000));
  EXPECT_EQ(receiver.Log.ExitCode, 0);
  EXPECT_TRUE(ReadWholeFile(copy) == data);
  EXPECT_TRUE(*sourceFree);
  EXPECT_TRUE(*copyFree);
}
