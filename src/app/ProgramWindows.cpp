// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ProgramWindows.h"

ProgramWindows::ProgramWindows()
    : frmTerm(std::make_unique<TfrmTerm>()),
      frmTransfer(std::make_unique<TfrmTransfer>()),
      AboutBox(std::make_unique<TAboutBox>()),
      frmXModem(std::make_unique<TfrmXModem>()) {
  frmTerm->SetWindows(frmTransfer.get(), AboutBox.get(), frmXModem.get());
}

ProgramWindows::~ProgramWindows() {
  frmXModem.reset();
  AboutBox.reset();
  frmTransfer.reset();
  frmTerm.reset();
}
