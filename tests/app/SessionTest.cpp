// SPDX-License-Identifier: GPL-3.0-or-later
// The session's tools through the window: Log to File in both forms with its notes and
// failures, Send Hex, Find over the pane while connected, and the settings kept.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>
#include <regex>
#include <sstream>

#include "TerminalRig.h"
#include "app/pane/BoardConsole.h"
#include "app/pane/FindBar.h"
#include "app/pane/HexSendBar.h"
#include "app/pane/PaneView.h"
#include "app/pane/TimeGutter.h"
#include "platform/Profile.h"
#include "support/FileFaults.h"

namespace {

// The log's lines without their times; a line without one says so.
std::vector<std::string> Untimed(const std::string& Log) {
  static const std::regex stamp(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )");
  std::vector<std::string> lines;
  std::istringstream in(Log);
  for (std::string line; std::getline(in, line);) {
    std::smatch time;
    lines.push_back(std::regex_search(line, time, stamp) ? time.suffix().str() : "untimed: " + line);
  }
  return lines;
}

class Session : public ::testing::Test, public VirtualLineTerminal {
 protected:
  void SetUp() override { ASSERT_TRUE(term->SerComm1->Active()); }
  // Log to File, the dialog answered with Name in the test's folder.
  void StartLog(const std::string& Name, int FilterIndex = 0) {
    dialogs.SaveChoice = QString::fromStdString(folder / Name);
    dialogs.SaveFilterChoice = FilterIndex;
    term->LogtoFile1->trigger();
  }
  // The window shown and active, so that its shortcuts and focus work.
  void ShowActive() {
    term->show();
    term->activateWindow();
    ASSERT_TRUE(RunUntil([&] { return QApplication::activeWindow() == term; }));
  }
  QString Focused() const { return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : ""; }

  TempFolder folder;
  const std::string port = term->SerComm1->GetDeviceFileName();
};

TEST_F(Session, RawLogIsExactlyWhatTheBoardSent) {
  dialogs.SaveChoice.reset();
  term->LogtoFile1->trigger();  // cancelled: no log
  EXPECT_FALSE(term->LogtoFile1->isChecked());
  ASSERT_TRUE(dialogs.SaveAsked);
  EXPECT_EQ(dialogs.SaveAsked->InitialDir, QDir::homePath());
  EXPECT_TRUE(QRegularExpression("/tarvik-.+-\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d$")
                  .match(dialogs.SaveAsked->FileName).hasMatch())
      << dialogs.SaveAsked->FileName.toStdString();
  EXPECT_EQ(dialogs.SaveAsked->Filter, "Raw log|*.bin|Text log|*.log");

  StartLog("board");  // no extension: the type chosen, raw, picks the form
  ASSERT_TRUE(term->LogtoFile1->isChecked());
  EXPECT_FALSE(term->lblLog->isHidden());
  std::string sent = "\x1b[2J";  // bytes the pane acts on or drops go in as they are
  for (int round = 0; round < 4; ++round)
    for (int c = 0; c < 256; ++c) sent += static_cast<char>(c);
  for (size_t at = 0; at < sent.size(); at += 700) ASSERT_TRUE(Receive(sent.substr(at, 700)));
  Pane().setFocus();
  QTest::keyClicks(&Pane(), "k");  // what is typed is not in a raw log
  term->tmrLogTimer();
  EXPECT_EQ(term->lblLog->text(), "Log 1.0 KiB");
  term->LogtoFile1->trigger();
  EXPECT_FALSE(term->LogtoFile1->isChecked());
  EXPECT_EQ(FileBytes(folder / "board.bin"), sent);
  EXPECT_TRUE(dialogs.Messages.isEmpty());
}

TEST_F(Session, TextLogHasBothDirectionsAndTheLinesComingAndGoing) {
  StartLog("session.log", 1);  // the extension typed wins over the type chosen
  ASSERT_TRUE(Receive("login: "));
  Pane().setFocus();
  QTest::keyClicks(&Pane(), "root");
  QTest::keyClick(&Pane(), Qt::Key_Return);
  ASSERT_TRUE(Receive("root\r\n\x1b[1m$ "));
  term->spdConnect->click();  // disconnect, connect
  term->spdConnect->click();
  line->HangUp();
  ASSERT_TRUE(RunUntil([&] { return !term->SerComm1->Active(); }));
  term->LogtoFile1->trigger();
  EXPECT_EQ(Untimed(FileBytes(folder / "session.log")),
            (std::vector<std::string>{
                "[note] Log started, " + port + " connected", "login: root", "[sent] root",
                "[1B][1m$ ", "[note] " + port + " disconnected", "[note] " + port + " connected",
                "[note] " + port + " unplugged", "[note] Log ended"}));
}

TEST_F(Session, AFailingLogIsSaidOnceAndThePaneMissesNothing) {
  {
    UnwritableFolder readOnly(folder.Path());
    StartLog("denied.log");
  }
  EXPECT_FALSE(term->LogtoFile1->isChecked());
  EXPECT_EQ(dialogs.Messages, QStringList("Cannot log to \"" + QString::fromStdString(folder / "denied.log") +
                                          "\". Permission denied"));
  dialogs.Messages.clear();

  StartLog("full.bin");
  {
    FileSizeLimit full(1000);
    ASSERT_TRUE(Receive(std::string(1500, 'a')));
    term->tmrLogTimer();  // the second's write meets the full disk
    ASSERT_TRUE(Receive("b"));
  }
  ASSERT_TRUE(RunUntil([&] { return !dialogs.Messages.isEmpty(); }));
  ASSERT_TRUE(Receive("c"));
  EXPECT_EQ(dialogs.Messages, QStringList("Logging to \"" + QString::fromStdString(folder / "full.bin") +
                                          "\" stopped. File too large"));
  EXPECT_FALSE(term->LogtoFile1->isChecked());
  EXPECT_EQ(Shown(), std::string(1500, 'a') + "bc");
  EXPECT_EQ(FileBytes(folder / "full.bin"), std::string(1000, 'a'));
}

TEST_F(Session, SendHexSendsWholePairsOnlyEchoesAndRemembers) {
  ShowActive();
  term->Echo1->trigger();
  term->SendHex1->trigger();
  HexSendBar& bar = *term->barSendHex;
  EXPECT_EQ(Focused(), "txtSendHex");
  auto send = [&](const char* Text) {
    bar.txtSendHex->setText(Text);
    QTest::keyClick(bar.txtSendHex, Qt::Key_Return);
  };
  send("48 65 0x6c,6c6f 0d");
  EXPECT_EQ(BoardGot(6), "Hello\r");
  EXPECT_EQ(Shown(), "Hello\r\n");
  send("4g");
  EXPECT_EQ(bar.lblSendHexState->text(), "\"g\" at column 2 is no hexadecimal digit");
  EXPECT_EQ(bar.txtSendHex->text(), "4g");
  send("21");
  EXPECT_EQ(BoardGot(1), "!");  // nothing went for the faulty text
  for (Qt::Key key : {Qt::Key_Up, Qt::Key_Up}) QTest::keyClick(bar.txtSendHex, key);
  EXPECT_EQ(bar.txtSendHex->text(), "48 65 0x6c,6c6f 0d");
  QTest::keyClick(bar.txtSendHex, Qt::Key_Down);
  EXPECT_EQ(bar.txtSendHex->text(), "21");
  QTest::keyClick(bar.txtSendHex, Qt::Key_Escape);
  EXPECT_FALSE(bar.isVisible());
  EXPECT_EQ(Focused(), "mmoTerm");
  QTest::keyClicks(&Pane(), "z");
  EXPECT_EQ(BoardGot(1), "z");  // the Escape went to the box, not to the board
  term->hide();
}

TEST_F(Session, FindWithARegularExpressionWhileConnected) {
  ShowActive();
  Showing("boot ok\r\nerr 12\r\nok\r\nERR 7\r\n");
  Pane().setFocus();
  QTest::keyClick(&Pane(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
  FindBar& bar = *term->barFind;
  ASSERT_TRUE(bar.isVisible());
  EXPECT_EQ(Focused(), "txtFind");
  bar.chkFindRegExp->setChecked(true);
  QTest::keyClicks(bar.txtFind, "err \\d+");
  EXPECT_EQ(bar.lblFindMatches->text(), "2 matches");
  EXPECT_FALSE(Pane().textCursor().hasSelection());  // typing only marks; the pane stays
  EXPECT_FALSE(Pane().extraSelections().isEmpty());
  QTest::keyClick(bar.txtFind, Qt::Key_Return);
  EXPECT_EQ(Pane().textCursor().selectedText(), "err 12");
  QTest::keyClick(bar.txtFind, Qt::Key_Return);
  EXPECT_EQ(Pane().textCursor().selectedText(), "ERR 7");
  EXPECT_EQ(bar.lblFindMatches->text(), "2 of 2");
  QTest::keyClick(bar.txtFind, Qt::Key_Return, Qt::ShiftModifier);
  EXPECT_EQ(Pane().textCursor().selectedText(), "err 12");
  bar.chkFindCase->setChecked(true);
  EXPECT_EQ(bar.lblFindMatches->text(), "1 of 1");
  Showing("err 99\r\n");  // new text is searched too
  ASSERT_TRUE(RunUntil([&] { return bar.MatchCount() == 2; }));
  bar.txtFind->setText("(");
  EXPECT_TRUE(bar.lblFindMatches->text().startsWith("Bad expression: ")) << bar.lblFindMatches->text().toStdString();
  QTest::keyClick(bar.txtFind, Qt::Key_Escape);
  EXPECT_FALSE(bar.isVisible());
  EXPECT_TRUE(Pane().extraSelections().isEmpty());
  QTest::keyClicks(&Pane(), "q");
  EXPECT_EQ(BoardGot(1), "q");  // neither Ctrl+Shift+F nor Escape reached the board
  term->hide();
}

// The console's, the log's and the view's settings, each in a section of its own after
// those the terminal always had; the next start reads them back, a value naming no choice
// as the default. Logging and the hex view always start off.
TEST_F(Session, SettingsAreRememberedInSectionsOfTheirOwnAfterTheOthers) {
  BoardConsole& console = *term->Console;
  EXPECT_FALSE(console.Ansi() || console.Utf8());
  EXPECT_EQ(console.EnterSends(), esCR);
  console.ANSITerminal1->setChecked(true);
  console.EnterCRLF1->setChecked(true);
  console.PasteDelays1->trigger();
  auto* dialog = term->findChild<QDialog*>("dlgPasteDelays");
  ASSERT_TRUE(dialog && dialog->isVisible());
  dialog->findChild<QSpinBox*>("spnCharacterDelay")->setValue(5);
  dialog->findChild<QSpinBox*>("spnLineDelay")->setValue(250);
  dialog->accept();
  StartLog("kept.log");
  term->LogtoFile1->trigger();
  term->View->Timestamps1->trigger();
  term->View->HexView1->trigger();
  term->FormClose();
  const std::string ini = settings.Read();
  EXPECT_NE(ini.find("[Replug]\nAutoReconnect=1\n[Console]\nAnsiTerminal=1\nUtf8=0\nEnterSends=2\n"
                     "PasteCharDelay=5\nPasteLineDelay=250\n[Log]\nFolder=" + folder.Path() +
                     "\nFilterIndex=2\n[View]\nTimestamps=1\n"),
            std::string::npos)
      << ini;

  Profile(settings.Path()).WriteInteger("Console", "EnterSends", 7);
  Profile(settings.Path()).WriteInteger("Console", "PasteLineDelay", -3);
  ProgramWindows again;
  TfrmTerm& next = *again.frmTerm;
  next.FormActivate();
  EXPECT_TRUE(next.Console->Ansi());
  EXPECT_EQ(next.Console->EnterSends(), esCR);
  EXPECT_EQ(next.Console->PasteCharacterDelay, 5);
  EXPECT_EQ(next.Console->PasteLineDelay, 0);
  EXPECT_TRUE(next.View->Timestamps1->isChecked());
  EXPECT_TRUE(next.View->Gutter().isVisibleTo(next.mmoTerm));
  EXPECT_FALSE(next.View->HexView1->isChecked());
  EXPECT_FALSE(next.LogtoFile1->isChecked());
  dialogs.SaveChoice.reset();
  next.LogtoFile1->trigger();
  EXPECT_EQ(dialogs.SaveAsked->InitialDir, QString::fromStdString(folder.Path()));
  EXPECT_EQ(dialogs.SaveAsked->FilterIndex, 2);
}

}  // namespace
