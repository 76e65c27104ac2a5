// SPDX-License-Identifier: GPL-3.0-or-later
// The transfer window without a transfer peer: tab order, the open and close texts on the
// board's side of the line, the settings, the file choice, and OK during a transfer.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "XModemRig.h"
#include "support/PtyPair.h"

namespace {

using XModemWindow = XModemWindowTest;

TEST_F(XModemWindow, TabWalksTheControlsInTheirOrder) {
  xm->show();
  QApplication::setActiveWindow(xm);
  xm->Memo1->setFocus();
  QStringList walked{QApplication::focusWidget()->objectName()};
  for (int i = 0; i < 13; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    walked << QApplication::focusWidget()->objectName();
  }
  EXPECT_EQ(walked, (QStringList{"Memo1", "cmdXModemRecieve", "cmdXModemAbort", "cmdXModemSend",
                                 "txtXModemFileName", "cboXModemProtocol", "btnXModemBrowes",
                                 "cmdOK", "txtStringOnOpen", "chkOnOpen", "txtStringOnClose",
                                 "chkOnClose", "chkOnComplete", "Memo1"}));
}

TEST_F(XModemWindow, OpenAndCloseTextsReachTheBoardAtEverySwitch) {
  xm->txtStringOnOpen->setText("ATZ#13");
  xm->txtStringOnClose->setText("#65 #66");
  xm->chkOnOpen->setChecked(true);
  xm->chkOnClose->setChecked(true);
  xm->Label2->setText("7");
  xm->Label10->setText("old.bin");
  Activate();
  EXPECT_EQ(BoardReads(4), "ATZ\r");
  EXPECT_EQ(Label(xm->Label2), "0");
  EXPECT_EQ(Label(xm->Label10), "");
  Deactivate();
  EXPECT_EQ(BoardReads(3), "A B");
  Activate();
  EXPECT_EQ(BoardReads(4), "ATZ\r");
  xm->chkOnClose->setChecked(false);
  Deactivate();
  EXPECT_EQ(BoardReads(1, 300), "");
}

TEST_F(XModemWindow, SettingsSavedInOrderAtDeactivationAndLoadedByTheNextWindow) {
  settings.Write("[XModem]\nChkOnClose=1\n[Other]\nkeep=1\n");
  TfrmXModem first;
  EXPECT_TRUE(first.chkOnClose->isChecked());
  first.txtXModemFileName->setText("/data/fw.bin");
  first.txtStringOnOpen->setText("run#13");
  first.chkOnOpen->setChecked(true);
  first.chkOnClose->setChecked(false);
  first.chkOnComplete->setChecked(true);
  first.cboXModemProtocol->setCurrentIndex(2);
  first.FormDeactivate();
  EXPECT_EQ(settings.Read(),
            "[XModem]\nChkOnClose=0\nFileName=/data/fw.bin\nTextOnOpen=run#13\nTextOnClose=\n"
            "ChkOnOpen=1\nChkOnComplete=1\n[Other]\nkeep=1\n");
  TfrmXModem second;
  EXPECT_EQ(second.txtXModemFileName->text(), "/data/fw.bin");
  EXPECT_EQ(second.txtStringOnOpen->text(), "run#13");
  EXPECT_TRUE(second.chkOnOpen->isChecked());
  EXPECT_FALSE(second.chkOnClose->isChecked());
  EXPECT_TRUE(second.chkOnComplete->isChecked());
  EXPECT_EQ(second.cboXModemProtocol->currentText(), "XMODEM");  // never kept
  EXPECT_EQ(second.SerXModem1->Protocol(), XModem);
}

// Names as Linux has them: bytes of the file system, here UTF-8 with letters beyond Latin-1.
TEST_F(XModemWindow, NonAsciiFileNamesReachTheFileSystemAndTheSettings) {
  const QString folder = QString::fromStdString(dir) + QString::fromUtf8("/jü/Документы");
  ASSERT_TRUE(QDir().mkpath(folder));
  const QString source = folder + "/fw.bin";
  WriteFile(QFile::encodeName(source).toStdString(), "12345");
  xm->txtXModemFileName->setText(source);
  xm->cmdXModemSend->click();
  ASSERT_TRUE(WaitUntil([&] { return Label(xm->Label11) == "5" || Ends() == 1; }, 10000));
  EXPECT_EQ(xm->Label10->text(), source) << LastLogLine();
  xm->cmdXModemAbort->click();
  ASSERT_TRUE(WaitUntil([&] { return !xm->SerXModem1->Busy(); }, 10000));

  const QString target = folder + QString::fromUtf8("/ü.bin");
  xm->txtXModemFileName->setText(target);
  xm->cmdXModemRecieve->click();
  EXPECT_TRUE(WaitUntil([&] { return xm->Label10->text() == target || Ends() == 2; }, 10000))
      << LastLogLine();
  EXPECT_TRUE(QFile::exists(target));

  xm->FormDeactivate();
  TfrmXModem restarted;
  EXPECT_EQ(restarted.txtXModemFileName->text(), target);
}

// Browes names a file to receive into that does not exist yet; sending it fails by its
// exit code.
TEST_F(XModemWindow, BrowesAcceptsANewName) {
  const QString fresh = QString::fromStdString(dir + "/fresh.bin");
  dialogs.RealFileDialog = true;
  WhenFileDialogOpens([&](QFileDialog& Dialog) { ChooseInFileDialog(Dialog, fresh); });
  xm->btnXModemBrowes->click();
  EXPECT_EQ(xm->txtXModemFileName->text(), fresh);
  xm->cmdXModemSend->click();
  ASSERT_TRUE(WaitUntil([&] { return Ends() == 1; }, 10000));
  EXPECT_EQ(LastLogLine(), "Exitcode: -12");
}

class RecordingDialogs : public ScriptedDialogs {
 public:
  bool OpenFile(QWidget* Parent, OpenFileRequest& Request) override {
    Asked = Request.Filter + " " + Request.DefaultExt;
    return ScriptedDialogs::OpenFile(Parent, Request);
  }
  QString Asked;
};

TEST_F(XModemWindow, BrowesPutsTheConfirmedFileIntoTheBox) {
  RecordingDialogs choices;
  xm->txtXModemFileName->setText("kept.bin");
  xm->btnXModemBrowes->click();
  EXPECT_EQ(choices.Asked, "All Files|*.*|Binary|*.bin bin");
  EXPECT_EQ(xm->txtXModemFileName->text(), "kept.bin");
  choices.FileChoice = "/home/user/image.bin";
  xm->btnXModemBrowes->click();
  EXPECT_EQ(xm->txtXModemFileName->text(), "/home/user/image.bin");
}

TEST_F(XModemWindow, OkHidesAndLeavesTheTransferRunningWithoutTheLine) {
  xm->SerXModem1->SetTimeout(50);
  xm->txtXModemFileName->setText(QString::fromStdString(dir + "/in.bin"));
  xm->show();
  Activate();
  xm->cmdXModemRecieve->click();
  ASSERT_EQ(BoardReads(1), "\x15");
  xm->cmdOK->click();
  EXPECT_FALSE(xm->isVisible());
  EXPECT_EQ(xm->SerXModem1->Comm(), xm->SerComm2);
  WriteFd(link.Master, "pane\r\n");
  EXPECT_TRUE(WaitUntil([&] { return Pane().find("pane") != std::string::npos; }, 10000)) << Pane();
  ASSERT_TRUE(WaitUntil([&] { return Ends() == 1; }, 20000));
  EXPECT_EQ(Log().count("Error: -1"), 9);
  EXPECT_EQ(LastLogLine(), "Exitcode: -9");
}

// An adapter pulled during a transfer ends it within 2 s with the code of a transfer left
// without its line (-9, too many errors), shown in the log as usual.
TEST_F(XModemWindow, UnplugEndsATransferAtOnce) {
  PtyPair adapter;
  root.Link("ttyUSB1", adapter.SlavePath);
  term->RefreshPorts1->trigger();
  term->cboPort->setCurrentIndex(term->cboPort->findText("COM34"));
  xm->txtXModemFileName->setText(QString::fromStdString(dir + "/in.bin"));
  xm->cmdXModemRecieve->click();
  ASSERT_EQ(ReadFd(adapter.Master, 1, 5000), "\x15");
  adapter.CloseMaster();
  EXPECT_TRUE(WaitUntil([&] { return Ends() == 1; }, 2000)) << Log().join("|").toStdString();
  EXPECT_EQ(LastLogLine(), "Exitcode: -9");
  EXPECT_EQ(term->staPanel1->text(), "COM34 unplugged");
}

}  // namespace
