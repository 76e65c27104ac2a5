// SPDX-License-Identifier: GPL-3.0-or-later
// The terminal pane as a console's screen: what the parser makes of the board's output
// is applied to the pane's text in place. Each line of the terminal is one block of the
// pane and keeps its identity while it is overwritten, erased or trimmed. The cursor
// moves freely within a line and between the lines still in the pane; addressing by
// row, and erasing above or below, work on the last screenful (the rows the pane shows),
// as a terminal's screen sits below its scrollback. Lines do not wrap, so the screen is
// as wide as LastColumn. A column is one UTF-16 unit of the pane's text: a character
// outside the BMP (most of them emoji, two cells wide on a terminal) takes two.
#pragma once

#include <QTextCharFormat>
#include <QTextCursor>
#include <functional>
#include <string>
#include <string_view>

#include "console/AnsiParser.h"

class QPlainTextEdit;
class QTextBlock;

class AnsiScreen : private TerminalActions {
 public:
  struct Hooks {
    std::function<bool()> LineFeedReturns;           // an LF also returns to the line's start
    std::function<bool()> ShowControls;              // unacted control characters shown as [hh]
    std::function<void()> ClearPane;                 // as Clear screen does
    std::function<void(const std::string&)> Answer;  // a report to the board
  };

  // The pane is trimmed as the plain display trims it, at whole lines.
  static constexpr int PaneLimit = 64000;
  static constexpr int PaneKeep = 16384;
  static constexpr int LastColumn = 999;

  AnsiScreen(QPlainTextEdit* Pane, Hooks Callbacks);

  void SetUtf8(bool Utf8);
  // What the board sent.
  void Receive(std::string_view Bytes);
  // What was typed, shown at the cursor as a terminal's local echo shows it; its
  // sequences are read apart from the board's.
  void Echo(std::string_view Bytes);
  // Takes the pane up as it is: the cursor at the end of its last line, nothing pending.
  void Restart();

  bool ApplicationCursorKeys() const { return applicationCursorKeys_; }
  // The rows of the screen: those the pane shows.
  int Rows() const;

 private:
  void Apply(AnsiParser& Parser, std::string_view Bytes);
  void Text(std::u16string_view Run, const TextStyle& Style) override;
  void Act(const TermAction& Action) override;
  void Report(const TermAction& Action);

  QTextBlock Line() const;
  void MoveTo(const QTextBlock& Line);
  QTextBlock LineOfScreen(int Row);
  int ScreenTop() const;
  void LineFeed(bool KeepColumn);
  void Replace(const QTextBlock& Line, int From, int To, const QString& With, const QTextCharFormat& Format);
  void Blank(const QTextBlock& Line, int From, int To);
  void EraseInDisplay(int Mode);
  void ClearAll();
  void RemoveLinesBefore(const QTextBlock& Line);
  void TrimWhenFull();
  void ShowCaret();
  QTextCharFormat FormatOf(const TextStyle& Style);
  bool AtEnd() const;
  void Flush();

  QPlainTextEdit* pane_;
  QTextDocument* doc_;
  Hooks hooks_;
  AnsiParser received_, typed_;
  AnsiParser* parser_ = nullptr;  // the one being applied
  QTextCursor edit_;              // holds one edit block over a piece, so the pane lays out once
  QTextCursor line_;              // at the start of the cursor's line; follows edits elsewhere
  QTextCursor saved_;             // the saved cursor's line
  int column_ = 0;
  int savedColumn_ = 0;
  bool applicationCursorKeys_ = false;
  bool lineFeedReturns_ = true;
  bool showControls_ = false;
  TextStyle formatStyle_;
  QTextCharFormat format_;
  bool formatValid_ = false;
  // Text and line ends to go at the end of the pane, in one style: most of a flood comes
  // in one insertion. While it holds anything, the cursor is at its end.
  QString pending_;
  TextStyle pendingStyle_;
};
