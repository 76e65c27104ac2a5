// SPDX-License-Identifier: GPL-3.0-or-later
// Our sender and our receiver on the two ends of a virtual line.
#include <gtest/gtest.h>

#include "ProtocolRig.h"
#include "XModemFrames.h"

namespace {

struct LoopCase {
  TSerXProtocol protocol;
  size_t size;
  bool paced;  // 115200 baud: streaming has no flow control, so it needs a real line rate
  int blockSize;
};

class XModemLoop : public ::testing::TestWithParam<LoopCase> {};

TEST_P(XModemLoop, FileArrivesWithTheSendersFill) {
  const LoopCase c = GetParam();
  ProtocolRig rig;  // its port is the sender's, on end A
  TSerComm receiverPort(nullptr);
  receiverPort.SetDeviceName(rig.Line->Path(VirtualLine::B));
  if (c.paced) {
    rig.Port.Close();
    rig.Port.SetBaudrate(br115200);
    rig.Port.Open();
    receiverPort.SetBaudrate(br115200);
    rig.Line->SetPaced(true);
  }
  receiverPort.Open();
  TSerXModem receiver(nullptr);
  TransferLog received;
  RecordEvents(receiver, received);
  receiver.SetComm(&receiverPort);
  receiver.SetMode(tmDownload);
  receiver.SetProtocol(c.protocol);
  receiver.SetFileName(rig.TempDir() + "/copy.bin");
  receiver.SetTimeout(10000);

  const std::string data = frames::RandomBytes(c.size, static_cast<unsigned>(c.size));
  rig.Xm.SetFileName(rig.TempFile("original.bin", data));
  rig.Xm.SetTimeout(10000);
  // The receiver starts once the sender is ready for its start byte.
  rig.Xm.OnFileInfo = [&](TObject*, const std::string&, int) { receiver.StartTransfer(); };
  rig.Xm.StartTransfer();
  ASSERT_TRUE(PumpUntil([&] { return rig.Log.Ends == 1 && received.Ends == 1; }, 60000));
  EXPECT_EQ(rig.Log.ExitCode, 0);
  EXPECT_EQ(received.ExitCode, 0);
  EXPECT_TRUE(received.Errors.empty());
  EXPECT_TRUE(ReadWholeFile(rig.TempDir() + "/copy.bin") == frames::Padded(data, c.blockSize, '\0'));
  const std::string copy = frames::Padded(data, c.blockSize, '\0');
  ASSERT_EQ(received.Packets.size(), copy.size() / c.blockSize);
  EXPECT_EQ(received.Packets.back().second, static_cast<int>(copy.size()));
  EXPECT_EQ(rig.Log.Packets.size(), received.Packets.size());
}

INSTANTIATE_TEST_SUITE_P(Modes, XModemLoop,
                         ::testing::Values(LoopCase{XModem, 20000, false, 128},
                                           LoopCase{XModem1K, 50000, false, 1024},
                                           LoopCase{XModemG, 17000, true, 1024},
                                           LoopCase{XModemG, 0, true, 1024}));

}  // namespace
