// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pane/AnsiScreen.h"

#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>
#include <climits>
#include <cstdio>

#include "app/pane/ProgramEdit.h"
#include "app/pane/TerminalPane.h"

namespace {

constexpr int TabWidth = 8;

int LengthOf(const QTextBlock& Line) { return Line.length() - 1; }

QColor ColourOf(const TermColour& Colour) {
  switch (Colour.Source) {
    case TermColour::Indexed:
      return QColor::fromRgb(PaletteRgb(static_cast<int>(Colour.Value)));
    case TermColour::Rgb:
      return QColor::fromRgb(Colour.Value);
    case TermColour::Default:
      break;
  }
  return {};
}

QColor Halfway(const QColor& From, const QColor& To) {
  return QColor((From.red() + To.red()) / 2, (From.green() + To.green()) / 2, (From.blue() + To.blue()) / 2);
}

}  // namespace

AnsiScreen::AnsiScreen(QPlainTextEdit* Pane, Hooks Callbacks)
    : pane_(Pane), doc_(Pane->document()), hooks_(std::move(Callbacks)), line_(doc_), saved_(doc_) {
  line_.setKeepPositionOnInsert(true);
  saved_.setKeepPositionOnInsert(true);
  Restart();
}

void AnsiScreen::SetUtf8(bool Utf8) {
  received_.SetUtf8(Utf8);
  typed_.SetUtf8(Utf8);
}

void AnsiScreen::Restart() {
  received_.Reset();
  typed_.Reset();
  applicationCursorKeys_ = false;
  line_.movePosition(QTextCursor::End);
  line_.movePosition(QTextCursor::StartOfBlock);
  column_ = LengthOf(line_.block());
  saved_.setPosition(line_.position());
  savedColumn_ = column_;
}

void AnsiScreen::Receive(std::string_view Bytes) { Apply(received_, Bytes); }

void AnsiScreen::Echo(std::string_view Bytes) { Apply(typed_, Bytes); }

int AnsiScreen::Rows() const {
  const int lineHeight = std::max(1, QFontMetrics(doc_->defaultFont()).lineSpacing());
  return std::max(1, pane_->viewport()->height() / lineHeight);
}

void AnsiScreen::Apply(AnsiParser& Parser, std::string_view Bytes) {
  ProgramEdit program(doc_);
  TrimWhenFull();
  // An emptied pane (Clear screen) puts the cursor home.
  if (doc_->isEmpty()) column_ = 0;
  line_.movePosition(QTextCursor::StartOfBlock);
  lineFeedReturns_ = hooks_.LineFeedReturns();
  showControls_ = hooks_.ShowControls();
  formatValid_ = false;  // the pane's colours may have changed
  parser_ = &Parser;
  edit_ = QTextCursor(doc_);
  edit_.beginEditBlock();
  Parser.Feed(Bytes, *this);
  Flush();
  edit_.endEditBlock();
  parser_ = nullptr;
  ShowCaret();
}

QTextBlock AnsiScreen::Line() const { return line_.block(); }

void AnsiScreen::MoveTo(const QTextBlock& Line) { line_.setPosition(Line.position()); }

int AnsiScreen::ScreenTop() const { return std::max(0, doc_->blockCount() - Rows()); }

// The line of a row of the screen, made when the pane does not reach it yet.
QTextBlock AnsiScreen::LineOfScreen(int Row) {
  const int number = ScreenTop() + std::clamp(Row, 0, Rows() - 1);
  while (doc_->blockCount() <= number) {
    QTextCursor end(doc_);
    end.movePosition(QTextCursor::End);
    end.insertBlock(QTextBlockFormat(), QTextCharFormat());
  }
  return doc_->findBlockByNumber(number);
}

void AnsiScreen::LineFeed(bool KeepColumn) {
  const QTextBlock line = Line();
  if (!line.next().isValid()) {
    QTextCursor end(doc_);
    end.movePosition(QTextCursor::End);
    end.insertBlock(QTextBlockFormat(), QTextCharFormat());
  }
  MoveTo(line.next());
  if (!KeepColumn) column_ = 0;
}

// Columns From to To (past the end: to the end) of a line become With; a line too short
// for From is first filled with spaces when With is to stand there.
void AnsiScreen::Replace(const QTextBlock& Line, int From, int To, const QString& With,
                         const QTextCharFormat& Format) {
  const int length = LengthOf(Line);
  const int start = std::min(From, length), end = std::clamp(To, start, length);
  edit_.setPosition(Line.position() + start);
  if (end > start) edit_.setPosition(Line.position() + end, QTextCursor::KeepAnchor);
  if (With.isEmpty()) {
    if (end > start) edit_.removeSelectedText();
    return;
  }
  if (From > length) edit_.insertText(QString(From - length, u' '), QTextCharFormat());
  edit_.insertText(With, Format);
}

// Columns From to To of a line, as far as the line has them, become spaces in the
// current background.
void AnsiScreen::Blank(const QTextBlock& Line, int From, int To) {
  const int end = std::min(To, LengthOf(Line));
  if (end <= From) return;
  TextStyle blank;
  blank.Background = parser_->Style().Background;
  Replace(Line, From, end, QString(end - From, u' '), FormatOf(blank));
}

void AnsiScreen::Text(std::u16string_view Run, const TextStyle& Style) {
  QString text(reinterpret_cast<const QChar*>(Run.data()), static_cast<qsizetype>(Run.size()));
  TerminalPane::KeepToTheLine(text.data(), text.size());
  if (!pending_.isEmpty() && Style == pendingStyle_) {
    pending_ += text;
  } else if (AtEnd()) {
    Flush();
    pending_ = text;
    pendingStyle_ = Style;
  } else {
    Replace(Line(), column_, column_ + static_cast<int>(text.size()), text, FormatOf(Style));
  }
  column_ += static_cast<int>(text.size());
}

bool AnsiScreen::AtEnd() const {
  if (!pending_.isEmpty()) return true;
  const QTextBlock line = Line();
  return !line.next().isValid() && column_ == LengthOf(line);
}

void AnsiScreen::Flush() {
  if (pending_.isEmpty()) return;
  edit_.movePosition(QTextCursor::End);
  edit_.insertText(pending_, FormatOf(pendingStyle_));
  pending_.clear();
  MoveTo(doc_->lastBlock());
}

void AnsiScreen::Act(const TermAction& Action) {
  if (Action.Op == TermOp::LineFeed && lineFeedReturns_ && AtEnd()) {
    pending_ += u'\n';
    column_ = 0;
    return;
  }
  Flush();
  const QTextBlock line = Line();
  switch (Action.Op) {
    case TermOp::CarriageReturn:
      column_ = 0;
      break;
    case TermOp::LineFeed:
      LineFeed(!lineFeedReturns_);
      break;
    case TermOp::Index:
      LineFeed(true);
      break;
    case TermOp::ReverseIndex:
      if (line.previous().isValid()) MoveTo(line.previous());
      break;
    case TermOp::Backspace:
      column_ = std::max(0, column_ - 1);
      break;
    case TermOp::Tab:
      column_ = std::min((column_ / TabWidth + 1) * TabWidth, std::max(column_, LastColumn));
      break;
    case TermOp::CursorUp:
      MoveTo(doc_->findBlockByNumber(std::max(0, line.blockNumber() - Action.A)));
      break;
    case TermOp::CursorDown:
      MoveTo(doc_->findBlockByNumber(std::min(doc_->blockCount() - 1, line.blockNumber() + Action.A)));
      break;
    case TermOp::CursorForward:
      column_ = std::min(column_ + Action.A, std::max(column_, LastColumn));
      break;
    case TermOp::CursorBack:
      column_ = std::max(0, column_ - Action.A);
      break;
    case TermOp::CursorColumn:
      column_ = std::min(Action.A, LastColumn);
      break;
    case TermOp::CursorRow:
      MoveTo(LineOfScreen(Action.A));
      break;
    case TermOp::CursorPosition:
      MoveTo(LineOfScreen(Action.A));
      column_ = std::min(Action.B, LastColumn);
      break;
    case TermOp::EraseInLine:
      if (Action.A == 0) Replace(line, column_, INT_MAX, QString(), QTextCharFormat());
      if (Action.A == 1) Blank(line, 0, column_ + 1);
      if (Action.A == 2) Replace(line, 0, INT_MAX, QString(), QTextCharFormat());
      break;
    case TermOp::EraseInDisplay:
      EraseInDisplay(Action.A);
      break;
    case TermOp::InsertBlanks:
      if (column_ < LengthOf(line))
        Replace(line, column_, column_, QString(Action.A, u' '), QTextCharFormat());
      break;
    case TermOp::DeleteChars:
      Replace(line, column_, column_ + Action.A, QString(), QTextCharFormat());
      break;
    case TermOp::EraseChars:
      Blank(line, column_, column_ + Action.A);
      break;
    case TermOp::SaveCursor:
      saved_.setPosition(line.position());
      savedColumn_ = column_;
      break;
    case TermOp::RestoreCursor:
      MoveTo(saved_.block());
      column_ = savedColumn_;
      break;
    case TermOp::Reset:
      if (parser_ == &received_) applicationCursorKeys_ = false;
      ClearAll();
      break;
    case TermOp::Unshown:
      if (showControls_) {
        char notation[8];
        std::snprintf(notation, sizeof notation, "[%02X]", Action.A & 0xFF);
        const std::u16string text(notation, notation + 4);
        Text(text, TextStyle{});
      }
      break;
    default:
      Report(Action);
      break;
  }
}

// Only the board's own questions are answered, and its mode changes kept.
void AnsiScreen::Report(const TermAction& Action) {
  if (parser_ != &received_) return;
  switch (Action.Op) {
    case TermOp::ReportStatus:
      hooks_.Answer("\x1b[0n");
      break;
    case TermOp::ReportCursor: {
      const int row = std::max(0, Line().blockNumber() - ScreenTop()) + 1;
      hooks_.Answer("\x1b[" + std::to_string(row) + ";" + std::to_string(column_ + 1) + "R");
      break;
    }
    case TermOp::ReportDevice:
      hooks_.Answer("\x1b[?1;2c");  // a VT100 with advanced video
      break;
    case TermOp::CursorKeys:
      applicationCursorKeys_ = Action.A != 0;
      break;
    default:
      break;
  }
}

// Erased lines of the screen stay as empty lines, as a terminal's rows stay; erasing it
// all empties the pane as Clear screen does.
void AnsiScreen::EraseInDisplay(int Mode) {
  const QTextBlock line = Line();
  switch (Mode) {
    case 0:
      Replace(line, column_, INT_MAX, QString(), QTextCharFormat());
      for (QTextBlock below = line.next(); below.isValid(); below = below.next())
        Replace(below, 0, INT_MAX, QString(), QTextCharFormat());
      break;
    case 1:
      for (QTextBlock above = doc_->findBlockByNumber(ScreenTop()); above.isValid() && above < line;
           above = above.next())
        Replace(above, 0, INT_MAX, QString(), QTextCharFormat());
      Blank(line, 0, column_ + 1);
      break;
    case 2:
      ClearAll();
      break;
    case 3:
      RemoveLinesBefore(doc_->findBlockByNumber(ScreenTop()));
      break;
  }
}

void AnsiScreen::ClearAll() {
  edit_.endEditBlock();
  hooks_.ClearPane();
  edit_.beginEditBlock();
  line_.setPosition(0);
  column_ = 0;
}

void AnsiScreen::RemoveLinesBefore(const QTextBlock& Line) {
  if (Line.position() == 0) return;
  QTextCursor head(doc_);
  head.setPosition(Line.position(), QTextCursor::KeepAnchor);
  head.removeSelectedText();
}

// Over the pane's limit, the fewest whole last lines that hold PaneKeep characters stay
// (a line break counting two, as the plain display counts); a single longer line keeps
// its last PaneKeep characters.
void AnsiScreen::TrimWhenFull() {
  if (TerminalPane(pane_).Length() <= PaneLimit) return;
  QTextBlock first = doc_->lastBlock();
  int kept = first.length() - 1;
  while (kept < PaneKeep && first.previous().isValid()) {
    first = first.previous();
    kept += first.length() + 1;
  }
  RemoveLinesBefore(first);
  const int cut = first.length() - 1 - PaneKeep;
  if (TerminalPane(pane_).Length() <= PaneLimit || cut <= 0) return;
  QTextCursor head(doc_);
  head.setPosition(cut + (doc_->characterAt(cut).isLowSurrogate() ? 1 : 0), QTextCursor::KeepAnchor);
  head.removeSelectedText();
}

void AnsiScreen::ShowCaret() {
  const QTextBlock line = Line();
  QTextCursor caret(doc_);
  caret.setPosition(line.position() + std::min(column_, LengthOf(line)));
  pane_->setTextCursor(caret);
  pane_->ensureCursorVisible();
}

// Default colours are left unset, so that the pane's own colours show, also after the
// user changes them; inverse and faint need them as they are now.
QTextCharFormat AnsiScreen::FormatOf(const TextStyle& Style) {
  if (formatValid_ && Style == formatStyle_) return format_;
  QColor fore = ColourOf(Style.Foreground), back = ColourOf(Style.Background);
  const QColor paneText = pane_->palette().color(QPalette::Text);
  const QColor paneBack = pane_->palette().color(QPalette::Base);
  if (Style.Inverse) {
    const QColor oldFore = fore;
    fore = back.isValid() ? back : paneBack;
    back = oldFore.isValid() ? oldFore : paneText;
  }
  if (Style.Faint) fore = Halfway(fore.isValid() ? fore : paneText, back.isValid() ? back : paneBack);
  QTextCharFormat format;
  if (fore.isValid()) format.setForeground(fore);
  if (back.isValid()) format.setBackground(back);
  if (Style.Bold) format.setFontWeight(QFont::Bold);
  if (Style.Italic) format.setFontItalic(true);
  if (Style.Underline) format.setFontUnderline(true);
  if (Style.Strike) format.setFontStrikeOut(true);
  formatStyle_ = Style;
  format_ = format;
  formatValid_ = true;
  return format;
}
