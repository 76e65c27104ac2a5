// SPDX-License-Identifier: GPL-3.0-or-later
// What goes to the board with the console settings: the keys without a character as
// sequences, UTF-8 typing, what Enter sends, the local echo, and a paste paced for a slow
// board.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "TerminalRig.h"
#include "app/pane/BoardConsole.h"

namespace {

class ConsoleKeys : public ::testing::Test, public VirtualLineTerminal {
 protected:
  void SetUp() override {
    ASSERT_TRUE(term->SerComm1->Active());
    Pane().setFocus();
  }
  BoardConsole& Console() const { return *term->Console; }
  void Press(Qt::Key Key, Qt::KeyboardModifiers Mods = Qt::NoModifier) {
    QTest::keyClick(&Pane(), Key, Mods);
  }
  void Type(const QString& Text) {
    QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, Text);
    QApplication::sendEvent(&Pane(), &key);
  }
  void Paste(const QString& Text) {
    QApplication::clipboard()->setText(Text);
    Press(Qt::Key_Insert, Qt::ShiftModifier);
  }
};

TEST_F(ConsoleKeys, KeysWithoutACharacterSendSequences) {
  Console().ANSITerminal1->setChecked(true);
  const struct {
    Qt::Key Key;
    Qt::KeyboardModifiers Mods;
    std::string Sent;
  } keys[] = {
      {Qt::Key_Up, Qt::NoModifier, "\x1b[A"},        {Qt::Key_Down, Qt::NoModifier, "\x1b[B"},
      {Qt::Key_Right, Qt::NoModifier, "\x1b[C"},     {Qt::Key_Left, Qt::NoModifier, "\x1b[D"},
      {Qt::Key_Home, Qt::NoModifier, "\x1b[H"},      {Qt::Key_End, Qt::NoModifier, "\x1b[F"},
      {Qt::Key_Insert, Qt::NoModifier, "\x1b[2~"},   {Qt::Key_Delete, Qt::NoModifier, "\x1b[3~"},
      {Qt::Key_PageUp, Qt::NoModifier, "\x1b[5~"},   {Qt::Key_PageDown, Qt::NoModifier, "\x1b[6~"},
      {Qt::Key_Left, Qt::ControlModifier, "\x1b[1;5D"}, {Qt::Key_End, Qt::ShiftModifier | Qt::AltModifier, "\x1b[1;4F"},
      {Qt::Key_Delete, Qt::ControlModifier, "\x1b[3;5~"}, {Qt::Key_F1, Qt::NoModifier, "\x1bOP"},
      {Qt::Key_F4, Qt::ControlModifier, "\x1b[1;5S"}, {Qt::Key_F5, Qt::NoModifier, "\x1b[15~"},
      {Qt::Key_F12, Qt::NoModifier, "\x1b[24~"},     {Qt::Key_A, Qt::ControlModifier, "\x01"},
  };
  for (const auto& k : keys) {
    Press(k.Key, k.Mods);
    EXPECT_EQ(BoardGot(k.Sent.size()), k.Sent) << k.Key;
  }
  ASSERT_TRUE(Receive("\x1b[?1h"));  // the board asks for the arrows' application form
  Press(Qt::Key_Down);
  EXPECT_EQ(BoardGot(3), "\x1bOB");
  Press(Qt::Key_Right, Qt::ControlModifier);  // with a modifier, the usual form
  EXPECT_EQ(BoardGot(6), "\x1b[1;5C");
  Paste("ls");  // Shift+Insert still pastes
  EXPECT_EQ(BoardGot(2), "ls");
  Console().ANSITerminal1->setChecked(false);
  Press(Qt::Key_Up);
  QTest::keyClicks(&Pane(), "z");
  EXPECT_EQ(BoardGot(1), "z");  // without ANSI Terminal the arrow sent nothing
}

TEST_F(ConsoleKeys, Utf8AndEnterSends) {
  Type(QString::fromUtf8("é"));
  Console().UTF81->setChecked(true);
  Type(QString::fromUtf8("é"));
  Type(QString::fromUtf8("€"));
  Console().EnterLF1->trigger();
  Press(Qt::Key_Return);
  Console().EnterCRLF1->trigger();
  Press(Qt::Key_Enter, Qt::KeypadModifier);
  Paste(QString::fromUtf8("a\nπ\r\n"));
  const std::string sent = "\xe9\xc3\xa9\xe2\x82\xac\n\r\na\r\n\xcf\x80\r\n";
  EXPECT_EQ(BoardGot(sent.size()), sent);
}

TEST_F(ConsoleKeys, EchoShowsTypingAtTheCursor) {
  term->Echo1->trigger();
  Console().ANSITerminal1->setChecked(true);
  Console().UTF81->setChecked(true);
  ASSERT_TRUE(Receive(">>> "));
  QTest::keyClicks(&Pane(), "pi");
  Type(QString::fromUtf8("é"));
  Press(Qt::Key_Left);
  Press(Qt::Key_Left);
  QTest::keyClicks(&Pane(), "I");
  Press(Qt::Key_Return);
  EXPECT_EQ(Pane().toPlainText(), QString::fromUtf8(">>> pIé\n"));
}

// A slow board gets the paste a key at a time, a line's end followed by a longer pause;
// the progress bar shows it running, and Cancel ends it.
TEST_F(ConsoleKeys, PacedPasteRunsFromATimerAndStopsOnCancel) {
  Console().PasteCharacterDelay = 2;
  Console().PasteLineDelay = 20;
  Paste("ab\ncd");
  EXPECT_TRUE(Console().PasteRunning());
  EXPECT_FALSE(term->ProgressBar1->isHidden());
  EXPECT_FALSE(term->btnCancel->isHidden());
  EXPECT_EQ(BoardGot(5), "ab\rcd");
  ASSERT_TRUE(RunUntil([&] { return !Console().PasteRunning(); }));
  EXPECT_TRUE(term->ProgressBar1->isHidden());

  Console().PasteCharacterDelay = 100;
  Paste("0123456789");
  std::string got = BoardGot(1);
  term->btnCancel->click();
  EXPECT_FALSE(Console().PasteRunning());
  EXPECT_TRUE(term->ProgressBar1->isHidden());
  EXPECT_FALSE(RunUntil([&] { return (got += line->Take(VirtualLine::B)).size() >= 10; }, 500));
  EXPECT_EQ(got, std::string("0123456789").substr(0, got.size()));
  Paste("x");  // a paste of one key after a cancel still goes out
  EXPECT_EQ(BoardGot(1), "x");
}

}  // namespace
