// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pane/PasteDelaysDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QSpinBox>

namespace {

QSpinBox* DelayBox(QWidget* Parent, const char* Name, const char* AccessibleName) {
  auto* box = new QSpinBox(Parent);
  box->setObjectName(Name);
  box->setAccessibleName(AccessibleName);
  box->setRange(0, PasteDelaysDialog::MaxDelayMs);
  box->setSuffix(" ms");
  return box;
}

}  // namespace

PasteDelaysDialog::PasteDelaysDialog(QWidget* Parent) : QDialog(Parent) {
  setObjectName("dlgPasteDelays");
  setWindowTitle("Paste Delays");
  auto* form = new QFormLayout(this);
  spnCharacter_ = DelayBox(this, "spnCharacterDelay", "Delay after each character");
  spnLine_ = DelayBox(this, "spnLineDelay", "Delay after each line");
  form->addRow("After each character:", spnCharacter_);
  form->addRow("After each line:", spnLine_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->setObjectName("btnsPasteDelays");
  form->addRow(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void PasteDelaysDialog::SetDelays(int CharacterMs, int LineMs) {
  spnCharacter_->setValue(CharacterMs);
  spnLine_->setValue(LineMs);
}

int PasteDelaysDialog::CharacterDelay() const { return spnCharacter_->value(); }

int PasteDelaysDialog::LineDelay() const { return spnLine_->value(); }
