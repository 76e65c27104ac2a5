// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/SerPrst.h"

void TSerFlowControl::Assign(const TPersistent* Source) {
  auto* from = dynamic_cast<const TSerFlowControl*>(Source);
  if (!from) {
    TSerPersistent::Assign(Source);
    return;
  }
  BeginUpdate();
  SetOutCtsFlow(from->OutCtsFlow());
  SetOutDsrFlow(from->OutDsrFlow());
  SetControlDtr(from->ControlDtr());
  SetControlRts(from->ControlRts());
  SetXonXoffOut(from->XonXoffOut());
  SetXonXoffIn(from->XonXoffIn());
  SetDsrSensitivity(from->DsrSensitivity());
  SetTxContinueOnXoff(from->TxContinueOnXoff());
  EndUpdate();
}

void TSerEventChars::Assign(const TPersistent* Source) {
  auto* from = dynamic_cast<const TSerEventChars*>(Source);
  if (!from) {
    TSerPersistent::Assign(Source);
    return;
  }
  BeginUpdate();
  SetXonChar(from->XonChar());
  SetXoffChar(from->XoffChar());
  SetErrorChar(from->ErrorChar());
  SetEventChar(from->EventChar());
  SetEofChar(from->EofChar());
  EndUpdate();
}

void TSerBuffers::Assign(const TPersistent* Source) {
  auto* from = dynamic_cast<const TSerBuffers*>(Source);
  if (!from) {
    TSerPersistent::Assign(Source);
    return;
  }
  BeginUpdate();
  SetReadSize(from->ReadSize());
  SetWriteSize(from->WriteSize());
  SetReadTimeout(from->ReadTimeout());
  SetWriteTimeout(from->WriteTimeout());
  SetXonLimit(from->XonLimit());
  SetXoffLimit(from->XoffLimit());
  EndUpdate();
}
