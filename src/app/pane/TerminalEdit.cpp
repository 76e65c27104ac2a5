// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pane/TerminalEdit.h"

#include <QDropEvent>
#include <QMimeData>

bool TerminalEdit::Taken(const QMimeData* Source) const {
  return Source && Source->hasText() && TakeInsertedText && TakeInsertedText(Source->text());
}

void TerminalEdit::insertFromMimeData(const QMimeData* Source) {
  if (!Taken(Source)) QPlainTextEdit::insertFromMimeData(Source);
}

// A taken drop is a copy, so a drag out of the pane itself removes nothing from it; the
// drop marker goes as when the drag leaves.
void TerminalEdit::dropEvent(QDropEvent* Event) {
  if (!Taken(Event->mimeData())) {
    QPlainTextEdit::dropEvent(Event);
    return;
  }
  Event->setDropAction(Qt::CopyAction);
  Event->accept();
  QDragLeaveEvent leave;
  QPlainTextEdit::dragLeaveEvent(&leave);
}
