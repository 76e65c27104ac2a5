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

namespace {

QLabel* MakeLabel(QWidget* Parent, const char* Name, const char* Caption, int X, int Y) {
  auto* label = new QLabel(Caption, Parent);
  label->setObjectName(Name);
  label->move(X, Y);
  label->adjustSize();
  return label;
}

// A label whose text changes during a transfer: wide enough for what it will show.
QLabel* MakeValueLabel(QWidget* Parent, const char* Name, const char* Caption, int X, int Y,
                       int Width) {
  QLabel* label = MakeLabel(Parent, Name, Caption, X, Y);
  label->resize(Width, label->height());
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

QPushButton* MakeButton(QWidget* Parent, const char* Name, const char* Caption, QRect Place) {
  auto* button = new QPushButton(Caption, Parent);
  button->setObjectName(Name);
  button->setGeometry(Place);
  button->setAutoDefault(false);
  return button;
}

constexpr const char* SpecialCharsHint = "use #n for special charaters";

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

void TfrmXModem::CreateControls() {
  Label4 = MakeLabel(this, "Label4", "Status:", 16, 8);
  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  Memo1->setAccessibleName("Status");
  Memo1->setGeometry(16, 24, 345, 81);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setTabChangesFocus(true);
  Label5 = MakeLabel(this, "Label5", "Filename", 16, 110);
  txtXModemFileName = MakeEdit(this, "txtXModemFileName", "Filename", QRect(16, 126, 257, 21));
  btnXModemBrowes = MakeButton(this, "btnXModemBrowes", "Browes", QRect(289, 125, 75, 25));
  Label7 = MakeLabel(this, "Label7", "Protocol", 16, 156);
  cboXModemProtocol = new QComboBox(this);
  cboXModemProtocol->setObjectName("cboXModemProtocol");
  cboXModemProtocol->setAccessibleName("Protocol");
  cboXModemProtocol->addItems({"XMODEM", "XMODEM-1K", "XMODEM-G"});
  cboXModemProtocol->setGeometry(16, 172, 125, 21);
  CreateProgressLabels();
  CreateTextControls();
  CreateButtons();
  SetTabOrder();
}

void TfrmXModem::CreateProgressLabels() {
  Label1 = MakeLabel(this, "Label1", "Packet", 160, 168);
  Label2 = MakeValueLabel(this, "Label2", "0", 204, 168, 40);
  Label3 = MakeLabel(this, "Label3", "Count", 248, 168);
  Label6 = MakeValueLabel(this, "Label6", "0", 292, 168, 90);
  Label9 = MakeLabel(this, "Label9", "Filesize:", 160, 188);
  Label11 = MakeValueLabel(this, "Label11", "-", 216, 188, 166);
  Label8 = MakeLabel(this, "Label8", "Filename: ", 16, 208);
  Label10 = MakeValueLabel(this, "Label10", "-", 72, 208, 310);
}

void TfrmXModem::CreateTextControls() {
  Label12 = MakeLabel(this, "Label12", "String to send on open", 16, 232);
  txtStringOnOpen =
      MakeEdit(this, "txtStringOnOpen", "String to send on open", QRect(135, 232, 220, 21));
  txtStringOnOpen->setToolTip(SpecialCharsHint);
  chkOnOpen = MakeCheck(this, "chkOnOpen", "", "Send the string on open", 360, 232);
  Label13 = MakeLabel(this, "Label13", "Strint to send on close", 16, 264);
  txtStringOnClose =
      MakeEdit(this, "txtStringOnClose", "Strint to send on close", QRect(135, 264, 220, 21));
  txtStringOnClose->setToolTip(SpecialCharsHint);
  chkOnClose = MakeCheck(this, "chkOnClose", "", "Send the string on close", 360, 264);
  chkOnComplete = MakeCheck(this, "chkOnComplete", "Close on transfer complete",
                            "Close on transfer complete", 16, 288);
}

void TfrmXModem::CreateButtons() {
  cmdXModemAbort = MakeButton(this, "cmdXModemAbort", "Abort", QRect(26, 311, 74, 25));
  cmdOK = MakeButton(this, "cmdOK", "OK", QRect(112, 311, 75, 25));
  cmdXModemRecieve = MakeButton(this, "cmdXModemRecieve", "Receive", QRect(204, 311, 75, 25));
  cmdXModemSend = MakeButton(this, "cmdXModemSend", "Send", QRect(294, 311, 75, 25));
}

void TfrmXModem::SetTabOrder() {
  QWidget* order[] = {Memo1,           cmdXModemRecieve, cmdXModemAbort,  cmdXModemSend,
                      txtXModemFileName, cboXModemProtocol, btnXModemBrowes, cmdOK,
                      txtStringOnOpen, chkOnOpen,        txtStringOnClose, chkOnClose,
                      chkOnComplete};
  for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
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

void TfrmXModem::SerXModem1TransferStart(TObject*) { AddLogLine("Transfer started."); }

void TfrmXModem::SerXModem1TransferEnd(TObject*, int ExitCode) {
  AddLogLine("Transfer ended.");
  AddLogLine("Exitcode: " + std::to_string(ExitCode));
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
