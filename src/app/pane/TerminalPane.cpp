// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pane/TerminalPane.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace {

constexpr char16_t NulPicture = 0x2400;
constexpr char16_t LoneCr = 0x240D;
constexpr char16_t LoneLf = 0x240A;

// What the program writes into the pane is not the user's editing: it stays out of
// the undo history (which would otherwise keep every byte ever received).
class ProgramEdit {
 public:
  explicit ProgramEdit(QTextDocument* Doc) : doc_(Doc), undo_(Doc->isUndoRedoEnabled()) {
    if (undo_) doc_->setUndoRedoEnabled(false);
  }
  ~ProgramEdit() {
    if (undo_) doc_->setUndoRedoEnabled(true);
  }

 private:
  QTextDocument* doc_;
  bool undo_;
};

QTextCursor EndOf(QTextDocument* Doc) {
  QTextCursor end(Doc);
  end.movePosition(QTextCursor::End);
  return end;
}

}  // namespace

int TerminalPane::Length() const {
  const QTextDocument* doc = pane_->document();
  // characterCount() counts every block separator once and one closing separator.
  return doc->characterCount() - 1 + doc->blockCount() - 1;
}

void TerminalPane::KeepLast(int Count) {
  if (Length() <= Count) return;
  QTextDocument* doc = pane_->document();
  // Walk back from the end until Count characters are behind; the cut may fall inside
  // a line break, which leaves its LF alone at the start.
  int keep = Count;
  int cut = 0;
  bool loneLf = false;
  for (QTextBlock block = doc->lastBlock();; ) {
    const int text = block.length() - 1;
    if (keep <= text) {
      cut = block.position() + text - keep;
      break;
    }
    keep -= text;
    block = block.previous();
    const int breakAt = block.position() + block.length() - 1;
    if (keep <= 2) {
      cut = keep == 2 ? breakAt : breakAt + 1;
      loneLf = keep == 1;
      break;
    }
    keep -= 2;
  }
  ProgramEdit edit(doc);
  QTextCursor head(doc);
  head.setPosition(cut, QTextCursor::KeepAnchor);
  head.removeSelectedText();
  if (loneLf) head.insertText(QString(QChar(LoneLf)));
}

void TerminalPane::CaretToEnd() { pane_->setTextCursor(EndOf(pane_->document())); }

bool TerminalPane::EndsWithBreak() const {
  const QTextDocument* doc = pane_->document();
  return doc->blockCount() > 1 && doc->lastBlock().length() == 1;
}

bool TerminalPane::EndsWithLoneCr() const {
  const QString last = pane_->document()->lastBlock().text();
  return !last.isEmpty() && last.back() == QChar(LoneCr);
}

void TerminalPane::RemoveLastCharacter() {
  QTextCursor end = EndOf(pane_->document());
  end.deletePreviousChar();
}

void TerminalPane::Append(const std::string& Bytes, bool ReplaceLast) {
  QTextDocument* doc = pane_->document();
  ProgramEdit edit(doc);
  // A CR that ends the pane pairs with an LF that comes now: it is taken out and drawn
  // again together with the new text.
  bool crFirst = false;
  if (ReplaceLast && Length() > 0) {
    crFirst = EndsWithBreak();  // replacing the LF of a line break leaves its CR
    RemoveLastCharacter();
  }
  if (!crFirst && EndsWithLoneCr()) {
    RemoveLastCharacter();
    crFirst = true;
  }
  QTextCursor end = EndOf(doc);
  end.insertText(Drawn(crFirst ? "\r" + Bytes : Bytes));
  pane_->setTextCursor(end);
  pane_->ensureCursorVisible();
}

std::string TerminalPane::Text() const {
  std::string bytes;
  for (QTextBlock block = pane_->document()->firstBlock(); block.isValid(); block = block.next()) {
    if (block != pane_->document()->firstBlock()) bytes += "\r\n";
    for (QChar c : block.text()) {
      if (c == QChar(LoneCr)) bytes += '\r';
      else if (c == QChar(LoneLf)) bytes += '\n';
      else if (c == QChar(NulPicture)) bytes += '\0';
      else bytes += c.unicode() < 256 ? static_cast<char>(c.unicode()) : '?';
    }
  }
  return bytes;
}

QString TerminalPane::Drawn(const std::string& Bytes) {
  QString drawn;
  drawn.reserve(static_cast<qsizetype>(Bytes.size()));
  for (size_t i = 0; i < Bytes.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(Bytes[i]);
    if (c == '\r' && i + 1 < Bytes.size() && Bytes[i + 1] == '\n') {
      drawn += QChar(u'\n');
      ++i;
    } else if (c == '\r') {
      drawn += QChar(LoneCr);
    } else if (c == '\n') {
      drawn += QChar(LoneLf);
    } else if (c == '\0') {
      drawn += QChar(NulPicture);
    } else {
      drawn += QChar(static_cast<char16_t>(c));  // Latin-1 is the first 256 code points
    }
  }
  return drawn;
}
