// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pane/HexPane.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

#include "app/pane/ProgramEdit.h"
#include "app/pane/TerminalPane.h"

namespace {

// A whole row and its line break, as the pane counts them.
constexpr int RowLength = 78 + 2;

}  // namespace

HexPane::HexPane(QPlainTextEdit* Pane) : pane_(Pane) {}

void HexPane::Start() {
  rows_.Restart();
  lastRow_ = QTextCursor();
}

void HexPane::Show(std::string_view Bytes) {
  const std::vector<HexRow> rows = rows_.Add(Bytes);
  if (rows.empty()) return;
  QTextDocument* doc = pane_->document();
  ProgramEdit program(doc);
  TerminalPane pane(pane_);
  size_t first = 0;
  if (rows.size() > static_cast<size_t>(PaneLimit / RowLength)) {
    // The next piece would find the pane over its limit and keep only the last of these.
    first = rows.size() - static_cast<size_t>(PaneKeep / RowLength);
    pane_->clear();
    lastRow_ = QTextCursor();
  } else if (pane.Length() > PaneLimit) {
    pane.KeepLastLines(PaneKeep);
  }
  QTextCursor edit(doc);
  edit.beginEditBlock();
  PutRows(rows, first);
  edit.endEditBlock();
  QTextCursor end(doc);
  end.movePosition(QTextCursor::End);
  pane_->setTextCursor(end);
  pane_->ensureCursorVisible();
}

// The first row completes the one put last when it is that row; the rest go at the end
// in one insertion, each on a line of its own.
void HexPane::PutRows(const std::vector<HexRow>& Rows, size_t First) {
  QTextDocument* doc = pane_->document();
  if (Rows[First].ReplacesLast && !lastRow_.isNull()) {
    QTextCursor row(lastRow_.block());
    row.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    row.insertText(QString::fromLatin1(Rows[First].Text), QTextCharFormat());
    ++First;
  }
  if (First == Rows.size()) return;
  std::string text;
  text.reserve((Rows.size() - First) * RowLength);
  if (doc->lastBlock().length() > 1) text += '\n';
  for (size_t i = First; i < Rows.size(); ++i) {
    if (i > First) text += '\n';
    text += Rows[i].Text;
  }
  QTextCursor end(doc);
  end.movePosition(QTextCursor::End);
  end.insertText(QString::fromLatin1(text), QTextCharFormat());
  lastRow_ = QTextCursor(doc->lastBlock());
}
