// SPDX-License-Identifier: GPL-3.0-or-later
// Received bytes drawn in the pane as hex rows (HexRows), one row a line: the row left
// partial is completed in place as the next bytes come. The pane keeps its bounds at
// whole rows; a piece so large that the trim would cut most of its rows before they are
// ever drawn puts only the rows the trim keeps.
#pragma once

#include <QTextCursor>
#include <string_view>

#include "console/HexRows.h"

class QPlainTextEdit;

class HexPane {
 public:
  static constexpr int PaneLimit = 64000;
  static constexpr int PaneKeep = 16384;

  explicit HexPane(QPlainTextEdit* Pane);

  // Offsets count from 0 again, on a line of their own.
  void Start();
  void Show(std::string_view Bytes);

 private:
  void PutRows(const std::vector<HexRow>& Rows, size_t First);

  QPlainTextEdit* pane_;
  HexRows rows_;
  QTextCursor lastRow_;  // at the start of the row put last, while there is one
};
