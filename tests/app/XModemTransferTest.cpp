// SPDX-License-Identifier: GPL-3.0-or-later
// Transfers through the window: with lrzsz's sx and rx at the far end of the main port's
// pseudo-terminal, and XMODEM-G (which lrzsz does not speak) with our own engine there.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <chrono>

#include "XModemFrames.h"
#include "XModemRig.h"

namespace {

constexpr size_t SmallFile = 3000;
const QStringList Success{"Transfer started.", "Transfer ended.", "Exitcode: 0"};

class XModemTransfer : public XModemWindowTest {
 protected:
  void SetUp() override {
    if (!HaveProgram("sx") || !HaveProgram("rx")) GTEST_SKIP() << "lrzsz is not installed";
    XModemWindowTest::SetUp();
    xm->show();
    Activate();
    paneBefore = Pane();
  }
  void Source(size_t Size) { WriteFile(dir + "/src.bin", data = frames::RandomBytes(Size, 7)); }
  void Transfer(QPushButton* Button, const std::string& Name) {
    xm->txtXModemFileName->setText(QString::fromStdString(dir + "/" + Name));
    Button->click();
  }
  bool WaitForEnd(int TimeoutMs = 120000) { return WaitUntil([&] { return Ends() == 1; }, TimeoutMs); }
  // Nothing of the transfer reached the pane, and what comes after it does.
  void ExpectPaneHasTheLineBack(bool AfterAbort = false) {
    if (!AfterAbort) {
      EXPECT_EQ(Pane(), paneBefore);
    }
    EXPECT_EQ(xm->SerXModem1->Comm(), xm->SerComm2);
    // The peer flushes its line as it leaves, which would take our text with it.
    EXPECT_TRUE(!program || WaitUntil([&] { return program->Exited(); }, 20000));
    WriteFd(link.Master, "after\r\n");
    EXPECT_TRUE(WaitUntil([&] { return Pane().find("after") != std::string::npos; }, 10000));
  }
  // rx drops its input just after its start byte and after each ACK: it starts once the
  // transfer has begun, and each block is held back briefly (a real line's byte time).
  void StartRxOnFileInfo(const std::vector<std::string>& Argv) {
    auto info = xm->SerXModem1->OnFileInfo;
    xm->SerXModem1->OnFileInfo = [=, this](TObject* Sender, const std::string& Name, int Size) {
      info(Sender, Name, Size);
      Spawn(Argv);
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    };
    auto packet = xm->SerXModem1->OnPacketEvent;
    xm->SerXModem1->OnPacketEvent = [=](TObject* Sender, int Packet, int Bytes) {
      packet(Sender, Packet, Bytes);
      std::this_thread::sleep_for(std::chrono::microseconds(300));
    };
    xm->SerXModem1->SetTimeout(3000);  // rx answers EOT after a second of silence
  }

  std::string data, paneBefore;
};

struct Choice {
  int protocolIndex;
  std::vector<std::string> peer;
  int blockSize;
};

void PrintTo(const Choice& C, std::ostream* Out) { *Out << C.peer[0] << " " << C.blockSize; }
std::string ChoiceName(const ::testing::TestParamInfo<Choice>& Info) {
  return Info.param.blockSize == 128 ? "Checksum" : "Crc1K";
}

class ReceiveFromSx : public XModemTransfer, public ::testing::WithParamInterface<Choice> {};

TEST_P(ReceiveFromSx, FileLogAndLabelsAndNothingInThePane) {
  Source(SmallFile);
  ChooseProtocol(GetParam().protocolIndex);
  Spawn(GetParam().peer);
  Transfer(xm->cmdXModemRecieve, "in.bin");
  ASSERT_TRUE(WaitForEnd()) << ProgramLog("sx");
  EXPECT_EQ(Log(), Success) << ProgramLog("sx");
  EXPECT_EQ(ReadFile(dir + "/in.bin"), frames::Padded(data, GetParam().blockSize, 0x1A));
  EXPECT_EQ(Label(xm->Label10), dir + "/in.bin");
  EXPECT_EQ(Label(xm->Label11), "0");
  EXPECT_EQ(Label(xm->Label2), std::to_string(3072 / GetParam().blockSize));
  EXPECT_EQ(Label(xm->Label6), "3072");
  EXPECT_TRUE(xm->isVisible());
  ExpectPaneHasTheLineBack();
}

INSTANTIATE_TEST_SUITE_P(Lrzsz, ReceiveFromSx,
                         ::testing::Values(Choice{0, {"sx", "src.bin"}, 128},
                                           Choice{1, {"sx", "-k", "src.bin"}, 1024}),
                         ChoiceName);

class SendToRx : public XModemTransfer, public ::testing::WithParamInterface<Choice> {};

TEST_P(SendToRx, RxGetsTheFileAndTheLabelsFollow) {
  Source(SmallFile);
  ChooseProtocol(GetParam().protocolIndex);  // a sender follows the receiver's start byte
  StartRxOnFileInfo(GetParam().peer);
  Transfer(xm->cmdXModemSend, "src.bin");
  ASSERT_TRUE(WaitUntil([&] { return program && program->Exited(); }, 120000));
  EXPECT_EQ(program->ExitStatus(), 0) << ProgramLog("rx");
  EXPECT_EQ(ReadFile(dir + "/out.bin"), frames::Padded(data, GetParam().blockSize, 0));
  // rx's last ACK may be lost as it leaves its line; the sender is then aborted.
  if (!WaitForEnd(1500)) xm->SerXModem1->AbortTransfer();
  ASSERT_TRUE(WaitForEnd(10000));
  EXPECT_EQ(Log().first(), "Transfer started.");
  EXPECT_TRUE(LastLogLine() == "Exitcode: 0" || LastLogLine() == "Exitcode: -3") << LastLogLine();
  EXPECT_EQ(Label(xm->Label10), dir + "/src.bin");
  EXPECT_EQ(Label(xm->Label11), "3000");
  EXPECT_EQ(Label(xm->Label2), std::to_string((SmallFile + GetParam().blockSize - 1) / GetParam().blockSize));
  EXPECT_EQ(Label(xm->Label6), "3000");
  ExpectPaneHasTheLineBack();
}

INSTANTIATE_TEST_SUITE_P(Lrzsz, SendToRx,
                         ::testing::Values(Choice{0, {"rx", "out.bin"}, 128},
                                           Choice{1, {"rx", "-c", "out.bin"}, 1024}),
                         ChoiceName);

TEST_F(XModemTransfer, OneMebibyteReceivedAndTheWindowClosesWhenComplete) {
  Source(1 << 20);
  xm->chkOnComplete->setChecked(true);
  ChooseProtocol(1);
  Spawn({"sx", "-k", "src.bin"});
  Transfer(xm->cmdXModemRecieve, "big.bin");
  ASSERT_TRUE(WaitForEnd()) << ProgramLog("sx");
  EXPECT_EQ(Log(), Success);
  EXPECT_TRUE(ReadFile(dir + "/big.bin") == data);
  EXPECT_EQ(Label(xm->Label2), "1024");
  EXPECT_FALSE(xm->isVisible());
}

TEST_F(XModemTransfer, ReceiveIntoAnExistingFileWritesANumberedOne) {
  Source(SmallFile);
  WriteFile(dir + "/in.bin", "mine");
  Spawn({"sx", "src.bin"});
  Transfer(xm->cmdXModemRecieve, "in.bin");
  ASSERT_TRUE(WaitForEnd()) << ProgramLog("sx");
  EXPECT_EQ(Log(), Success);
  EXPECT_EQ(Label(xm->Label10), dir + "/in-1.bin");
  EXPECT_EQ(ReadFile(dir + "/in.bin"), "mine");
  EXPECT_EQ(ReadFile(dir + "/in-1.bin"), frames::Padded(data, 128, 0x1A));
}

TEST_F(XModemTransfer, AbortMidTransferCancelsTheSenderAndEndsWithMinusThree) {
  Source(1 << 20);
  ChooseProtocol(1);
  Spawn({"sx", "-k", "src.bin"});
  Transfer(xm->cmdXModemRecieve, "in.bin");
  ASSERT_TRUE(WaitUntil([&] { return xm->Label2->text().toInt() >= 8; }, 60000));
  xm->cmdXModemSend->click();
  EXPECT_EQ(dialogs.Reports, QStringList{"Transfer already in progress..."});
  xm->cmdXModemAbort->click();
  EXPECT_FALSE(xm->isVisible());
  ASSERT_TRUE(WaitForEnd(20000));
  EXPECT_EQ(Log().first(), "Transfer started.");
  EXPECT_EQ(LastLogLine(), "Exitcode: -3");
  // sx gives up at once only when the two CAN bytes reached it.
  EXPECT_TRUE(WaitUntil([&] { return program->Exited(); }, 20000));
  EXPECT_NE(program->ExitStatus(), 0);
  ExpectPaneHasTheLineBack(true);
}

// Our own engine on a second pseudo-terminal, relayed to the board's side of the first.
struct FarEngine {
  explicit FarEngine(int BoardSide) : relay(BoardSide, link.Master) {
    port.SetDeviceName(link.SlavePath);
    port.Open();
    xm.SetComm(&port);
  }
  PtyPair link{true};
  PtyRelay relay;
  TSerComm port{nullptr};
  TSerXModem xm{nullptr};
};

// XMODEM-G, which lrzsz does not speak, with files smaller than the receive queue:
// streaming has no flow control.
TEST_F(XModemTransfer, StreamingReceiveFromOurEngine) {
  FarEngine far(link.Master);
  Source(SmallFile);
  far.xm.SetFileName(dir + "/src.bin");
  far.xm.StartTransfer();
  ChooseProtocol(2);
  Transfer(xm->cmdXModemRecieve, "in.bin");
  ASSERT_TRUE(WaitForEnd(30000));
  EXPECT_EQ(Log(), Success);
  EXPECT_EQ(ReadFile(dir + "/in.bin"), frames::Padded(data, 1024, 0));
  EXPECT_EQ(Label(xm->Label2), "3");
  EXPECT_TRUE(WaitUntil([&] { return !far.xm.Busy(); }, 10000));
  ExpectPaneHasTheLineBack();
}

TEST_F(XModemTransfer, StreamingSendToOurEngine) {
  FarEngine far(link.Master);
  Source(SmallFile);
  ChooseProtocol(2);
  Transfer(xm->cmdXModemSend, "src.bin");
  far.xm.SetMode(tmDownload);
  far.xm.SetProtocol(XModemG);
  far.xm.SetFileName(dir + "/out.bin");
  far.xm.StartTransfer();
  ASSERT_TRUE(WaitForEnd(30000));
  EXPECT_EQ(Log(), Success);
  EXPECT_TRUE(WaitUntil([&] { return !far.xm.Busy(); }, 10000));
  EXPECT_EQ(ReadFile(dir + "/out.bin"), frames::Padded(data, 1024, 0));
  EXPECT_EQ(Label(xm->Label6), "3000");
}

}  // namespace
