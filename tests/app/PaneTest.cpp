// SPDX-License-Identifier: GPL-3.0-or-later
// The pane: its start lines, and the activation's empty show that keeps it in bounds.
#include <gtest/gtest.h>

#include <QAction>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QLabel>

#include "ScriptedDialogs.h"
#include "TempSettings.h"
#include "TestDevices.h"
#include "app/ProgramWindows.h"

namespace {

class Pane : public ::testing::Test {
 protected:
  void SetUp() override { w.frmTerm->FormActivate(); }
  TestDeviceRoot root;
  TempSettings settings;
  ScriptedDialogs dialogs;
  ProgramWindows w;
  QPlainTextEdit& pane = *w.frmTerm->mmoTerm;
};

TEST_F(Pane, ActivationAddsNothingAndPutsTheCaretAtTheEnd) {
  QString before = pane.toPlainText();
  QTextCursor start = pane.textCursor();
  start.setPosition(3);
  pane.setTextCursor(start);
  w.frmTerm->FormActivate();
  EXPECT_EQ(pane.toPlainText(), before);
  EXPECT_EQ(pane.textCursor().position(), before.size());
  EXPECT_FALSE(pane.textCursor().hasSelection());
}

TEST_F(Pane, PaneOverItsLimitKeepsItsLastPart) {
  QString big(70000, 'a');
  big.append("tail");
  pane.setPlainText(big);
  w.frmTerm->showText(" \b");
  EXPECT_EQ(pane.toPlainText().size(), 16384);
  EXPECT_TRUE(pane.toPlainText().endsWith("tail"));
}

TEST_F(Pane, BackspacesAndLineEnds) {
  pane.clear();
  w.frmTerm->showText("abc");
  w.frmTerm->showText("\b\bX");  // only the pane's last character is replaced
  EXPECT_EQ(pane.toPlainText(), "abX");
  w.frmTerm->showText("12\b3\rnext\n");
  EXPECT_EQ(pane.toPlainText(), "abX13\nnext\n");
  w.frmTerm->mnuCtrl->setChecked(true);
  w.frmTerm->showText(std::string("a\x01\xff", 3) + "\x02");
  EXPECT_EQ(pane.toPlainText(), "abX13\nnext\na[01][FF]\x02");
}

TEST_F(Pane, StatusPanelsFollowTheWindowWidth) {
  w.frmTerm->resize(600, 400);
  w.frmTerm->show();
  EXPECT_EQ(w.frmTerm->staPanel0->width(), 470);
  EXPECT_EQ(w.frmTerm->staPanel1->width(), 120);
  w.frmTerm->hide();
}

}  // namespace
