// SPDX-License-Identifier: GPL-3.0-or-later
// Keys typed into the pane: while connected every character goes to the board as it is
// (copy and paste keys included) with echo through the display rules only; keys without
// a character keep editing; while disconnected the pane is a text box.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QShortcut>
#include <QTest>

#include "TerminalRig.h"

namespace {

class Keys : public ::testing::Test, public VirtualLineTerminal {
 protected:
  void SetUp() override {
    ASSERT_TRUE(term->SerComm1->Active());
    Pane().setFocus();
  }
  void Press(Qt::Key Key, Qt::KeyboardModifiers Mods = Qt::NoModifier) { QTest::keyClick(&Pane(), Key, Mods); }
};

TEST_F(Keys, EveryCharacterIsSentAsItIs) {
  QTest::keyClicks(&Pane(), "hi 1");
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Backspace, Qt::Key_Escape, Qt::Key_Tab}) Press(key);
  Press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  Press(Qt::Key_BracketLeft, Qt::ControlModifier);
  Press(Qt::Key_At, Qt::ControlModifier);
  QInputMethodEvent composed;  // a dead key's character
  composed.setCommitString(QString::fromUtf8("é"));
  QApplication::sendEvent(&Pane(), &composed);
  QKeyEvent euro(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromUtf8("€"));  // no Latin-1 byte
  QApplication::sendEvent(&Pane(), &euro);
  const std::string expected("hi 1\r\b\x1b\t\x1a\x1b\0\xe9?", 13);
  EXPECT_EQ(BoardGot(expected.size()), expected);
  EXPECT_EQ(Shown(), "");  // no echo: the pane takes nothing itself
}

TEST_F(Keys, CopyPasteAndShortcutKeysAreSentWhileConnected) {
  term->show();
  term->activateWindow();
  ASSERT_TRUE(RunUntil([&] { return QApplication::activeWindow() == term; }));
  Pane().setFocus();
  QShortcut shortcut(QKeySequence(Qt::CTRL | Qt::Key_L), term);  // a key the pane leaves alone
  int fired = 0;
  QObject::connect(&shortcut, &QShortcut::activated, [&] { ++fired; });
  QApplication::clipboard()->setText("clipboard");
  Showing("shown");
  Pane().selectAll();
  for (Qt::Key key : {Qt::Key_C, Qt::Key_V, Qt::Key_A, Qt::Key_L}) Press(key, Qt::ControlModifier);
  EXPECT_EQ(BoardGot(4), "\x03\x16\x01\x0c");
  EXPECT_EQ(QApplication::clipboard()->text(), "clipboard");
  EXPECT_EQ(Shown(), "shown");
  EXPECT_EQ(fired, 0);
  term->spdConnect->click();
  Press(Qt::Key_L, Qt::ControlModifier);
  EXPECT_EQ(fired, 1);
  term->hide();
}

// While connected, text pasted (Shift+Insert) or dropped into the pane goes to the board as
// typing would, a line end as Enter sends it; the pane keeps what arrived.
TEST_F(Keys, PastedAndDroppedTextIsTyped) {
  Showing("shown");
  QApplication::clipboard()->setText("ab\r\nc\nd");
  Press(Qt::Key_Insert, Qt::ShiftModifier);
  EXPECT_EQ(BoardGot(6), "ab\rc\rd");
  QMimeData dragged;
  dragged.setText("xy");
  const QPoint at = Pane().viewport()->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &dragged, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(Pane().viewport(), &enter);
  QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, &dragged, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(Pane().viewport(), &drop);
  EXPECT_EQ(BoardGot(2), "xy");
  EXPECT_EQ(Shown(), "shown");
}

TEST_F(Keys, KeysWithoutACharacterKeepEditingAndSendNothing) {
  Showing("abc");
  for (Qt::Key key : {Qt::Key_Left, Qt::Key_Left, Qt::Key_Delete, Qt::Key_Shift, Qt::Key_F5}) Press(key);
  Press(Qt::Key_1, Qt::ControlModifier);  // no control code of its own
  EXPECT_EQ(Shown(), "ac");
  QTest::keyClicks(&Pane(), "z");
  EXPECT_EQ(BoardGot(1), "z");
}

TEST_F(Keys, EchoGoesThroughTheDisplayRulesOnly) {
  term->Echo1->trigger();
  QTest::keyClicks(&Pane(), "ab");
  Press(Qt::Key_Backspace);  // sent, and erases the shown character
  EXPECT_EQ(Shown(), "a");
  term->mnuCtrl->trigger();
  Press(Qt::Key_Return);  // one character: never in notation, completed to a break
  Press(Qt::Key_Escape);  // a typed ESC is not acted on
  QTest::keyClicks(&Pane(), "[2J");
  EXPECT_EQ(Shown(), "a\r\n\x1b[2J");
  EXPECT_EQ(BoardGot(9), "ab\b\r\x1b[2J");
}

TEST_F(Keys, DisconnectedThePaneIsATextBox) {
  term->spdConnect->click();
  ASSERT_FALSE(term->SerComm1->Active());
  QTest::keyClicks(&Pane(), "typed");
  Press(Qt::Key_Backspace);
  Press(Qt::Key_Return);
  EXPECT_EQ(Shown(), "type\r\n");
  Pane().selectAll();
  Press(Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), "type\n");
  Press(Qt::Key_End, Qt::ControlModifier);
  Press(Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(Shown(), "type\r\ntype\r\n");
  term->spdConnect->click();  // nothing went out meanwhile: the board sees only what follows
  Pane().setFocus();
  QTest::keyClicks(&Pane(), "!");
  EXPECT_EQ(BoardGot(1), "!");
}

}  // namespace
