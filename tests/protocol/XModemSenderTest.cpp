// SPDX-License-Identifier: GPL-3.0-or-later
// The sender against a scripted receiver: every row of its state table.
#include <gtest/gtest.h>

#include "XModemFrames.h"
#include "XModemScript.h"
#include "framework/Threads.h"

using namespace frames;
using namespace std::string_literals;

namespace {

struct SenderCase {
  std::string Name;
  std::string File;
  std::string Start;  // reaches the sender once it has opened its file
  std::vector<ScriptStep> Script;
  ScriptOutcome Expected;
  std::string Wire = {};  // all the receiver read, when given
  int MaxErrors = 10;
};

const std::string d100 = RandomBytes(100, 3), d129 = RandomBytes(129, 1),
                  d2500 = RandomBytes(2500, 4);
const std::string zero(1, '\0');
const std::string block100 = Block(1, Padded(d100, 128, '\0'), false);

std::vector<SenderCase> Cases() {
  const ScriptStep ack132{132, Ctl({ACK})}, eotAck{1, Ctl({ACK})};
  return {
      {"EmptyFileIsOneBlockOfZeroes", "", Ctl({NAK}), {ack132, eotAck}, {0, {}, ""},
       Block(1, std::string(128, '\0'), false) + EOT},
      {"CrcStartGivesALongBlockFilledWithZeroes", d129, "C", {{1029, Ctl({ACK})}, eotAck},
       {0, {}, ""}, Block(1, Padded(d129, 1024, '\0'), true) + EOT},
      {"NakSendsTheBlockAgainAsAnErrorAndZeroWithout", d100, Ctl({NAK}),
       {{132, Ctl({NAK})}, {132, zero}, ack132, eotAck}, {0, {-15}, ""},
       block100 + block100 + block100 + EOT},
      {"CanReplyEndsWithoutAnswer", "abc", "C", {{1029, Ctl({CAN})}}, {-4, {}, ""}},
      {"OtherReplyEndsWithoutAnswer", "abc", "C", {{1029, "x"}}, {-5, {}, ""}},
      {"UnexpectedBytesBeforeTheStartAreErrors", "x", "ab\x06G", {{1029, Ctl({ACK})}, eotAck},
       {0, {-16, -16, -16}, ""}},
      {"TenBytesWithoutAStartByteEnd", "x", std::string(10, 'z'), {},
       {-5, std::vector<int>(10, -16), ""}, "", 0},
      {"TheTenthUnexpectedByteReachesTheDefaultLimit", "x", std::string(10, 'z'), {},
       {-9, std::vector<int>(9, -16), ""}},
      {"ZeroWhileWaitingForTheStartCancels", "x", zero, {}, {-3, {}, Ctl({CAN, CAN})}},
      {"UnexpectedRepliesToEotGetEotAgain", d100, Ctl({NAK}),
       {ack132, {1, "q"}, {1, Ctl({NAK})}, eotAck}, {0, {-16, -16}, ""},
       block100 + EOT + EOT + EOT},
      {"ZeroAfterEotCancels", "x", Ctl({NAK}), {ack132, {1, zero}}, {-3, {}, Ctl({CAN, CAN})}},
      {"TenEotsWithoutAckEnd", d100, Ctl({NAK}), std::vector<ScriptStep>{ack132} + Repeat(10, {1, "?"}),
       {-5, std::vector<int>(10, -16), ""}, block100 + std::string(10, EOT), 0},
      {"StreamingWaitsForNoAck", d2500, "G", {{3 * 1029 + 1, Ctl({ACK})}}, {0, {}, ""},
       Blocks(d2500, 1024, true, '\0') + EOT},
      {"StreamingEndsOnACanAtTheHeadOfTheQueue", d2500, Ctl({'G', CAN, CAN}), {{1029, ""}},
       {-4, {}, ""}},
      // 'x' and CAN stay queued until the EOT wait reads them.
      {"StreamingLeavesOtherQueuedBytes", d2500, Ctl({'G', 'x', CAN}), {{3 * 1029 + 2, Ctl({ACK})}},
       {0, {-16, -16}, Ctl({EOT})}},
      {"NakLimitCancels", d100, Ctl({NAK}), Repeat(10, {132, Ctl({NAK})}),
       {-9, std::vector<int>(9, -15), Ctl({CAN, CAN})}},
  };
}

class SenderScript : public ::testing::TestWithParam<SenderCase> {};

TEST_P(SenderScript, Runs) {
  const SenderCase& c = GetParam();
  ProtocolRig rig;
  rig.Xm.SetFileName(rig.TempFile("send.bin", c.File));
  rig.Xm.SetTimeout(5000);
  rig.Xm.SetMaxErrors(c.MaxErrors);
  rig.SendOnFileInfo(c.Start);
  std::string wire;
  ScriptOutcome outcome;
  RunScript(rig, c.Script, wire, outcome);
  EXPECT_EQ(outcome.ExitCode, c.Expected.ExitCode);
  EXPECT_EQ(outcome.Errors, c.Expected.Errors);
  EXPECT_EQ(outcome.Tail, c.Expected.Tail);
  if (!c.Wire.empty()) {
    EXPECT_TRUE(wire == c.Wire) << "what the receiver read differs";
  }
}

INSTANTIATE_TEST_SUITE_P(XModemSender, SenderScript, ::testing::ValuesIn(Cases()),
                         [](const auto& Info) { return Info.param.Name; });

TEST(XModemSender, BlockNumbersWrapWhilePacketsCountOn) {
  ProtocolRig rig;
  const std::string data = RandomBytes(256 * 128, 2);
  rig.Xm.SetFileName(rig.TempFile("send.bin", data));
  rig.SendOnFileInfo(Ctl({NAK}));
  std::string wire;
  ScriptOutcome outcome;
  RunScript(rig, Repeat(256, {132, Ctl({ACK})}) + Repeat(1, {1, Ctl({ACK})}), wire, outcome);
  EXPECT_EQ(outcome.ExitCode, 0);
  ASSERT_TRUE(wire == Blocks(data, 128, false, '\0') + EOT);
  EXPECT_EQ(wire.substr(255 * 132 + 1, 2), "\x00\xff"s);  // block 256 carries 0, then 255
  ASSERT_EQ(rig.Log.Packets.size(), 256u);
  EXPECT_EQ(rig.Log.Packets[0], std::make_pair(1, 128));
  EXPECT_EQ(rig.Log.Packets.back(), std::make_pair(256, 256 * 128));
  EXPECT_EQ(rig.Log.FileInfos.at(0).second, 256 * 128);
}

TEST(XModemSender, StreamingReportsEachBlockAsItIsSent) {
  ProtocolRig rig;
  rig.Xm.SetFileName(rig.TempFile("send.bin", d2500));
  rig.SendOnFileInfo("G");
  std::string wire;
  ScriptOutcome outcome;
  RunScript(rig, {{3 * 1029 + 1, Ctl({ACK})}}, wire, outcome);
  EXPECT_EQ(rig.Log.Packets, (std::vector<std::pair<int, int>>{{1, 1024}, {2, 2048}, {3, 2500}}));
}

TEST(XModemSender, LocalAbortWhileAwaitingAnAckCancels) {
  ProtocolRig rig;
  rig.Xm.SetFileName(rig.TempFile("send.bin", "x"));
  rig.SendOnFileInfo("C");
  rig.RunPeer([&](LinePeer& Peer) {
    Peer.Read(1029);
    Synchronize([&] { rig.Xm.AbortTransfer(); });
  });
  rig.Xm.StartTransfer();
  ASSERT_TRUE(rig.WaitForEnd());
  EXPECT_EQ(rig.Log.ExitCode, -3);
  EXPECT_EQ(rig.SentAfterPeer(), Ctl({CAN, CAN}));
}

TEST(XModemSender, FilesThatCannotBeReadCancel) {
  // A missing file cannot be opened; a process's own memory at offset 0 cannot be read.
  for (const auto& [name, exitCode] : {std::pair<std::string, int>{"/nonexistent/x.bin", -12},
                                       {"/proc/self/mem", -7}}) {
    ProtocolRig rig;
    rig.Xm.SetFileName(name);
    rig.SendOnFileInfo(Ctl({NAK}));
    rig.Xm.StartTransfer();
    ASSERT_TRUE(rig.WaitForEnd());
    EXPECT_EQ(rig.Log.ExitCode, exitCode) << name;
    EXPECT_EQ(rig.Log.FileInfos.size(), exitCode == -12 ? 0u : 1u) << name;
    EXPECT_EQ(rig.SentAfterPeer(), Ctl({CAN, CAN})) << name;
  }
}

}  // namespace
