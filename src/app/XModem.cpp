#include "app/XModem.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include "app/ToolImages.h"

namespace {

QLabel* MakeLabel(QWidget* Parent, const char* Name, const char* Caption, int X, int Y) {
  auto* label = new QLabel(Caption, Parent);
  label->setObjectName(Name);
  label->move(X, Y);
  return label;
}

QLineEdit* MakeEdit(QWidget* Parent, const char* Name, const char* AccessibleName, QRect Place) {
  auto* edit = new QLineEdit(Parent);
  edit->setObjectName(Name);
  edit->setAccessibleName(AccessibleName);
  edit->setGeometry(Place);
  return edit;
}

QCheckBox* MakeCheck(QWidget* Parent, const char* Name, const char* Caption,
                     const char* AccessibleName, int X, int Y) {
  auto* box = new QCheckBox(Caption, Parent);
  box->setObjectName(Name);
  box->setAccessibleName(AccessibleName);
  box->move(X, Y);
  box->adjustSize();
  return box;
}

}  // namespace

// FormCreate.
TfrmXModem::TfrmXModem(QWidget* Parent) : QDialog(Parent) {
  setObjectName("frmXModem");
  setWindowTitle("XModem Protocol Transfer");
  setWindowIcon(ProgramIcon());
  setModal(false);
  QFont controls("MS Sans Serif");
  controls.setPointSize(8);
  controls.setStyleHint(QFont::SansSerif);
  setFont(controls);
  setFixedSize(387, 345);
  CreatePort();
  CreateControls();
  GetSettings();
}

TfrmXModem::~TfrmXModem() = default;

// Never opened: it only holds the protocol component between transfers.
void TfrmXModem::CreatePort() {
  port_ = std::make_unique<TSerComm>(nullptr);
  SerComm2 = port_.get();
  SerComm2->SetName("SerComm2");
  SerComm2->SetBaudrate(br115200);
  SerComm2->SetPortNum(3);
  SerComm2->SetDeviceName("COM%d");
  TSerFlowControl& flow = SerComm2->FlowControl();
  flow.SetControlDtr(dtrDisabled);
  flow.SetControlRts(rtsDisabled);
  flow.SetOutCtsFlow(false);
  flow.SetOutDsrFlow(false);
  flow.SetXonXoffOut(false);
  flow.SetXonXoffIn(false);
  SerComm2->SetMonitorEvents(SerEvents(
      {ceBreak, ceCts, ceDsr, ceError, ceRing, ceRlsd, ceRxChar, ceTxEmpty, ceRxFlag}));
  SerComm2->Buffers().SetReadSize(8096);
  SerComm2->Loaded();
}

void TfrmXModem::CreateControls() {
  Label5 = MakeLabel(this, "Label5", "Filename", 16, 110);
  txtXModemFileName = MakeEdit(this, "txtXModemFileName", "Filename", QRect(16, 126, 257, 21));
  Label12 = MakeLabel(this, "Label12", "String to send on open", 16, 232);
  txtStringOnOpen =
      MakeEdit(this, "txtStringOnOpen", "String to send on open", QRect(135, 232, 220, 21));
  txtStringOnOpen->setToolTip("use #n for special charaters");
  chkOnOpen = MakeCheck(this, "chkOnOpen", "", "Send the string on open", 360, 232);
  Label13 = MakeLabel(this, "Label13", "Strint to send on close", 16, 264);
  txtStringOnClose =
      MakeEdit(this, "txtStringOnClose", "Strint to send on close", QRect(135, 264, 220, 21));
  txtStringOnClose->setToolTip("use #n for special charaters");
  chkOnClose = MakeCheck(this, "chkOnClose", "", "Send the string on close", 360, 264);
  chkOnComplete = MakeCheck(this, "chkOnComplete", "Close on transfer complete",
                            "Close on transfer complete", 16, 288);
  setTabOrder(txtXModemFileName, txtStringOnOpen);
  setTabOrder(txtStringOnOpen, chkOnOpen);
  setTabOrder(chkOnOpen, txtStringOnClose);
  setTabOrder(txtStringOnClose, chkOnClose);
  setTabOrder(chkOnClose, chkOnComplete);
}

void TfrmXModem::FormDeactivate() { WriteSettings(); }
