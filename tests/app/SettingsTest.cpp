// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's settings: first start, save and reload, value rules, read-only file.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "ScriptedDialogs.h"
#include "TempSettings.h"
#include "TestDevices.h"
#include "app/ProgramWindows.h"
#include "platform/Profile.h"

namespace {

class MainSettings : public ::testing::Test {
 protected:
  // Program start up to the first activation of the main window.
  std::unique_ptr<ProgramWindows> Start() {
    auto windows = std::make_unique<ProgramWindows>();
    windows->frmTerm->FormActivate();
    return windows;
  }

  TestDeviceRoot root;
  TempSettings settings;
  ScriptedDialogs dialogs;
};

TEST_F(MainSettings, FirstStartWithoutFileHasEveryDefault) {
  auto w = Start();
  TfrmTerm& term = *w->frmTerm;
  EXPECT_FALSE(term.FirstActivation);
  EXPECT_EQ(term.cboBaudRate->currentText(), "9600");
  EXPECT_EQ(term.cboDataBits->currentText(), "8");
  EXPECT_EQ(term.cboStopBits->currentText(), "2");
  // No port found: the box holds "<none>" alone and its entry 1 does not exist.
  EXPECT_EQ(term.cboPort->count(), 1);
  EXPECT_EQ(term.cboPort->currentIndex(), -1);
  EXPECT_EQ(term.SerComm1->PortNum(), 0);
  EXPECT_EQ(term.SerComm1->UserBaudrate(), 9600);
  EXPECT_EQ(term.SerComm1->Databits(), db8);
  EXPECT_EQ(term.SerComm1->Stopbits(), sb2);
  for (QAction* item : {term.HWFlow1, term.Echo1, term.mnuCtrl, term.DTRlow1})
    EXPECT_FALSE(item->isChecked()) << item->objectName().toStdString();
  EXPECT_TRUE(term.AutoReconnect1->isChecked());
  EXPECT_EQ(term.PaneFontName(), "Fixedsys");
  EXPECT_EQ(term.mmoTerm->font().pointSize(), 9);
  EXPECT_EQ(term.PaneTextColour(), QColor(255, 255, 0));
  EXPECT_EQ(term.PaneBackground(), QColor(0, 0, 0xA0));
  EXPECT_EQ(term.width(), 551);
  EXPECT_EQ(term.height(), 436);
  EXPECT_EQ(term.x(), 367);
  EXPECT_EQ(term.y(), 256);
  EXPECT_EQ(term.dlgOpen.FilterIndex, 1);
  EXPECT_TRUE(term.staPanel0->text().isEmpty());

  TfrmXModem& x = *w->frmXModem;
  EXPECT_TRUE(x.txtXModemFileName->text().isEmpty());
  EXPECT_TRUE(x.txtStringOnOpen->text().isEmpty());
  EXPECT_TRUE(x.txtStringOnClose->text().isEmpty());
  EXPECT_FALSE(x.chkOnOpen->isChecked() || x.chkOnClose->isChecked() || x.chkOnComplete->isChecked());
  EXPECT_TRUE(dialogs.Messages.isEmpty());
  EXPECT_TRUE(dialogs.Reports.isEmpty());
}

TEST_F(MainSettings, FirstStartShowsDesignLookBeforeTheLoad) {
  ProgramWindows w;
  EXPECT_TRUE(w.frmTerm->FirstActivation);
  EXPECT_EQ(w.frmTerm->cboBaudRate->currentText(), "300");
  EXPECT_EQ(w.frmTerm->cboStopBits->currentText(), "15");
  EXPECT_EQ(w.frmTerm->PaneBackground(), QColor(0, 0, 128));
  EXPECT_EQ(w.frmTerm->mmoTerm->toPlainText(),
            "Version 0.31a\nNOTE text transfer does not use CTS but\nBinary transfer does.");
}

TEST_F(MainSettings, SaveWritesKeysInOrderAndKeepsUnknownLines) {
  settings.Write("; written by hand\n[Mine]\nColour=red\n[Comms]\nBaud=13\nKeepMe=yes\n");
  auto w = Start();
  TfrmTerm& term = *w->frmTerm;
  term.Echo1->setChecked(true);
  term.AutoReconnect1->setChecked(false);
  term.resize(600, 500);
  term.move(10, 20);
  term.FormClose();

  std::string text = settings.Read();
  EXPECT_EQ(text.find("; written by hand\n[Mine]\nColour=red\n[Comms]\nBaud=13\nKeepMe=yes\n"), 0u)
      << text;
  EXPECT_NE(text.find("Ctrl=0\nDTRLow=0\n"), std::string::npos) << text;
  // The switch for reconnecting has a section of its own, after the window's sections.
  EXPECT_NE(text.find("[Form]\nwidthTERM=600\nheightTERM=500\nleftTERM=10\ntopTERM=20\n"
                      "[Replug]\nAutoReconnect=0\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("[Window]\nFont=Fixedsys\nFontColour=65535\nFontSize=9\nColour=10485760\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("[Date]\nLastUpdate="), std::string::npos);
  EXPECT_LT(text.find("[Date]"), text.find("[Window]"));
  EXPECT_LT(text.find("[Window]"), text.find("[File]"));
  EXPECT_LT(text.find("[File]"), text.find("[Form]"));
  EXPECT_TRUE(dialogs.Messages.isEmpty());

  // The next start restores what was saved, the height read back as "HeightTERM".
  auto again = Start();
  EXPECT_EQ(again->frmTerm->cboBaudRate->currentText(), "115200");
  EXPECT_TRUE(again->frmTerm->Echo1->isChecked());
  EXPECT_FALSE(again->frmTerm->AutoReconnect1->isChecked());
  EXPECT_EQ(again->frmTerm->width(), 600);
  EXPECT_EQ(again->frmTerm->height(), 500);
  EXPECT_EQ(again->frmTerm->pos(), QPoint(10, 20));
}

TEST_F(MainSettings, PaneLookAndLastFileSurviveARestartButNotTheFontStyle) {
  auto w = Start();
  TfrmTerm& term = *w->frmTerm;
  QFont chosen("DejaVu Sans Mono");
  chosen.setPointSize(14);
  chosen.setBold(true);
  dialogs.FontChoice = chosen;
  dialogs.FontColourChoice = QColor(1, 2, 3);
  term.Font1->trigger();
  dialogs.ColourChoice = QColor(10, 20, 30);
  term.Background1->trigger();
  term.staPanel0->setText("/home/user/boards/blink.bas");
  term.dlgOpen.FilterIndex = 2;
  term.FormClose();

  auto again = Start();
  TfrmTerm& next = *again->frmTerm;
  EXPECT_EQ(next.PaneFontName(), "DejaVu Sans Mono");
  EXPECT_EQ(next.mmoTerm->font().pointSize(), 14);
  EXPECT_FALSE(next.mmoTerm->font().bold());
  EXPECT_EQ(next.PaneTextColour(), QColor(1, 2, 3));
  EXPECT_EQ(next.PaneBackground(), QColor(10, 20, 30));
  EXPECT_EQ(next.staPanel0->text(), "/home/user/boards/blink.bas");
  EXPECT_EQ(next.dlgOpen.InitialDir, "/home/user/boards");
  EXPECT_EQ(next.dlgOpen.FilterIndex, 2);
}

TEST_F(MainSettings, HexadecimalAndNonNumericValues) {
  settings.Write(
      "[Comms]\nBaud=0x0D\nDataBits=$3\nEcho=yes\nCtrl=2\nHWFlow=\n"
      "[Form]\nwidthTERM=wide\nHeightTERM=0X1F4\n");
  auto w = Start();
  TfrmTerm& term = *w->frmTerm;
  EXPECT_EQ(term.cboBaudRate->currentText(), "115200");
  EXPECT_EQ(term.SerComm1->UserBaudrate(), 115200);
  EXPECT_EQ(term.cboDataBits->currentText(), "7");
  EXPECT_FALSE(term.Echo1->isChecked());
  EXPECT_TRUE(term.mnuCtrl->isChecked());
  EXPECT_FALSE(term.HWFlow1->isChecked());
  EXPECT_EQ(term.width(), 551);
  EXPECT_EQ(term.height(), 500);
}

TEST_F(MainSettings, StoredIndexNamingNoEntryFallsBackOrLeavesThePortUnselected) {
  settings.Write("[Comms]\nBaud=20\nDataBits=-1\nStopBits=7\nPort=5\n");
  auto w = Start();
  TfrmTerm& term = *w->frmTerm;
  EXPECT_EQ(term.cboBaudRate->currentText(), "9600");
  EXPECT_EQ(term.cboDataBits->currentText(), "8");
  EXPECT_EQ(term.cboStopBits->currentText(), "2");
  EXPECT_EQ(term.cboPort->currentIndex(), -1);
  EXPECT_EQ(term.SerComm1->PortNum(), 0);
  EXPECT_TRUE(dialogs.Reports.isEmpty());
}

TEST_F(MainSettings, StoredOneAndAHalfStopBitsWarnsAndUsesTwo) {
  settings.Write("[Comms]\nStopBits=1\n");
  auto w = Start();
  EXPECT_EQ(dialogs.Messages, QStringList{"Sorry 1.5 stop bits not available at this time, using 2"});
  EXPECT_EQ(w->frmTerm->cboStopBits->currentText(), "15");
  EXPECT_EQ(w->frmTerm->SerComm1->Stopbits(), sb2);
}

TEST_F(MainSettings, StoredPortIndexChoosesThatEntryAndItsNumber) {
  TestPty pty;
  root.Link("ttyUSB0", pty.SlavePath);
  settings.Write("[Comms]\nPort=1\n");
  auto w = Start();
  EXPECT_EQ(w->frmTerm->cboPort->currentText(), "COM33");
  EXPECT_EQ(w->frmTerm->SerComm1->PortNum(), 33);
  EXPECT_FALSE(w->frmTerm->SerComm1->Active());
}

TEST_F(MainSettings, ReadOnlyFileIsNeverReplaced) {
  settings.Write("[Comms]\nBaud=7\n");
  ASSERT_TRUE(QFile::setPermissions(QString::fromStdString(settings.Path()), QFile::ReadOwner));
  auto w = Start();
  w->frmTerm->cboBaudRate->setCurrentIndex(9);
  w->frmTerm->FormClose();
  EXPECT_EQ(dialogs.Messages, QStringList{"Cant update settings"});
  EXPECT_EQ(settings.Read(), "[Comms]\nBaud=7\n");

  w->frmTransfer->show();
  w->frmTransfer->btnOk->click();
  ASSERT_EQ(dialogs.Reports.size(), 1);
  EXPECT_EQ(dialogs.Reports[0], QString::fromStdString("Unable to write to " + settings.Path() + "."));
  EXPECT_TRUE(w->frmTransfer->isVisible());
  EXPECT_EQ(settings.Read(), "[Comms]\nBaud=7\n");
}

TEST_F(MainSettings, XModemSettingsLoadAtCreationAndSaveAtDeactivation) {
  settings.Write("[XModem]\nFileName=/tmp/a.bin\nTextOnOpen=ATZ#13\nChkOnOpen=1\nChkOnComplete=1\n");
  auto w = Start();
  TfrmXModem& x = *w->frmXModem;
  EXPECT_EQ(x.txtXModemFileName->text(), "/tmp/a.bin");
  EXPECT_EQ(x.txtStringOnOpen->text(), "ATZ#13");
  EXPECT_TRUE(x.chkOnOpen->isChecked());
  EXPECT_FALSE(x.chkOnClose->isChecked());
  EXPECT_TRUE(x.chkOnComplete->isChecked());

  x.txtStringOnClose->setText("bye");
  x.chkOnOpen->setChecked(false);
  x.FormDeactivate();
  Profile ini(settings.Path());
  EXPECT_EQ(ini.ReadString("XModem", "TextOnClose", "?"), "bye");
  EXPECT_FALSE(ini.ReadBool("XModem", "ChkOnOpen", true));
  EXPECT_EQ(settings.Read().find("[XModem]\nFileName=/tmp/a.bin\nTextOnOpen=ATZ#13\n"), 0u);
}

}  // namespace

namespace {

TEST(SettingsLocation, BesideTheExecutableWhenItsDirectoryIsWritable) {
  SetSettingsFilePath("");
  std::string expected =
      QDir(QCoreApplication::applicationDirPath()).filePath("tarvik-33.ini").toStdString();
  EXPECT_EQ(SettingsFilePath(), expected);
  SetSettingsFilePath("/elsewhere/tarvik-33.ini");
  EXPECT_EQ(SettingsFilePath(), "/elsewhere/tarvik-33.ini");
  SetSettingsFilePath("");
}

}  // namespace
