// SPDX-License-Identifier: GPL-3.0-or-later
// The column left of the pane's text that shows each line's time (LineTimes), so that
// text copied from the pane holds none. It sits in the pane's viewport margin, follows
// its scrolling, font and colours, and draws only the lines in view.
#pragma once

#include <QWidget>

class TerminalEdit;

class TimeGutter : public QWidget {
 public:
  explicit TimeGutter(TerminalEdit* Pane);

  // Shown or hidden together with the pane's margin for it.
  void SetShown(bool Shown);
  int ColumnWidth() const;

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;
  void paintEvent(QPaintEvent* Event) override;

 private:
  void Place();

  TerminalEdit* pane_;
  QWidget* viewport_;  // the pane's; its events also come while the pane is being destroyed
};
