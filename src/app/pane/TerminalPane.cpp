// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pane/TerminalPane.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "app/pane/ProgramEdit.h"

namespace {

constexpr char16_t NulPicture = 0x2400;
constexpr char16_t LoneCr = 0x240D;
constexpr char16_t LoneLf = 0x240A;

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
  if (doc->characterAt(cut).isLowSurrogate()) ++cut;  // never half a character
  ProgramEdit edit(doc);
  QTextCursor head(doc);
  head.setPosition(cut, QTextCursor::KeepAnchor);
  head.removeSelectedText();
  if (loneLf) head.insertText(QString(QChar(LoneLf)));
}

void TerminalPane::KeepLastLines(int Count) {
  if (Length() <= Count) return;
  QTextDocument* doc = pane_->document();
  QTextBlock first = doc->lastBlock();
  int kept = first.length() - 1;
  while (first.previous().isValid() && kept + first.previous().length() + 1 <= Count) {
    first = first.previous();
    kept += first.length() + 1;
  }
  if (first.position() == 0) return;
  ProgramEdit edit(doc);
  QTextCursor head(doc);
  head.setPosition(first.position(), QTextCursor::KeepAnchor);
  head.removeSelectedText();
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
  // In the pane's own look, also after coloured text of the console display.
  QTextCursor end = EndOf(doc);
  end.insertText(Drawn(crFirst ? "\r" + Bytes : Bytes, utf8_), QTextCharFormat());
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

QString TerminalPane::Drawn(const std::string& Bytes, bool Utf8) {
  if (Utf8) return DrawnUtf8(Bytes);
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

// The same pictures for CR, LF and NUL; the text between them decoded as UTF-8.
QString TerminalPane::DrawnUtf8(const std::string& Bytes) {
  QString drawn;
  drawn.reserve(static_cast<qsizetype>(Bytes.size()));
  size_t text = 0;
  for (size_t i = 0; i <= Bytes.size(); ++i) {
    const char c = i < Bytes.size() ? Bytes[i] : '\0';
    if (i < Bytes.size() && c != '\r' && c != '\n' && c != '\0') continue;
    drawn += QString::fromUtf8(Bytes.data() + text, static_cast<qsizetype>(i - text));
    if (i == Bytes.size()) break;
    const size_t next = c == '\r' && i + 1 < Bytes.size() && Bytes[i + 1] == '\n' ? i + 2 : i + 1;
    drawn += Drawn(Bytes.substr(i, next - i), false);
    i = next - 1;
    text = next;
  }
  KeepToTheLine(drawn.data(), drawn.size());
  return drawn;
}

void TerminalPane::KeepToTheLine(QChar* Text, qsizetype Size) {
  for (qsizetype i = 0; i < Size; ++i) {
    const char16_t c = Text[i].unicode();
    if (c == 0x2028 || c == 0x2029 || c == 0xFDD0 || c == 0xFDD1) Text[i] = QChar(0xFFFD);
  }
}
