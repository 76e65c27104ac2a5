// SPDX-License-Identifier: GPL-3.0-or-later
// The text transfer settings window: defaults, the enable rule, the record, Ok and close.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "ScriptedDialogs.h"
#include "TempSettings.h"
#include "TestDevices.h"
#include "app/ProgramWindows.h"
#include "platform/Profile.h"

namespace {

class TransferWindow : public ::testing::Test {
 protected:
  bool AutomationEnabled(const TfrmTransfer& W, bool Enabled) {
    for (int i = 0; i < 4; ++i)
      for (QLineEdit* edit : {W.txtFile[i], W.txtSend[i], W.txtWait[i]})
        if (edit->isEnabled() != Enabled) return false;
    return true;
  }

  TestDeviceRoot root;
  TempSettings settings;
  ScriptedDialogs dialogs;
};

TEST_F(TransferWindow, WithoutFileShowsDefaultsWithAutomationEnabled) {
  TfrmTransfer w;
  TTextTransferSettings s = w.TextTransferSettings();
  EXPECT_TRUE(s.WaitEolChar);
  EXPECT_EQ(s.EolChar, "6");
  EXPECT_TRUE(s.OnErrorChar);
  EXPECT_EQ(s.OnErrorCh, "5");
  EXPECT_TRUE(s.LoadingEndString);
  EXPECT_EQ(s.EOPstr, ";ss");
  EXPECT_FALSE(s.WaitEolDelay);
  EXPECT_EQ(s.EolDel, "100");
  EXPECT_TRUE(s.AddCR);
  EXPECT_TRUE(s.AddLF);
  EXPECT_FALSE(s.LoadingEcho);
  EXPECT_EQ(s.FilePath, "");
  EXPECT_TRUE(s.ActiveXfer);
  const char* patterns[] = {"*.tcb", "*.hex", "*.flb", "*.fth"};
  const char* commands[] = {"loadb", "loadh", "loadf", "loadf"};
  const char* waits[] = {"500", "500", "100", "100"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(s.Automation[i].Pattern, patterns[i]);
    EXPECT_EQ(s.Automation[i].Command, commands[i]);
    EXPECT_EQ(s.Automation[i].Wait, waits[i]);
  }
  EXPECT_TRUE(AutomationEnabled(w, true));
  EXPECT_FALSE(w.chkOnError->isEnabled());
  EXPECT_TRUE(w.txtOnErrCH->isEnabled());
}

TEST_F(TransferWindow, StoredActiveXferFalseDisablesAutomationUntilChecked) {
  settings.Write("[Transfer]\nActiveXfer=0\n");
  TfrmTransfer w;
  EXPECT_TRUE(AutomationEnabled(w, false));
  EXPECT_TRUE(w.Label1->isEnabled());
  EXPECT_TRUE(w.chkXferOpt->isEnabled());
  w.chkXferOpt->click();
  EXPECT_TRUE(AutomationEnabled(w, true));
  EXPECT_TRUE(w.TextTransferSettings().ActiveXfer);
}

TEST_F(TransferWindow, RecordFollowsTheControlsAndCloseBoxDoesNotSave) {
  TfrmTransfer w;
  w.show();
  w.txtEolDel->setText("250");
  w.chkEolDel->click();
  w.txtSend[2]->setText("loadx");
  TTextTransferSettings s = w.TextTransferSettings();
  EXPECT_EQ(s.EolDel, "250");
  EXPECT_TRUE(s.WaitEolDelay);
  EXPECT_EQ(s.Automation[2].Command, "loadx");
  w.close();
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(w.TextTransferSettings().EolDel, "250");
  EXPECT_EQ(settings.Read(), "");

  TfrmTransfer restarted;
  EXPECT_EQ(restarted.TextTransferSettings().EolDel, "100");
}

TEST_F(TransferWindow, OkSavesEveryKeyInOrderThenHides) {
  settings.Write("[Transfer]\nchOnError=0\n[Other]\nx=1\n");
  TfrmTransfer w;
  EXPECT_FALSE(w.chkOnError->isChecked());
  w.show();
  w.txtEolDel->setText("ten");  // not checked here; a send reports it when it uses it
  w.txtOnErrCH->setText("7");
  w.btnOk->click();
  EXPECT_FALSE(w.isVisible());
  EXPECT_TRUE(dialogs.Reports.isEmpty());
  EXPECT_EQ(settings.Read(),
            "[Transfer]\nchOnError=0\nchEolChar=1\nEolChar=6\nOnErrorCh=7\nEOPstrCH=1\nEOPstr=;ss\n"
            "chEolDel=0\nchAddCR=1\nchAddLF=1\nchLoadingEcho=0\nFilePath=\nEolDel=ten\n"
            "File1=*.tcb\nFile2=*.hex\nFile3=*.flb\nFile4=*.fth\n"
            "Send1=loadb\nSend2=loadh\nSend3=loadf\nSend4=loadf\n"
            "Wait1=500\nWait2=500\nWait3=100\nWait4=100\nActiveXfer=1\n"
            "[Other]\nx=1\n");
  TfrmTransfer restarted;
  EXPECT_FALSE(restarted.chkOnError->isChecked());
  EXPECT_EQ(restarted.TextTransferSettings().EolDel, "ten");
  EXPECT_EQ(restarted.TextTransferSettings().OnErrorCh, "7");
}

TEST_F(TransferWindow, OpenedBesideTheMainWindowAndPlacedAgainWhenOpenTwice) {
  ProgramWindows w;
  w.frmTerm->FormActivate();
  w.frmTerm->setGeometry(100, 80, 551, 437);
  w.frmTerm->ToolButton3->click();
  EXPECT_TRUE(w.frmTransfer->isVisible());
  EXPECT_EQ(w.frmTransfer->pos(), QPoint(100 + 551 / 2, 80 + 437 / 4));
  w.frmTerm->move(300, 200);
  w.frmTerm->exttransfer1->trigger();
  EXPECT_TRUE(w.frmTransfer->isVisible());
  EXPECT_EQ(w.frmTransfer->pos(), QPoint(300 + 551 / 2, 200 + 437 / 4));
}

TEST_F(TransferWindow, AboutOpenedAgainComesToTheFront) {
  ProgramWindows w;
  w.frmTerm->show();
  w.frmTerm->About1->trigger();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.AboutBox.get(), 1000));
  w.frmTerm->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.frmTerm.get(), 1000));
  w.frmTerm->About1->trigger();
  EXPECT_TRUE(QTest::qWaitForWindowActive(w.AboutBox.get(), 1000));
  w.AboutBox->hide();
  w.frmTerm->hide();
}

TEST_F(TransferWindow, XModemWindowOpensFiftyPixelsFromTheMainWindow) {
  ProgramWindows w;
  w.frmTerm->FormActivate();
  w.frmTerm->move(100, 80);
  w.frmTerm->Sendx->trigger();
  EXPECT_TRUE(w.frmXModem->isVisible());
  EXPECT_EQ(w.frmXModem->pos(), QPoint(150, 130));
}

}  // namespace
