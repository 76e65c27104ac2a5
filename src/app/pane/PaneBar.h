// SPDX-License-Identifier: GPL-3.0-or-later
// A bar over or under the terminal pane (find, Send Hex): one row of controls, hidden
// until opened, ending in a close button. Escape from any of its controls closes it, and
// the pane gets the keyboard focus back.
#pragma once

#include <QWidget>

class QHBoxLayout;
class QToolButton;

class PaneBar : public QWidget {
 public:
  // Hides the bar; the pane gets the focus back.
  virtual void Close();

 protected:
  PaneBar(QWidget* Pane, QWidget* Parent, const char* Name, const QString& AccessibleName);

  QHBoxLayout* Row() const { return row_; }
  // The close button, last in the row.
  QToolButton* AddCloseButton(const char* Name, const QString& Hint, const QString& AccessibleName);
  void keyPressEvent(QKeyEvent* Event) override;

 private:
  QWidget* pane_;
  QHBoxLayout* row_;
};
