// SPDX-License-Identifier: GPL-3.0-or-later
// The About window: program icon, name and version; OK hides it.
#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

class TAboutBox : public QDialog {
 public:
  explicit TAboutBox(QWidget* Parent = nullptr);

  QFrame* Panel1;
  QLabel* ProgramIcon;
  QLabel* ProductName;
  QLabel* Version;
  QLabel* Comments;
  QPushButton* OKButton;
};
