// SPDX-License-Identifier: GPL-3.0-or-later
// XMODEM through ser2net: our port on its RFC 2217 port, the board's end of its
// pseudo-terminal pair played by lrzsz (XMODEM-1K) or by a second port of ours (XMODEM-G,
// which lrzsz does not speak), 1 MiB each way; and the server going away mid-transfer.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "LrzszPeer.h"
#include "ProtocolRig.h"
#include "XModemFrames.h"
#include "support/Ser2netLine.h"

namespace {

using Clock = std::chrono::steady_clock;

class NetworkTransfer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Ser2netLine::Available() || !HaveProgram("sx") || !HaveProgram("rx"))
      GTEST_SKIP() << "ser2net, socat or lrzsz is not installed";
    ASSERT_TRUE(line.Ready()) << line.Problem();
    port.SetDeviceName(line.TelnetUrl());
    port.SetBaudrate(br115200);
    port.Open();
    xm.SetComm(&port);
    RecordEvents(xm, log);
    data = frames::RandomBytes(1 << 20, 2217);
    std::ofstream(Path("src.bin"), std::ios::binary) << data;
  }
  void TearDown() override {
    for (TSerXModem* x : {&xm, &boardXm})
      if (x->Busy()) {
        x->AbortTransfer();
        PumpUntil([&] { return !x->Busy(); }, 10000);
      }
    program.reset();
    if (board >= 0) close(board);
  }
  std::string Path(const std::string& Name) const { return line.Dir() + "/" + Name; }
  // The board's end for lrzsz: blocking, raw.
  int BoardFd() { return board = line.OpenBoard(true); }
  void Start(TSerXModem& X, TSerTransferMode Mode, TSerXProtocol Protocol, const std::string& File) {
    X.SetMode(Mode);
    X.SetProtocol(Protocol);
    X.SetFileName(File);
    X.SetTimeout(5000);
    X.StartTransfer();
  }

  Ser2netLine line;
  TSerComm port{nullptr};
  TSerXModem xm{nullptr};
  TransferLog log;
  TSerComm boardPort{nullptr};
  TSerXModem boardXm{nullptr};
  TransferLog boardLog;
  int board = -1;
  std::unique_ptr<LineProgram> program;
  std::string data;
};

TEST_F(NetworkTransfer, Xmodem1KBothWaysWithLrzsz) {
  program = std::make_unique<LineProgram>(std::vector<std::string>{"sx", "-k", "src.bin"}, BoardFd(), board, line.Dir());
  Start(xm, tmDownload, XModem1K, Path("copy.bin"));
  ASSERT_TRUE(PumpUntil([&] { return log.Ends == 1; }, 120000));
  EXPECT_EQ(log.ExitCode, 0) << log.Packets.size() << " packets";
  const std::string copy = ReadWholeFile(Path("copy.bin"));
  EXPECT_TRUE(copy.compare(0, data.size(), data) == 0 && copy.size() - data.size() < 1024);
  ASSERT_TRUE(PumpUntil([&] { return program->Exited(); }, 20000));
  program.reset();

  // Ours to rx; rx flushes its input after its start byte and after each ACK, so it is
  // started before our sender looks for the start byte, and each block waits a moment.
  xm.OnFileInfo = [&](TObject*, const std::string&, int) {
    program = std::make_unique<LineProgram>(std::vector<std::string>{"rx", "-c", "out.bin"}, board, board,
                                            line.Dir(), true);
    program->WaitForDiagnostic("ready to receive", 10000);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  };
  xm.OnPacketEvent = [](TObject*, int, int) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
  Start(xm, tmUpload, XModem1K, Path("src.bin"));
  ASSERT_TRUE(PumpUntil([&] { return program && program->Exited(); }, 120000)) << program->Diagnostics();
  EXPECT_EQ(program->ExitStatus(), 0) << program->Diagnostics();
  EXPECT_TRUE(ReadWholeFile(Path("out.bin")) == frames::Padded(data, 1024, '\0'));
}

TEST_F(NetworkTransfer, XmodemGBothWaysWithOurOwnBoardEnd) {
  boardPort.SetDeviceName(line.BoardPath());
  boardPort.SetBaudrate(br115200);
  boardPort.Open();
  boardXm.SetComm(&boardPort);
  RecordEvents(boardXm, boardLog);
  struct Way {
    TSerXModem& Sender;
    TSerXModem& Receiver;
    const char* Copy;
  };
  for (const Way& way : {Way{xm, boardXm, "g-board.bin"}, Way{boardXm, xm, "g-ours.bin"}}) {
    SCOPED_TRACE(way.Copy);
    const int ends = log.Ends + boardLog.Ends;
    Start(way.Receiver, tmDownload, XModemG, Path(way.Copy));
    Start(way.Sender, tmUpload, XModemG, Path("src.bin"));
    ASSERT_TRUE(PumpUntil([&] { return log.Ends + boardLog.Ends == ends + 2; }, 120000));
    EXPECT_EQ(log.ExitCode, 0);
    EXPECT_EQ(boardLog.ExitCode, 0);
    EXPECT_TRUE(ReadWholeFile(Path(way.Copy)) == frames::Padded(data, 1024, '\x1a'));
  }
}

// The connection closes with the server: the transfer ends as on an unplugged adapter.
TEST_F(NetworkTransfer, ServerStoppedMidTransferEndsItWithinTwoSeconds) {
  program = std::make_unique<LineProgram>(std::vector<std::string>{"sx", "-k", "src.bin"}, BoardFd(), board, line.Dir());
  Start(xm, tmDownload, XModem1K, Path("copy.bin"));
  ASSERT_TRUE(PumpUntil([&] { return log.Packets.size() >= 20; }, 30000));
  const auto stopped = Clock::now();
  std::thread stopper([&] { line.StopServer(); });
  Clock::time_point ended;
  xm.OnTransferEnd = [&](TObject*, int Code) {
    ended = Clock::now();
    log.ExitCode = Code;
    ++log.Ends;
  };
  const bool done = PumpUntil([&] { return log.Ends == 1; }, 10000);
  stopper.join();
  ASSERT_TRUE(done);
  EXPECT_EQ(log.ExitCode, -9);
  EXPECT_LT(std::chrono::duration<double>(ended - stopped).count(), 2.0);
}

}  // namespace
