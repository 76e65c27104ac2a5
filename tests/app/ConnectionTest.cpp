// SPDX-License-Identifier: GPL-3.0-or-later
// Connection control: connecting a pseudo-terminal found through a test port root, line
// settings reaching the device, refusals, and the DTR line on the virtual line.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <chrono>

#include "ScriptedDialogs.h"
#include "TempSettings.h"
#include "TestDevices.h"
#include "app/ProgramWindows.h"
#include "platform/VirtualLine.h"

namespace {

class Connection : public ::testing::Test {
 protected:
  void SetUp() override {
    root.Link("ttyUSB0", pty.SlavePath);
    w = std::make_unique<ProgramWindows>();
    term = w->frmTerm.get();
    term->FormActivate();
  }
  void TearDown() override {
    if (term->SerComm1->Active()) term->SerComm1->Close();
  }

  // Types Text into a box's own text field, one key at a time, as a user would.
  static void TypeInto(QComboBox* Box, const QString& Text) {
    Box->lineEdit()->selectAll();
    QTest::keyClicks(Box->lineEdit(), Text);
  }

  static void Choose(QComboBox* Box, const QString& Entry) { Box->setCurrentIndex(Box->findText(Entry)); }

  TestDeviceRoot root;
  TestPty pty;
  TempSettings settings;
  ScriptedDialogs dialogs;
  std::unique_ptr<ProgramWindows> w;
  TfrmTerm* term = nullptr;
};

TEST_F(Connection, PortListShowsNoneFirstAndTheDevicePathAsToolTip) {
  ASSERT_EQ(term->cboPort->count(), 2);
  EXPECT_EQ(term->cboPort->itemText(0), "<none>");
  EXPECT_EQ(term->cboPort->itemText(1), "COM33");
  EXPECT_EQ(term->cboPort->itemData(1, Qt::ToolTipRole).toString().toStdString(),
            DevicePathOfPort("COM33"));
  EXPECT_EQ(term->cboPort->currentText(), "COM33");
  EXPECT_EQ(term->SerComm1->PortNum(), 33);
}

TEST_F(Connection, PortListIsSortedAsText) {
  TestPty second, third;
  root.Link("ttyAMA0", second.SlavePath);  // COM97
  root.Link("rfcomm0", third.SlavePath);   // COM129
  term->RefreshPorts1->trigger();
  QStringList names;
  for (int i = 0; i < term->cboPort->count(); ++i) names << term->cboPort->itemText(i);
  EXPECT_EQ(names, (QStringList{"<none>", "COM129", "COM33", "COM97"}));
  EXPECT_EQ(term->cboPort->currentIndex(), -1);
  EXPECT_EQ(term->cboPort->toolTip(), "");  // no entry chosen, no device named
  EXPECT_EQ(term->SerComm1->PortNum(), 33);  // a refresh leaves the port alone
}

TEST_F(Connection, ConnectAndDisconnectThePseudoTerminal) {
  term->spdConnect->click();
  ASSERT_TRUE(dialogs.Reports.isEmpty()) << dialogs.Reports.join("|").toStdString();
  EXPECT_TRUE(term->SerComm1->Active());
  EXPECT_TRUE(term->spdConnect->isChecked());
  EXPECT_EQ(PtyOutputSpeed(pty.Master), 9600);

  term->spdConnect->click();
  EXPECT_FALSE(term->SerComm1->Active());
  EXPECT_FALSE(term->spdConnect->isChecked());
}

// However the button is pressed (mouse, keyboard, or a screen reader's press or toggle
// action), the port follows.
TEST_F(Connection, ConnectButtonFollowsEveryWayOfPressingIt) {
  QAccessibleActionInterface* actions = QAccessible::queryAccessibleInterface(term->spdConnect)->actionInterface();
  ASSERT_NE(actions, nullptr);
  actions->doAction(QAccessibleActionInterface::toggleAction());
  EXPECT_TRUE(term->SerComm1->Active());
  actions->doAction(QAccessibleActionInterface::toggleAction());
  EXPECT_FALSE(term->SerComm1->Active());
  actions->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_TRUE(term->SerComm1->Active());
  QTest::keyClick(term->spdConnect, Qt::Key_Space);
  EXPECT_FALSE(term->SerComm1->Active());
  QTest::mouseClick(term->spdConnect, Qt::LeftButton);
  EXPECT_TRUE(term->SerComm1->Active());
  EXPECT_TRUE(term->spdConnect->isChecked());
  EXPECT_TRUE(dialogs.Reports.isEmpty()) << dialogs.Reports.join("|").toStdString();
}

TEST_F(Connection, RateTypedWhileConnectedReopensWithEveryPrefix) {
  term->spdConnect->click();
  ASSERT_TRUE(term->SerComm1->Active());
  TypeInto(term->cboBaudRate, "57600");
  EXPECT_TRUE(dialogs.Reports.isEmpty()) << dialogs.Reports.join("|").toStdString();
  EXPECT_TRUE(term->SerComm1->Active());
  EXPECT_TRUE(term->spdConnect->isChecked());
  EXPECT_EQ(term->SerComm1->UserBaudrate(), 57600);
  EXPECT_EQ(PtyOutputSpeed(pty.Master), 57600);

  Choose(term->cboBaudRate, "2000000");
  EXPECT_EQ(PtyOutputSpeed(pty.Master), 2000000);
  EXPECT_TRUE(term->SerComm1->Active());
}

TEST_F(Connection, RateThatIsNoNumberIsReportedAndChangesNothing) {
  term->spdConnect->click();
  TypeInto(term->cboBaudRate, "9x");
  ASSERT_FALSE(dialogs.Reports.isEmpty());
  EXPECT_EQ(dialogs.Reports.last(), "'9x' is not a valid integer value.");
  EXPECT_EQ(term->SerComm1->UserBaudrate(), 9);
  EXPECT_TRUE(term->SerComm1->Active());
}

TEST_F(Connection, SelectAPortFirst) {
  Choose(term->cboPort, "<none>");
  EXPECT_EQ(term->SerComm1->PortNum(), 0);
  term->spdConnect->click();
  EXPECT_EQ(dialogs.Messages, QStringList{"Select a port first"});
  EXPECT_FALSE(term->spdConnect->isChecked());
  EXPECT_FALSE(term->SerComm1->Active());
}

TEST_F(Connection, FailedOpenReleasesTheButton) {
  term->SerComm1->SetPortNum(40);  // dev/ttyUSB7 does not exist
  term->spdConnect->click();
  ASSERT_EQ(dialogs.Reports.size(), 1);
  EXPECT_TRUE(dialogs.Reports[0].contains("COM40")) << dialogs.Reports[0].toStdString();
  EXPECT_FALSE(term->spdConnect->isChecked());
  EXPECT_FALSE(term->SerComm1->Active());
}

TEST_F(Connection, TypedPortNameConfirmedWithEnterBecomesTheChosenEntry) {
  TypeInto(term->cboPort, "COM1005");
  QTest::keyClick(term->cboPort->lineEdit(), Qt::Key_Return);
  EXPECT_EQ(term->cboPort->currentText(), "COM1005");
  EXPECT_EQ(term->cboPort->findText("COM1005"), 1);  // "COM1005" sorts before "COM33"
  EXPECT_EQ(term->SerComm1->PortNum(), 1005);
  EXPECT_EQ(term->cboPort->toolTip().toStdString(), DevicePathOfPort("COM1005"));
  // Choosing an existing entry by name selects it without adding another.
  TypeInto(term->cboPort, "COM33");
  QTest::keyClick(term->cboPort->lineEdit(), Qt::Key_Return);
  EXPECT_EQ(term->cboPort->count(), 3);
  EXPECT_EQ(term->SerComm1->PortNum(), 33);
}

TEST_F(Connection, ChoosingAnotherPortWhileConnectedMovesTheConnection) {
  TestPty second;
  root.Link("ttyUSB1", second.SlavePath);
  term->RefreshPorts1->trigger();
  Choose(term->cboPort, "COM33");
  term->spdConnect->click();
  ASSERT_TRUE(term->SerComm1->Active());
  Choose(term->cboPort, "COM34");
  EXPECT_TRUE(term->SerComm1->Active());
  EXPECT_EQ(term->SerComm1->PortNum(), 34);
  EXPECT_TRUE(term->spdConnect->isChecked());
}

TEST_F(Connection, ClosingTheMainWindowClosesThePortThenSaves) {
  term->spdConnect->click();
  ASSERT_TRUE(term->SerComm1->Active());
  term->show();
  term->close();
  EXPECT_FALSE(term->SerComm1->Active());
  EXPECT_NE(settings.Read().find("Port=1\n"), std::string::npos) << settings.Read();
}

// The virtual line shows the exact line settings and the DTR history at the far end.
class VirtualConnection : public Connection {
 protected:
  void SetUp() override {
    Connection::SetUp();
    line = VirtualLine::Create("app-test");
    term->SerComm1->SetDeviceName(line->Path(VirtualLine::A));
    term->SerComm1->SetPortNum(1);
    term->spdConnect->click();
    ASSERT_TRUE(term->SerComm1->Active());
  }
  void TearDown() override {
    Connection::TearDown();
    line.reset();
  }
  DCB Dcb() const { return line->LastDcb(VirtualLine::A); }

  std::shared_ptr<VirtualLine> line;
};

TEST_F(VirtualConnection, OpensWithTheBoxesSettings) {
  EXPECT_EQ(Dcb().BaudRate, 9600u);
  EXPECT_EQ(Dcb().ByteSize, 8);
  EXPECT_EQ(Dcb().StopBits, 2);
  EXPECT_EQ(Dcb().Parity, 0);
  EXPECT_FALSE(line->Dtr(VirtualLine::A));  // opens with DTR off
  EXPECT_TRUE(line->Rts(VirtualLine::A));
}

TEST_F(VirtualConnection, BitsChangesReopenWithTheExactSettings) {
  Choose(term->cboDataBits, "7");
  Choose(term->cboStopBits, "1");
  EXPECT_TRUE(term->SerComm1->Active());
  EXPECT_EQ(Dcb().ByteSize, 7);
  EXPECT_EQ(Dcb().StopBits, 0);
  EXPECT_TRUE(dialogs.Messages.isEmpty());
  TypeInto(term->cboBaudRate, "250000");
  EXPECT_EQ(Dcb().BaudRate, 250000u);
  EXPECT_EQ(Dcb().ByteSize, 7);
}

TEST_F(VirtualConnection, RefusedStopAndDataBits) {
  Choose(term->cboStopBits, "1");
  Choose(term->cboStopBits, "15");
  EXPECT_EQ(dialogs.Messages, QStringList{"Sorry 1.5 stop bits not available at this time, using 2"});
  EXPECT_EQ(term->cboStopBits->currentText(), "15");
  EXPECT_EQ(Dcb().StopBits, 2);

  dialogs.Messages.clear();
  Choose(term->cboDataBits, "4");
  EXPECT_EQ(dialogs.Messages, QStringList{"Sorry 4 data bits not available at this time -- using 5"});
  EXPECT_EQ(term->cboDataBits->currentText(), "5");
  EXPECT_EQ(Dcb().ByteSize, 5);
  EXPECT_TRUE(term->SerComm1->Active());
}

// A value typed into a bits box and confirmed runs the box's handler once for each text:
// one message, one close and reopen (RTS drops once).
TEST_F(VirtualConnection, TypedBitsRunTheirHandlerOnce) {
  auto rtsDrops = [&] {
    const auto history = line->RtsHistory(VirtualLine::A);
    return std::count_if(history.begin(), history.end(), [](auto& c) { return !c.State; });
  };
  const auto before = rtsDrops();
  TypeInto(term->cboDataBits, "7");
  QTest::keyClick(term->cboDataBits->lineEdit(), Qt::Key_Return);
  EXPECT_EQ(Dcb().ByteSize, 7);
  EXPECT_EQ(rtsDrops() - before, 1);
  TypeInto(term->cboStopBits, "15");
  QTest::keyClick(term->cboStopBits->lineEdit(), Qt::Key_Return);
  EXPECT_EQ(dialogs.Messages, QStringList{"Sorry 1.5 stop bits not available at this time, using 2"});
  EXPECT_EQ(rtsDrops() - before, 3);  // "1", then "15"
  EXPECT_TRUE(term->SerComm1->Active());
}

TEST_F(VirtualConnection, CtsFlowControlReopensWithTheCheckMark) {
  term->HWFlow1->trigger();
  EXPECT_TRUE(term->HWFlow1->isChecked());
  EXPECT_TRUE(term->SerComm1->FlowControl().OutCtsFlow());
  EXPECT_TRUE(Dcb().Flags & 0x4);  // fOutxCtsFlow
  EXPECT_TRUE(term->SerComm1->Active());
}

TEST_F(VirtualConnection, DtrLowSwitchesTheLine) {
  term->DTRlow1->trigger();
  EXPECT_TRUE(line->Dtr(VirtualLine::A));
  term->DTRlow1->trigger();
  EXPECT_FALSE(line->Dtr(VirtualLine::A));
}

TEST_F(VirtualConnection, ResetPulsesDtrForTwoHundredMilliseconds) {
  size_t before = line->DtrHistory(VirtualLine::A).size();
  term->Reset1->trigger();
  auto history = line->DtrHistory(VirtualLine::A);
  ASSERT_EQ(history.size(), before + 2);
  EXPECT_TRUE(history[before].State);
  EXPECT_FALSE(history[before + 1].State);
  auto pulse = history[before + 1].When - history[before].When;
  EXPECT_GE(pulse, std::chrono::milliseconds(195));
  EXPECT_LT(pulse, std::chrono::seconds(5));
  EXPECT_EQ(term->PaneBackground(), QColor(0, 0, 0xA0));  // the black flash is over

  // With "DTR low" checked the pulse goes the other way.
  term->DTRlow1->trigger();
  before = line->DtrHistory(VirtualLine::A).size();
  term->ToolButton4->click();
  history = line->DtrHistory(VirtualLine::A);
  ASSERT_EQ(history.size(), before + 2);
  EXPECT_FALSE(history[before].State);
  EXPECT_TRUE(history[before + 1].State);
}

TEST_F(VirtualConnection, DtrLowWhileClosedOnlyMovesTheCheckMark) {
  term->spdConnect->click();
  ASSERT_FALSE(term->SerComm1->Active());
  size_t before = line->DtrHistory(VirtualLine::A).size();
  term->DTRlow1->trigger();
  term->Reset1->trigger();
  EXPECT_TRUE(term->DTRlow1->isChecked());
  EXPECT_EQ(line->DtrHistory(VirtualLine::A).size(), before);
  term->spdConnect->click();
  EXPECT_FALSE(line->Dtr(VirtualLine::A));  // opening does not apply the check mark
}

}  // namespace
