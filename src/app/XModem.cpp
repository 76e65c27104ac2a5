// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/XModem.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/FileNames.h"
#include "app/Handlers.h"
#include "app/Latin1.h"
#include "app/SpecialChars.h"
#include "app/ToolImages.h"
#include "app/tarvik.h"

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
  CreatePort();
  CreateProtocol();
  CreateControls();
  BindHandlers();
  GetSettings();
  cboXModemProtocol->setCurrentIndex(0);
  SerXModem1->SetProtocol(static_cast<TSerXProtocol>(cboXModemProtocol->currentIndex()));
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

void TfrmXModem::CreateProtocol() {
  protocol_ = std::make_unique<TSerXModem>(nullptr);
  SerXModem1 = protocol_.get();
  SerXModem1->SetName("SerXModem1");
  SerXModem1->SetComm(SerComm2);
  SerXModem1->SetMode(tmUpload);
  SerXModem1->SetProtocol(XModem);
  SerXModem1->OnTransferStart = [this](TObject* Sender) { SerXModem1TransferStart(Sender); };
  SerXModem1->OnTransferEnd = [this](TObject* Sender, int Code) { SerXModem1TransferEnd(Sender, Code); };
  SerXModem1->OnError = [this](TObject* Sender, int Code, int Count) {
    SerXModem1Error(Sender, Code, Count);
  };
  SerXModem1->OnFileInfo = [this](TObject* Sender, const std::string& Name, int Size) {
    SerXModem1FileInit(Sender, Name, Size);
  };
  SerXModem1->OnPacketEvent = [this](TObject* Sender, int Packet, int Bytes) {
    SerXModem1PacketEvent(Sender, Packet, Bytes);
  };
  SerXModem1->Loaded();
}

void TfrmXModem::BindHandlers() {
  Bind(cmdXModemSend, &QPushButton::clicked, this, [this] { cmdXModemSendClick(); });
  Bind(cmdXModemRecieve, &QPushButton::clicked, this, [this] { cmdXModemRecieveClick(); });
  Bind(cmdXModemAbort, &QPushButton::clicked, this, [this] { cmdXModemAbortClick(); });
  Bind(cmdOK, &QPushButton::clicked, this, [this] { cmdOKClick(); });
  Bind(btnXModemBrowes, &QPushButton::clicked, this, [this] { btnXModemBrowesClick(); });
  // Only a choice by the user runs the change handler.
  Bind(cboXModemProtocol, &QComboBox::activated, this, [this] { cboXModemProtocolChange(); });
}

// Window events.

void TfrmXModem::FormActivate() {
  Label10->setText("");
  Label11->setText("");
  Label2->setText("0");
  Label6->setText("0");
  if (chkOnOpen->isChecked()) SendToBoard(txtStringOnOpen);
}

// A failing save ends the deactivation there; the report shows why.
void TfrmXModem::FormDeactivate() {
  WriteSettings();
  if (chkOnClose->isChecked()) SendToBoard(txtStringOnClose);
}

void TfrmXModem::SendToBoard(const QLineEdit* Text) const {
  if (frmTerm_) frmTerm_->writeToCom(ConvertSpecialChars(ToBytes(Text->text())));
}

// Buttons.

void TfrmXModem::cmdXModemSendClick() { StartTransfer(tmUpload); }

void TfrmXModem::cmdXModemRecieveClick() { StartTransfer(tmDownload); }

void TfrmXModem::StartTransfer(TSerTransferMode Mode) {
  SerXModem1->SetFileName(FileSystemName(txtXModemFileName->text()));
  SerXModem1->SetMode(Mode);
  SerXModem1->SetComm(MainPort());
  SerXModem1->StartTransfer();
}

// The cancel request goes to the worker, which sends its two CAN bytes on the port it is
// attached to. The component stays on the main port until that end arrives (a moment
// later, through SerXModem1TransferEnd), so the far end always hears of the abort; the
// window never waits for it.
void TfrmXModem::cmdXModemAbortClick() {
  SerXModem1->AbortTransfer();
  if (!SerXModem1->Busy()) SerXModem1->SetComm(SerComm2);
  hide();
}

// A running transfer goes on, without the main port.
void TfrmXModem::cmdOKClick() {
  SerXModem1->SetComm(SerComm2);
  hide();
}

void TfrmXModem::btnXModemBrowesClick() {
  dlgOpen1.Filter = "All Files|*.*|Binary|*.bin";
  dlgOpen1.DefaultExt = "bin";
  dlgOpen1.AnyName = true;  // a Receive may be aimed at a new file
  if (Dialogs().OpenFile(this, dlgOpen1)) txtXModemFileName->setText(dlgOpen1.FileName);
}

void TfrmXModem::cboXModemProtocolChange() {
  SerXModem1->SetProtocol(static_cast<TSerXProtocol>(cboXModemProtocol->currentIndex()));
}

TSerComm* TfrmXModem::MainPort() const { return frmTerm_ ? frmTerm_->SerComm1 : nullptr; }

// The transfer's events.

void TfrmXModem::AddLogLine(const std::string& Line) { Memo1->appendPlainText(FromBytes(Line)); }

// While the transfer has the main port its bytes are the transfer's: the session log
// only notes it.
void TfrmXModem::SerXModem1TransferStart(TObject*) {
  AddLogLine("Transfer started.");
  if (frmTerm_) frmTerm_->NoteInLog("XMODEM transfer started; its bytes are not logged");
}

void TfrmXModem::SerXModem1TransferEnd(TObject*, int ExitCode) {
  AddLogLine("Transfer ended.");
  AddLogLine("Exitcode: " + std::to_string(ExitCode));
  if (frmTerm_) frmTerm_->NoteInLog("XMODEM transfer ended, exit code " + std::to_string(ExitCode));
  SerXModem1->SetComm(SerComm2);
  if (chkOnComplete->isChecked()) hide();
}

void TfrmXModem::SerXModem1Error(TObject*, int ErrorCode, int) {
  AddLogLine("Error: " + std::to_string(ErrorCode));
}

void TfrmXModem::SerXModem1FileInit(TObject*, const std::string& Name, int Size) {
  Label10->setText(FileNameText(Name));
  Label11->setText(QString::number(Size));
}

void TfrmXModem::SerXModem1PacketEvent(TObject*, int Packet, int ByteCount) {
  Label2->setText(QString::number(Packet));
  Label6->setText(QString::number(ByteCount));
}
