// SPDX-License-Identifier: GPL-3.0-or-later
// The find bar over the terminal pane: a text or a regular expression, with or without
// case, every match highlighted and counted, the current one selected in the pane. Typing
// what to find only highlights and counts; the pane moves to a match when the user asks
// for the next or previous one (Enter, Shift+Enter). Matches are marked with the pane's
// extra selections, so the pane's own text and colours stay as they are. The matches
// follow the pane's text while the bar is open; Escape closes it.
#pragma once

#include <QTextCursor>
#include <vector>

#include "app/pane/PaneBar.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTimer;
class QToolButton;

class FindBar : public PaneBar {
 public:
  FindBar(QPlainTextEdit* Pane, QWidget* Parent);

  // Shows the bar with what to find selected and the keyboard focus in it.
  void Open();
  // Hides the bar and its marks; the pane gets the focus back.
  void Close() override;
  void FindNext();
  void FindPrevious();

  int MatchCount() const { return static_cast<int>(matches_.size()); }
  // The current match's index, or -1.
  int CurrentMatch() const { return currentIndex_; }

  QLineEdit* txtFind;
  QCheckBox* chkFindRegExp;
  QCheckBox* chkFindCase;
  QToolButton* btnFindPrevious;
  QToolButton* btnFindNext;
  QLabel* lblFindMatches;
  QToolButton* btnFindClose;

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  struct Match {
    int Start, Length;
  };
  void Search();
  void SearchIfStale();
  void Step(int Direction);
  void GoTo(int Index);
  void Mark();
  void ShowCount();
  int ViewTop() const;
  int ViewBottom() const;

  QPlainTextEdit* pane_;
  std::vector<Match> matches_;  // in the order of the pane's text
  int currentIndex_ = -1;
  QTextCursor current_;  // follows the pane's edits until the next search
  QString error_;
  QTimer* paneChanged_;  // one search for a burst of new text
};
