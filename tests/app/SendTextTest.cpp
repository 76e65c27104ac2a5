// SPDX-License-Identifier: GPL-3.0-or-later
// Text file sends through the real window to the board simulator: what reaches the
// board, the automation rules and their wait, the two kinds of pacing, Cancel, the
// re-send after a restart and every refusal.
#include <QCoreApplication>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <thread>

#include "SendRig.h"

namespace {

using Clock = std::chrono::steady_clock;

class TextSend : public SendRig {};

TEST_F(TextSend, EveryLineEndRuleReachesTheBoardAsOneCarriageReturn) {
  ConnectPtyBoard();
  // CR LF, LF, CR are one line end each; LF CR is two; a NUL ends the text.
  const char mixed[] = "a\r\nb\nc\rd\n\re\0after\r\n";
  SendText(File("mixed.txt", std::string(mixed, sizeof mixed - 1)));
  EXPECT_EQ(Received(), "a\rb\rc\rd\r\re\r") << Reports();
  EXPECT_EQ(board->LinesReceived(), 6);
  EXPECT_EQ(term->ProgressBar1->maximum(), 6);
  EXPECT_EQ(term->ProgressBar1->value(), 5);  // the last line's index
  EXPECT_FALSE(ProgressShown());
  EXPECT_FALSE(term->SendingText);

  // A line end at the very end makes no extra line; a last line without one still counts.
  SendText(File("ends.txt", "x\r\ny\r\n"));
  SendText(File("open.txt", "p\nq"));
  EXPECT_EQ(Received(), "a\rb\rc\rd\r\re\rx\ry\rp\rq\r");
  EXPECT_TRUE(dialogs.Reports.isEmpty()) << Reports();
}

TEST_F(TextSend, ProgressAndCancelAreShownWhileSending) {
  ConnectPtyBoard();
  term->Timer1->setInterval(50);  // long enough for the script to look during the wait
  SendScript script(term);
  bool shown = false;
  script.Then([&] {
    shown = ProgressShown() && term->ProgressBar1->maximum() == 3;
    return true;
  });
  SendText(File("three.txt", "1\n2\n3\n"));
  EXPECT_TRUE(script.Finished());
  EXPECT_TRUE(shown);
  EXPECT_FALSE(ProgressShown());
}

TEST_F(TextSend, OpenDialogFilterFolderAndChosenFile) {
  ConnectPtyBoard();
  dialogs.FileChoice.reset();
  term->SendText1->trigger();  // cancelled: nothing happens
  ASSERT_EQ(dialogs.Asked.size(), 1u);
  EXPECT_EQ(dialogs.Asked[0].Filter, "All Files|*.*|BASIC|*.bas|Hex Files|*.hex|Forth Files|*.fth");
  EXPECT_TRUE(term->staPanel0->text().isEmpty());
  EXPECT_EQ(Received(), "");

  QString path = File("sub/prog.bas", "10 PRINT\n");
  term->ToolButton1->click();  // the tool button asks the same way
  EXPECT_EQ(dialogs.Asked.size(), 2u);
  SendText(path);
  EXPECT_EQ(term->staPanel0->text(), path);
  EXPECT_EQ(Received(), "10 PRINT\r");
  EXPECT_TRUE(dialogs.Messages.isEmpty());
}

TEST_F(TextSend, AutomationRulesPickTheCommandAndTheWait) {
  ConnectPtyBoard();
  struct Case {
    const char* File;
    QString Pattern1, Command1, Wait1, Pattern2, Command2, Wait2;
    std::string Sent;  // the command line the board gets before the file's line
    int Ticks;
  };
  const Case cases[] = {
      {"PROG.HeX", "*.tcb", "loadb", "500", "*.hex", "loadh", "500", "loadh\r", 51},
      {"x.b", "*.b", "one", "0", "zzz", "", "0", "", 1},         // key ".B" against "*.B"
      {"y.b", ".b", "one", "0", "zzz", "", "0", "one\r", 1},     // a dot and one letter
      {"dir.v1/noext", "", "bare", "-5", "zzz", "", "0", "bare\r", 0},  // empty key, negative wait
      {"two.fth", "*.fth", "first", "10", "*.FTH", "second", "30", "second\r", 4},  // last wins
      {"one.fth", "*.fth", "x", "30", "zzz", "", "0", "", 4},     // one character: only the wait
      {"w.fth", "*.fth", "loadf", "505", "zzz", "", "0", "loadf\r", 51},
  };
  Rule(3, "zzz", "", "0");
  Rule(4, "zzz", "", "0");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.File);
    Rule(1, c.Pattern1, c.Command1, c.Wait1);
    Rule(2, c.Pattern2, c.Command2, c.Wait2);
    const std::string expected = Received() + c.Sent + "line\r";
    SendText(File(c.File, "line\n"));
    ExpectBoardGot(expected);
    EXPECT_EQ(term->WaitTicks, c.Ticks);
    EXPECT_FALSE(term->Timer1->isActive());
  }

  transfer->chkXferOpt->setChecked(false);  // rules off: no command, still one tick
  Rule(1, "*.hex", "loadh", "500");
  const std::string expected = Received() + "line\r";
  SendText(File("off.hex", "line\n"));
  ExpectBoardGot(expected);
  EXPECT_EQ(term->WaitTicks, 1);
  EXPECT_TRUE(dialogs.Reports.isEmpty()) << Reports();
}

TEST_F(TextSend, EmptyFileStillSendsTheCommandAndWaits) {
  ConnectPtyBoard();
  SendScript script(term);
  bool emptyBar = false;  // shown with nothing done, not as the busy animation
  script.Then([&] {
    const QProgressBar& bar = *term->ProgressBar1;
    emptyBar = ProgressShown() && bar.maximum() > bar.minimum() && bar.value() == bar.minimum();
    return true;
  });
  SendText(File("empty.hex", ""));
  EXPECT_TRUE(emptyBar);
  ExpectBoardGot("loadh\r");
  EXPECT_EQ(term->WaitTicks, 51);
  EXPECT_FALSE(ProgressShown());
}

TEST_F(TextSend, TimerRunsFromStartUpAndEverySendPausesOneTick) {
  ProgramWindows fresh;
  EXPECT_TRUE(fresh.frmTerm->Timer1->isActive());
  EXPECT_EQ(fresh.frmTerm->Timer1->interval(), 1000);

  ConnectPtyBoard();
  term->Timer1->setInterval(100);
  SendText(File("a.txt", "a\n"));  // the start-up timer: a pause of up to one tick
  EXPECT_EQ(term->WaitTicks, 1);
  EXPECT_FALSE(term->Timer1->isActive());
  auto start = Clock::now();
  SendText(File("b.txt", "b\n"));  // a fresh period: one whole tick
  auto took = Clock::now() - start;
  EXPECT_EQ(term->WaitTicks, 1);
  EXPECT_GE(took, std::chrono::milliseconds(90));
  EXPECT_EQ(Received(), "a\rb\r");
}

TEST_F(TextSend, CancelEndsTheCharacterWaitAndShowsWhatCame) {
  ConnectPtyBoard({.Echo = true, .AckLines = false});
  term->Clearscreen1Click();
  SendScript script(term);
  script.Then([&] {
    if (term->ReceivedText.find("first\r") == std::string::npos) return false;
    term->btnCancel->click();
    return true;
  });
  SendText(File("wait.txt", "first\nsecond\n"));
  EXPECT_TRUE(script.Finished());
  EXPECT_FALSE(script.TimedOut);
  EXPECT_EQ(Received(), "first\r");
  EXPECT_TRUE(term->mmoTerm->toPlainText().contains("first")) << term->mmoTerm->toPlainText().toStdString();
  EXPECT_TRUE(term->ReceivedText.empty());
  EXPECT_TRUE(term->CancelSend);  // the text send leaves the request as it is
  EXPECT_FALSE(term->SendingText);
  EXPECT_FALSE(ProgressShown());

  // The next send starts by clearing it.
  SendScript answer(term);
  answer.Then([&] {
    if (board->Received().find("again\r") == std::string::npos) return false;
    board->Print(std::string(1, BoardSimulator::Ack));
    return true;
  });
  SendText(File("again.txt", "again\n"));
  EXPECT_EQ(Received(), "first\ragain\r");
}

TEST_F(TextSend, UnplugEndsTheSendAtOnce) {
  ConnectVirtualBoard();
  std::string text;
  for (int i = 0; i < 40; ++i) text += "line " + std::to_string(i) + "\n";
  Clock::time_point unplugged;
  SendScript script(term);
  script.Then([&] {
    if (term->ProgressBar1->value() < 2) return false;
    line->HangUp();
    unplugged = Clock::now();
    return true;
  });
  CancelLater(script, term);
  SendText(File("long.txt", text));
  ExpectStoppedByTheUnplug(unplugged);
  EXPECT_FALSE(term->SendingText);
}

TEST_F(TextSend, DelayPacesTheLinesAndHoldsTheWindow) {
  ConnectPtyBoard();
  transfer->chkEolChar->setChecked(false);
  transfer->chkEolDel->setChecked(true);
  transfer->txtEolDel->setText("100");
  QString path = File("slow.txt", "l1\nl2\nl3\nl4\nl5\n");
  bool pacedOnTheLine = false;
  Clock::time_point clicked{};
  std::thread user([&] {
    // The lines leave one by one during the send, not all at its end.
    if (!board->WaitForReceived("l2\r", 10000)) return;
    pacedOnTheLine = board->Received().find("l4") == std::string::npos;
    clicked = Clock::now();
    QMetaObject::invokeMethod(term->btnCancel, "click", Qt::QueuedConnection);
  });
  auto start = Clock::now();
  SendText(path);
  auto ended = Clock::now();
  const bool cancelledAtTheEnd = term->CancelSend;
  user.join();
  EXPECT_TRUE(pacedOnTheLine);
  EXPECT_GE(ended - start, std::chrono::milliseconds(500));
  EXPECT_LT(clicked, ended);         // the click came during the send ...
  EXPECT_FALSE(cancelledAtTheEnd);   // ... was not handled then ...
  ExpectBoardGot("l1\rl2\rl3\rl4\rl5\r");  // ... and stopped nothing
  QCoreApplication::processEvents();
  EXPECT_TRUE(term->CancelSend);     // it is handled once the window runs again

  SendText(path);  // cleared by the next send, which goes through
  ExpectBoardGot("l1\rl2\rl3\rl4\rl5\rl1\rl2\rl3\rl4\rl5\r");
}

// Closing the window during the automation wait ends the send there: no line step runs
// after the window has gone, and no line's delay keeps the program alive.
TEST_F(TextSend, ClosingTheWindowDuringTheAutomationWaitEndsTheSend) {
  ConnectPtyBoard();
  term->show();
  term->Timer1->setInterval(50);
  transfer->chkEolChar->setChecked(false);
  transfer->chkEolDel->setChecked(true);
  transfer->txtEolDel->setText("300");
  SendScript script(term);
  script.Then([&] {
    if (!ProgressShown()) return false;
    term->close();
    return true;
  });
  auto start = Clock::now();
  SendText(File("ten.hex", "1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n"));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
  EXPECT_TRUE(script.Finished());
  EXPECT_EQ(term->ProgressBar1->value(), 0);
  EXPECT_FALSE(term->SendingText);
}

TEST_F(TextSend, NegativeDelayPausesNothing) {
  ConnectPtyBoard();
  transfer->chkEolDel->setChecked(true);
  transfer->txtEolDel->setText("-1000");
  auto start = Clock::now();
  SendText(File("neg.txt", "a\nb\n"));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(Received(), "a\rb\r");
  EXPECT_TRUE(dialogs.Reports.isEmpty()) << Reports();
}

TEST_F(TextSend, MoreThan2400HeldCharactersLoseTheAwaitedOne) {
  ConnectPtyBoard({.Echo = false, .AckLines = false});
  SendScript script(term);
  bool heldOnlyLaterText = false;
  script.Then([&] {
    if (!term->SendingText) return false;
    board->Print(std::string(2400, 'x') + BoardSimulator::Ack);
    return true;
  });
  script.Then([&] {
    // Once a later character is held, the chunk that crossed the limit has been handled.
    if (term->ReceivedText.find('z') == std::string::npos) {
      board->Print("z");
      return false;
    }
    heldOnlyLaterText = term->ReceivedText.find_first_not_of('z') == std::string::npos;
    board->Print(std::string(1, BoardSimulator::Ack));
    return true;
  });
  SendText(File("flood.txt", "only\n"));
  EXPECT_TRUE(script.Finished());  // the first acknowledgement did not end the wait
  EXPECT_FALSE(script.TimedOut);
  EXPECT_TRUE(heldOnlyLaterText);
  EXPECT_EQ(Received(), "only\r");
}

TEST_F(TextSend, ResendAfterARestartUsesTheRestoredFile) {
  ConnectPtyBoard();
  QString path = File(QString::fromUtf8("Документы/prög.txt"), "kept\n");
  dialogs.FilterChoice = 3;
  SendText(path);
  EXPECT_EQ(Received(), "kept\r");
  term->SerComm1->Close();
  term->WriteSettings();
  w.reset();

  w = std::make_unique<ProgramWindows>();
  term = w->frmTerm.get();
  term->FormActivate();
  term->Timer1->setInterval(1);
  EXPECT_EQ(term->staPanel0->text(), path);
  EXPECT_EQ(term->dlgOpen.FilterIndex, 3);
  EXPECT_EQ(term->dlgOpen.InitialDir, QFileInfo(path).path());
  Connect(devicePath);
  term->ToolButton2->click();
  EXPECT_EQ(Received(), "kept\rkept\r") << Reports();
}

TEST_F(TextSend, Refusals) {
  term->ResendText1->trigger();
  term->ToolButton2->click();
  EXPECT_EQ(dialogs.Messages, QStringList({"No file to send", "No file to send"}));

  dialogs.Messages.clear();
  SendText(File("closed.txt", "x\n"));  // no port open
  EXPECT_EQ(dialogs.Messages, QStringList{"You need to open a com port first"});
  EXPECT_FALSE(ProgressShown());
  EXPECT_FALSE(term->SendingText);

  QString missing = QDir(files.path()).filePath("none.txt");
  term->staPanel0->setText(missing);
  term->ResendText1->trigger();
  EXPECT_EQ(dialogs.Reports, QStringList{"Cannot open file \"" + missing + "\". No such file or directory."});
  EXPECT_FALSE(ProgressShown());
  EXPECT_EQ(dialogs.Messages.size(), 1);
}

TEST_F(TextSend, NumbersThatDoNotConvertEndTheSendAndCleanUp) {
  ConnectPtyBoard();
  transfer->txtEolChar->setText("abc");
  SendText(File("a.txt", "a\nb\n"));
  EXPECT_EQ(dialogs.Reports, QStringList{"'abc' is not a valid integer value."});
  EXPECT_FALSE(ProgressShown());
  transfer->txtEolChar->setText("6");

  dialogs.Reports.clear();
  Rule(2, "*.hex", "loadh", "soon");
  SendText(File("b.hex", "a\n"));
  EXPECT_EQ(dialogs.Reports, QStringList{"'soon' is not a valid integer value."});
  EXPECT_EQ(Received(), "");  // the command goes out only after its wait converted

  dialogs.Reports.clear();
  transfer->chkEolDel->setChecked(true);
  transfer->txtEolDel->setText("1 ");
  SendText(File("c.txt", "first\nsecond\n"));
  EXPECT_EQ(dialogs.Reports, QStringList{"'1 ' is not a valid integer value."});
  ExpectBoardGot("first\r");  // the line before the pause stays written
  EXPECT_FALSE(term->SendingText);
  EXPECT_FALSE(ProgressShown());
}

}  // namespace
