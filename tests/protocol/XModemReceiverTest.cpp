// SPDX-License-Identifier: GPL-3.0-or-later
// The receiver against a scripted sender: every row of its state table.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <chrono>
#include <thread>

#include "XModemFrames.h"
#include "XModemScript.h"
#include "framework/Threads.h"

using namespace frames;

namespace {

struct ReceiverCase {
  std::string Name;
  TSerXProtocol Protocol;
  std::vector<ScriptStep> Script;  // the first read is the start byte
  ScriptOutcome Expected;
  std::string Wire;                // start byte and replies the sender read
  std::string File = {};           // contents received
  int MaxErrors = 10;
};

const std::string a = RandomBytes(128, 10), b = RandomBytes(1024, 11);
const std::string big1 = RandomBytes(1024, 12), big2 = RandomBytes(1024, 13);

std::string Corrupt(std::string Frame, size_t At) {
  Frame[At] = static_cast<char>(Frame[At] ^ 0x40);
  return Frame;
}

std::string WithHeader(std::string Frame, char Header) {
  Frame[0] = Header;
  return Frame;
}

std::vector<ReceiverCase> Cases() {
  const ScriptStep eot{1, Ctl({EOT})}, last{1, ""};
  const std::string ack3 = Ctl({ACK, ACK, ACK});
  return {
      {"ChecksumModeTakesBothBlockSizes", XModem,
       {{1, Block(1, a, false)}, {1, Block(2, b, false)}, eot, last}, {0, {}, ""},
       Ctl({NAK}) + ack3, a + b},
      {"CrcModeTakesShortBlocksCheckedWithCrc", XModem1K,
       {{1, Block(1, a, true)}, {1, Block(2, b, true)}, eot, last}, {0, {}, ""}, "C" + ack3, a + b},
      {"WrongComplementIsAccepted", XModem1K, {{1, Block(1, a, true, 0x33)}, eot, last},
       {0, {}, ""}, Ctl({'C', ACK, ACK}), a},
      {"CheckMismatchGetsANakAndTheBlockAgain", XModem,
       {{1, Corrupt(Block(1, a, false), 131)}, {1, Block(1, a, false)}, eot, last},
       {0, {-15}, ""}, Ctl({NAK, NAK, ACK, ACK}), a},
      {"MaxErrorsOneEndsAtTheFirstMismatch", XModem1K, {{1, Corrupt(Block(1, a, true), 50)}},
       {-9, {}, Ctl({CAN, CAN})}, "C", "", 1},
      {"RepeatedBlockEnds", XModem1K, {{1, Block(1, a, true)}, {1, Block(1, a, true)}},
       {-5, {}, Ctl({CAN, CAN})}, Ctl({'C', ACK})},
      {"CanHeaderEndsWithoutAnswer", XModem, {{1, Ctl({CAN})}}, {-4, {}, ""}, Ctl({NAK})},
      {"OtherHeaderEndsWithoutAnswer", XModem, {{1, "x"}}, {-5, {}, ""}, Ctl({NAK})},
      // A zero header keeps the size of the block's previous attempt; on a first attempt
      // there is none, and block 1 here has no data at all.
      {"ZeroHeaderKeepsThePreviousAttemptsSize", XModem1K,
       {{1, std::string("\0\x01\xfe\0\0", 5)}, {1, Corrupt(Block(2, a, true), 40)},
        {1, WithHeader(Block(2, a, true), '\0')}, eot, last},
       {0, {-15}, ""}, Ctl({'C', ACK, NAK, ACK, ACK}), a},
      {"StreamingAcksOnlyTheEot", XModemG,
       {{1, Block(1, big1, true) + Block(2, big2, true) + EOT}, last}, {0, {}, ""},
       Ctl({'G', ACK}), big1 + big2},
      // A streaming sender does not send a rejected block again.
      {"StreamingRejectedBlockEndsWhenTheNextArrives", XModemG,
       {{1, Corrupt(Block(1, big1, true), 100) + Block(2, big2, true)}},
       {-5, {-15}, Ctl({NAK, CAN, CAN})}, "G"},
  };
}

class ReceiverScript : public ::testing::TestWithParam<ReceiverCase> {};

TEST_P(ReceiverScript, Runs) {
  const ReceiverCase& c = GetParam();
  ProtocolRig rig;
  const std::string path = rig.TempDir() + "/recv.bin";
  rig.Xm.SetMode(tmDownload);
  rig.Xm.SetProtocol(c.Protocol);
  rig.Xm.SetFileName(path);
  rig.Xm.SetTimeout(5000);
  rig.Xm.SetMaxErrors(c.MaxErrors);
  std::string wire;
  ScriptOutcome outcome;
  RunScript(rig, c.Script, wire, outcome);
  EXPECT_EQ(outcome.ExitCode, c.Expected.ExitCode);
  EXPECT_EQ(outcome.Errors, c.Expected.Errors);
  EXPECT_EQ(outcome.Tail, c.Expected.Tail);
  EXPECT_EQ(wire, c.Wire);
  EXPECT_TRUE(ReadWholeFile(path) == c.File) << "received file differs";
  // A failed receive leaves no truncated copy behind.
  EXPECT_EQ(FileExists(path), c.Expected.ExitCode == 0);
  EXPECT_EQ(rig.Log.FileInfos, (std::vector<std::pair<std::string, int>>{{path, 0}}));
}

INSTANTIATE_TEST_SUITE_P(XModemReceiver, ReceiverScript, ::testing::ValuesIn(Cases()),
                         [](const auto& Info) { return Info.param.Name; });

class XModemReceiver : public ::testing::Test {
 protected:
  void Start(TSerXProtocol Protocol, const std::string& Name) {
    rig.Xm.SetMode(tmDownload);
    rig.Xm.SetProtocol(Protocol);
    rig.Xm.SetFileName(rig.TempDir() + "/" + Name);
    rig.Xm.SetTimeout(5000);
  }
  ProtocolRig rig;
  std::string wire;
  ScriptOutcome outcome;
};

TEST_F(XModemReceiver, AnExistingFileIsNeverOverwritten) {
  rig.TempFile("data.bin", "first");
  rig.TempFile("data-1.bin", "second");
  Start(XModem, "data.bin");
  RunScript(rig, {{1, Block(1, a, false)}, {1, Ctl({EOT})}, {1, ""}}, wire, outcome);
  EXPECT_EQ(outcome.ExitCode, 0);
  const std::string used = rig.TempDir() + "/data-2.bin";
  EXPECT_EQ(rig.Log.FileInfos, (std::vector<std::pair<std::string, int>>{{used, 0}}));
  EXPECT_TRUE(ReadWholeFile(used) == a);
  EXPECT_EQ(ReadWholeFile(rig.TempDir() + "/data.bin"), "first");
  EXPECT_EQ(ReadWholeFile(rig.TempDir() + "/data-1.bin"), "second");
}

TEST_F(XModemReceiver, AFileThatCannotBeCreatedCancels) {
  Start(XModem, "missing-dir/r.bin");
  RunScript(rig, {}, wire, outcome);
  EXPECT_EQ(outcome.ExitCode, -11);
  EXPECT_EQ(outcome.Tail, Ctl({CAN, CAN}));
  EXPECT_TRUE(rig.Log.FileInfos.empty());
}

TEST_F(XModemReceiver, SilenceCountsTimeOutsWithoutRepeatingTheStartByte) {
  Start(XModem1K, "quiet.bin");
  rig.Xm.SetTimeout(100);
  rig.Xm.SetMaxErrors(3);
  RunScript(rig, {}, wire, outcome);
  EXPECT_EQ(outcome.ExitCode, -9);
  EXPECT_EQ(rig.Log.Errors, (std::vector<std::pair<int, int>>{{-1, 1}, {-1, 2}}));
  EXPECT_EQ(outcome.Tail, "C");
}

// The next block comes while the report of the last one is still running: the worker waits
// for the report in its read, and the time the handler takes is no silence on the line.
TEST_F(XModemReceiver, ASlowPacketHandlerIsNoSilence) {
  Start(XModem, "slow.bin");
  rig.Xm.SetTimeout(100);
  rig.Xm.SetMaxErrors(2);
  auto record = rig.Xm.OnPacketEvent;
  rig.Xm.OnPacketEvent = [record](TObject* Sender, int Packet, int Bytes) {
    record(Sender, Packet, Bytes);
    if (Packet == 1) std::this_thread::sleep_for(std::chrono::milliseconds(350));
  };
  RunScript(rig, {{1, Block(1, a, false)}, {1, Block(2, a, false)}, {1, Ctl({EOT})}, {1, ""}}, wire, outcome);
  EXPECT_EQ(outcome.ExitCode, 0);
  EXPECT_TRUE(outcome.Errors.empty());
  EXPECT_EQ(rig.Log.Packets, (std::vector<std::pair<int, int>>{{1, 128}, {2, 256}}));
}

TEST_F(XModemReceiver, LocalAbortCancels) {
  Start(XModem1K, "r.bin");
  rig.RunPeer([&](LinePeer& Peer) {
    Peer.Read(1);
    Peer.Send(Ctl({SOH, 1}));  // a block begun, then the user aborts
    Synchronize([&] { rig.Xm.AbortTransfer(); });
  });
  rig.Xm.StartTransfer();
  ASSERT_TRUE(rig.WaitForEnd());
  EXPECT_EQ(rig.Log.ExitCode, -3);
  EXPECT_EQ(rig.SentAfterPeer(), Ctl({CAN, CAN}));
}

TEST_F(XModemReceiver, FileWriteErrorCancels) {
  // A file size limit makes the second block's write fail.
  struct rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  auto previous = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 200;
  setrlimit(RLIMIT_FSIZE, &small);
  Start(XModem, "r.bin");
  RunScript(rig, {{1, Block(1, a, false)}, {1, Block(2, a, false)}}, wire, outcome);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previous);
  EXPECT_EQ(outcome.ExitCode, -8);
  EXPECT_EQ(outcome.Tail, Ctl({CAN, CAN}));
}

}  // namespace
