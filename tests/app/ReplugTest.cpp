// SPDX-License-Identifier: GPL-3.0-or-later
// Unplug and replug through the real window: an adapter (a pseudo-terminal placed under the
// test's device root as ttyUSB0, COM33) pulled and plugged back, and the port box following
// the device nodes that come and go.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QTest>

#include "TerminalRig.h"
#include "support/FileFaults.h"
#include "support/PtyPair.h"

namespace {

class Replug : public ::testing::Test {
 protected:
  void SetUp() override {
    root.Link("ttyUSB0", adapter->SlavePath);
    w = std::make_unique<ProgramWindows>();
    term = w->frmTerm.get();
    term->FormActivate();
    term->spdConnect->click();
    ASSERT_TRUE(Connected());
  }
  void TearDown() override {
    if (term->SerComm1->Active()) term->SerComm1->Close();
  }

  // The adapter goes: its line hangs up and its node is removed.
  void Unplug() {
    adapter->CloseMaster();
    root.Unlink("ttyUSB0");
  }
  void PlugBackIn() {
    adapter = std::make_unique<PtyPair>();
    root.Link("ttyUSB0", adapter->SlavePath);
  }
  bool Listed(const QString& Name) const { return term->cboPort->findText(Name) >= 0; }
  // Another node appears and the box lists it: all news before it has been handled.
  bool NewsHandled(const std::string& Node, const QString& Name) {
    others.push_back(std::make_unique<PtyPair>());
    root.Link(Node, others.back()->SlavePath);
    return RunUntil([&] { return Listed(Name); }, 2000);
  }
  bool Connected() const { return term->SerComm1->Active() && term->spdConnect->isChecked(); }
  QString Status() const { return term->staPanel1->text(); }

  TestDeviceRoot root;
  std::unique_ptr<PtyPair> adapter = std::make_unique<PtyPair>();
  std::vector<std::unique_ptr<PtyPair>> others;
  TempSettings settings;
  ScriptedDialogs dialogs;
  std::unique_ptr<ProgramWindows> w;
  TfrmTerm* term = nullptr;
};

TEST_F(Replug, UnplugClosesAtOnceAndPlugBackInReconnects) {
  adapter->Send("before\r\n");
  ASSERT_TRUE(RunUntil([&] { return term->mmoTerm->toPlainText().contains("before"); }));
  const QString pane = term->mmoTerm->toPlainText();
  Unplug();
  ASSERT_TRUE(RunUntil([&] { return !term->spdConnect->isChecked(); }, 1000));
  EXPECT_FALSE(term->SerComm1->Active());
  EXPECT_EQ(Status(), "COM33 unplugged");
  EXPECT_EQ(term->mmoTerm->toPlainText(), pane);
  EXPECT_TRUE(RunUntil([&] { return !Listed("COM33"); }, 1000));

  PlugBackIn();
  ASSERT_TRUE(RunUntil([&] { return Connected(); }, 1000));
  EXPECT_EQ(Status(), "COM33 reconnected");
  EXPECT_EQ(term->cboPort->currentText(), "COM33");  // chosen again as it comes back
  QTest::keyClick(term->mmoTerm, 'k');
  EXPECT_EQ(adapter->Receive(1), "k");
  adapter->Send("after\r\n");
  EXPECT_TRUE(RunUntil([&] { return term->mmoTerm->toPlainText().contains("after"); }));
  EXPECT_TRUE(dialogs.Messages.isEmpty() && dialogs.Reports.isEmpty());
}

TEST_F(Replug, NoReconnectAfterConnectWasPressedOrWhenSwitchedOff) {
  Unplug();  // Connect pressed while it is away: the open fails, the port is the user's
  ASSERT_TRUE(RunUntil([&] { return !term->SerComm1->Active(); }, 1000));
  term->spdConnect->click();
  EXPECT_EQ(dialogs.Reports.size(), 1);
  PlugBackIn();
  ASSERT_TRUE(NewsHandled("ttyUSB1", "COM34"));
  EXPECT_FALSE(term->SerComm1->Active());

  term->spdConnect->click();  // disconnected by the user, then pulled and plugged back in
  term->spdConnect->click();
  Unplug();
  PlugBackIn();
  ASSERT_TRUE(NewsHandled("ttyUSB2", "COM35"));
  EXPECT_FALSE(term->SerComm1->Active());

  term->spdConnect->click();
  term->AutoReconnect1->trigger();  // switched off: only told it is back
  Unplug();
  ASSERT_TRUE(RunUntil([&] { return !term->SerComm1->Active(); }, 1000));
  PlugBackIn();
  EXPECT_TRUE(RunUntil([&] { return Status() == "COM33 is back"; }, 1000));
  EXPECT_FALSE(term->SerComm1->Active());
}

// A text log goes on across the unplug and notes it and the reconnection on lines of their own.
TEST_F(Replug, TheTextLogNotesTheUnplugAndTheReconnection) {
  TempFolder folder;
  dialogs.SaveChoice = QString::fromStdString(folder / "replug.log");
  term->LogtoFile1->trigger();
  Unplug();
  ASSERT_TRUE(RunUntil([&] { return !term->SerComm1->Active(); }, 1000));
  PlugBackIn();
  ASSERT_TRUE(RunUntil([&] { return Connected(); }, 1000));
  adapter->Send("back\r\n");
  ASSERT_TRUE(RunUntil([&] { return term->mmoTerm->toPlainText().contains("back"); }));
  term->LogtoFile1->trigger();
  const std::string log = FileBytes(folder / "replug.log");
  const size_t unplugged = log.find(" [note] COM33 unplugged\n");
  const size_t reconnected = log.find(" [note] COM33 reconnected\n");
  const size_t back = log.find(" back\n");
  EXPECT_TRUE(unplugged < reconnected && reconnected < back && back != std::string::npos) << log;
}

TEST_F(Replug, PortBoxFollowsNodesComingAndGoingAndKeepsTheChoice) {
  ASSERT_TRUE(NewsHandled("ttyACM0", "COM65"));
  EXPECT_EQ(term->cboPort->currentText(), "COM33");
  EXPECT_EQ(term->cboPort->itemData(2, Qt::ToolTipRole).toString().toStdString(),
            DevicePathOfPort("COM65"));
  root.Unlink("ttyACM0");
  ASSERT_TRUE(RunUntil([&] { return !Listed("COM65"); }, 1000));
  EXPECT_EQ(term->cboPort->currentText(), "COM33");
  EXPECT_TRUE(Connected());
}

}  // namespace
