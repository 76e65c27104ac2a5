// SPDX-License-Identifier: GPL-3.0-or-later
// What the program writes into the pane is not the user's editing: it stays out of the
// undo history (which would otherwise keep every byte ever received).
#pragma once

#include <QTextDocument>

class ProgramEdit {
 public:
  explicit ProgramEdit(QTextDocument* Doc) : doc_(Doc), undo_(Doc->isUndoRedoEnabled()) {
    if (undo_) doc_->setUndoRedoEnabled(false);
  }
  ~ProgramEdit() {
    if (undo_) doc_->setUndoRedoEnabled(true);
  }
  ProgramEdit(const ProgramEdit&) = delete;
  ProgramEdit& operator=(const ProgramEdit&) = delete;

 private:
  QTextDocument* doc_;
  bool undo_;
};
