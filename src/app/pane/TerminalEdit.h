// SPDX-License-Identifier: GPL-3.0-or-later
// The terminal pane's text box. Text the user puts in (paste, Shift+Insert, a middle
// click, a drop) is first offered to the pane's owner, which may type it to the port
// instead; the text box then keeps what it held.
#pragma once

#include <QPlainTextEdit>
#include <functional>

class TerminalEdit : public QPlainTextEdit {
 public:
  using QPlainTextEdit::QPlainTextEdit;

  // True when it took the text.
  std::function<bool(const QString& Text)> TakeInsertedText;

 protected:
  void insertFromMimeData(const QMimeData* Source) override;
  void dropEvent(QDropEvent* Event) override;

 private:
  bool Taken(const QMimeData* Source) const;
};
