// SPDX-License-Identifier: GPL-3.0-or-later
// The terminal pane's text box. Text the user puts in (paste, Shift+Insert, a middle
// click, a drop) is first offered to the pane's owner, which may type it to the port
// instead; the text box then keeps what it held.
#pragma once

#include <QPlainTextEdit>
#include <QTextBlock>
#include <functional>

class TerminalEdit : public QPlainTextEdit {
 public:
  using QPlainTextEdit::QPlainTextEdit;

  // True when it took the text.
  std::function<bool(const QString& Text)> TakeInsertedText;

  // A column left of the text (the lines' times) and where a line stands in the viewport.
  void SetLeftColumn(int Width) { setViewportMargins(Width, 0, 0, 0); }
  QTextBlock FirstShownLine() const { return firstVisibleBlock(); }
  QRectF LineGeometry(const QTextBlock& Line) const {
    return blockBoundingGeometry(Line).translated(contentOffset());
  }

 protected:
  void insertFromMimeData(const QMimeData* Source) override;
  void dropEvent(QDropEvent* Event) override;

 private:
  bool Taken(const QMimeData* Source) const;
};
