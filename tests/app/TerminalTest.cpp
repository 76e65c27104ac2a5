// SPDX-License-Identifier: GPL-3.0-or-later
// What the board sends, as the pane shows it: clear-screen sequences, line ends with and
// without completion, control-character notation, backspaces, the trim, NUL bytes and
// Latin-1, the received-text buffer, and RTS held low while a chunk is handled.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QScrollBar>
#include <QTextDocument>

#include "TerminalRig.h"
#include "framework/ExceptionReport.h"

namespace {

class Received : public ::testing::Test, public VirtualLineTerminal {
 protected:
  void SetUp() override { ASSERT_TRUE(term->SerComm1->Active()); }
  void Show(const std::string& Bytes) { ASSERT_TRUE(Receive(Bytes)) << "not handled: " << Bytes; }
  int Length() const { return TerminalPane(&Pane()).Length(); }
};

TEST_F(Received, ClearScreenSequences) {
  Showing("old text\r\n");
  Show("abc\x1b[2Jdef");
  EXPECT_EQ(Shown(), "def");
  Show("\x1b[1Jx");
  EXPECT_EQ(Shown(), "x");
  Show("\x1b[0m");  // no clear-screen: the ESC alone is dropped
  Show("y\x1b[0mz\x1b[2J!");  // only a chunk's first ESC is looked at
  EXPECT_EQ(Shown(), "x[0my[0mz\x1b[2J!");
  Show("ab\x1b[");  // split over two chunks: not recognised
  Show("2Jc");
  EXPECT_EQ(Shown(), "x[0my[0mz\x1b[2J!ab[2Jc");
}

TEST_F(Received, CompletedLineEnds) {
  Show("a\rb\nc\r\nd");
  EXPECT_EQ(Pane().toPlainText(), "a\nb\nc\nd");
  Show("e\r");
  Show("\nf");  // each chunk is completed on its own: two breaks
  EXPECT_EQ(Shown(), "a\r\nb\r\nc\r\nde\r\n\r\nf");
  SetCompletion(false, true);
  Show("\rg\n");
  SetCompletion(true, false);
  Show("\rh\n");
  EXPECT_EQ(Shown(), "a\r\nb\r\nc\r\nde\r\n\r\nf\r\ng\n\rh\r\n");
}

TEST_F(Received, WithoutCompletionLoneLineEndsStayOneCharacterEach) {
  SetCompletion(false, false);
  Show("a\rb\nc\r\nd");
  EXPECT_EQ(Pane().toPlainText(), QString::fromUtf8("a\u240Db\u240Ac\nd"));
  EXPECT_EQ(Length(), 8);
  Show("e\r");
  Show("\nf");  // a CR ending one chunk and an LF starting the next make one break
  EXPECT_EQ(Pane().toPlainText(), QString::fromUtf8("a\u240Db\u240Ac\nde\nf"));
  // A leading backspace erases the LF of a line break, leaving its CR.
  term->Clearscreen1->trigger();
  Show("g\r\n");
  Show("\b");
  EXPECT_EQ(Pane().toPlainText(), QString::fromUtf8("g\u240D"));
  Show("\nh");
  EXPECT_EQ(Shown(), "g\r\nh");
}

TEST_F(Received, ControlCharactersInNotationButNeverTheLast) {
  term->mnuCtrl->trigger();
  Show("A\r\nB");
  Show("\r\n");  // the LF stays itself and is completed to a break
  Show(std::string("\x7f\x1c\xff\x80\0", 5) + "\x01");
  EXPECT_EQ(Shown(), "A[0D][0A]B[0D]\r\n\x7f[1C][FF][80][00]\x01");
}

TEST_F(Received, BackspacesEraseInTheChunkAndOnceInThePane) {
  Show("ab\bc");
  EXPECT_EQ(Shown(), "ac");
  Show("\b\bX");  // however many lead, only the pane's last character is replaced
  EXPECT_EQ(Shown(), "aX");
  Show("\b");
  Show("12\b\b\b\bZ");
  EXPECT_EQ(Shown(), "Z");
  term->Clearscreen1->trigger();
  Show("\bok");  // an empty pane has nothing to erase
  EXPECT_EQ(Shown(), "ok");
}

TEST_F(Received, PaneOverItsLimitKeepsItsLast16384Characters) {
  // 640 lines of 98 characters and a line break: 64000 characters, CR LF counting two.
  std::string all;
  for (int i = 0; i < 640; ++i) all += std::string(97, static_cast<char>('a' + i % 26)) + std::to_string(i % 10) + "\r\n";
  line->Send(VirtualLine::B, all);
  ASSERT_TRUE(RunUntil([&] { return Length() == 64000; }));
  Show("x");  // not over the limit yet: nothing cut
  all += "x";
  ASSERT_EQ(Shown(), all);
  Show("Z");
  EXPECT_EQ(Shown(), all.substr(all.size() - 16384) + "Z");
  EXPECT_EQ(Length(), 16385);
  // A cut inside a line break leaves its LF alone at the start.
  const std::string tail(64001 - 47618, 'b');
  term->Clearscreen1->trigger();
  Showing(std::string(47616, 'a') + "\r\n" + tail);
  Show("Z");
  EXPECT_EQ(Shown(), "\n" + tail + "Z");
}

TEST_F(Received, NulAndHighBytesAreShown) {
  Show(std::string("a\0b", 3));
  Show(std::string("c\0", 2));
  Show("caf\xe9 \xfc\xff");
  EXPECT_EQ(Shown(), std::string("a\0bc\0caf\xe9 \xfc\xff", 12));
  // A NUL is drawn as its picture: a raw U+0000 cuts the text for screen readers and the
  // clipboard.
  EXPECT_EQ(Pane().toPlainText(), QString::fromUtf8("a␀bc␀café üÿ"));
}

TEST_F(Received, CaretStaysAtTheEndAndInView) {
  term->show();
  for (int i = 0; i < 200; ++i) Show("line " + std::to_string(i) + "\n");
  QTextCursor caret = Pane().textCursor();
  EXPECT_EQ(caret.position(), Pane().document()->characterCount() - 1);
  EXPECT_FALSE(caret.hasSelection());
  EXPECT_GT(Pane().verticalScrollBar()->value(), 0);
  EXPECT_TRUE(Pane().viewport()->rect().contains(Pane().cursorRect()));
  term->hide();
}

TEST_F(Received, ReceivedTextCollectsUntilItPasses2400Characters) {
  line->Send(VirtualLine::B, std::string(2000, 'a'));
  line->Send(VirtualLine::B, std::string(400, 'b'));
  ASSERT_TRUE(RunUntil([&] { return term->ReceivedText.size() == 2400; }));
  line->Send(VirtualLine::B, "c");
  ASSERT_TRUE(RunUntil([&] { return Length() == 2401; }));
  EXPECT_EQ(term->ReceivedText, "");
}

TEST_F(Received, DuringATextSendChunksAreCollectedAndAcknowledgementsLeftOut) {
  term->SendingText = true;
  Show("held\x06");
  EXPECT_EQ(term->ReceivedText, "held\x06");
  EXPECT_EQ(Shown(), "");
  term->showReceived("held\x06");  // as the send shows what it collected
  term->showReceived(std::string("no ack\0", 7));
  w.frmTransfer->txtEolChar->setText("262");  // taken modulo 256
  term->showReceived("x\x06");
  EXPECT_EQ(Shown(), std::string("no ack\0", 7));
  w.frmTransfer->txtEolChar->setText("six");
  Guarded([&] { term->showReceived("text"); });
  EXPECT_EQ(dialogs.Reports, QStringList{"'six' is not a valid integer value."});
  EXPECT_EQ(Shown(), std::string("no ack\0", 7));
}

TEST_F(Received, CtsFlowControlHoldsRtsLowWhileAChunkIsHandled) {
  std::vector<bool> rtsWhileShown;
  QObject::connect(Pane().document(), &QTextDocument::contentsChanged,
                   [&] { rtsWhileShown.push_back(line->Rts(VirtualLine::A)); });
  Show("free");
  EXPECT_EQ(rtsWhileShown, std::vector<bool>{true});
  term->HWFlow1->trigger();
  ASSERT_TRUE(term->SerComm1->Active());
  rtsWhileShown.clear();
  const size_t before = line->RtsHistory(VirtualLine::A).size();
  Show("held");
  EXPECT_EQ(rtsWhileShown, std::vector<bool>{false});
  const auto history = line->RtsHistory(VirtualLine::A);
  ASSERT_EQ(history.size(), before + 2);
  EXPECT_FALSE(history[before].State);
  EXPECT_TRUE(history[before + 1].State);
}

TEST_F(Received, WriteToComSendsEveryByteAndNothingWhileClosed) {
  term->writeToCom(std::string("load\0\r", 6));
  EXPECT_EQ(BoardGot(6), std::string("load\0\r", 6));
  term->spdConnect->click();
  term->writeToCom("lost");
  EXPECT_TRUE(dialogs.Reports.isEmpty());
  EXPECT_EQ(line->Take(VirtualLine::B), "");
}

}  // namespace
