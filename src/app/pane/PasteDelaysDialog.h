// SPDX-License-Identifier: GPL-3.0-or-later
// The pauses of a paste typed to the board: after each character and after each line,
// in milliseconds.
#pragma once

#include <QDialog>

class QSpinBox;

class PasteDelaysDialog : public QDialog {
 public:
  static constexpr int MaxDelayMs = 10000;

  explicit PasteDelaysDialog(QWidget* Parent);

  void SetDelays(int CharacterMs, int LineMs);
  int CharacterDelay() const;
  int LineDelay() const;

 private:
  QSpinBox* spnCharacter_;
  QSpinBox* spnLine_;
};
