// SPDX-License-Identifier: GPL-3.0-or-later
// The program's four windows, created in their order and freed in the reverse one.
#pragma once

#include <memory>

#include "app/TextSet.h"
#include "app/XModem.h"
#include "app/about.h"
#include "app/tarvik.h"

struct ProgramWindows {
  ProgramWindows();
  ~ProgramWindows();

  std::unique_ptr<TfrmTerm> frmTerm;
  std::unique_ptr<TfrmTransfer> frmTransfer;
  std::unique_ptr<TAboutBox> AboutBox;
  std::unique_ptr<TfrmXModem> frmXModem;
};
