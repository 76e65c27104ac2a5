// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tarvik.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QComboBox>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QToolButton>
#include <chrono>
#include <thread>

#include "app/Handlers.h"
#include "app/Latin1.h"
#include "app/PortBox.h"
#include "app/TextSet.h"
#include "app/ToolImages.h"
#include "app/XModem.h"
#include "app/about.h"
#include "console/SessionLog.h"
#include "framework/IntConvert.h"
#include "platform/DeviceNodeWatch.h"

namespace {

const char* const BaudRates[] = {"110",    "300",    "600",     "1200",    "2400",
                                 "4800",   "9600",   "14400",   "19200",   "28800",
                                 "38400",  "56000",  "57600",   "115200",  "128000",
                                 "232558", "476190", "1000000", "2000000", "5000000"};

void Select(QComboBox* Box, int Index) {
  QSignalBlocker blocker(Box);
  Box->setCurrentIndex(Index);
}

}  // namespace

// FormCreate.
TfrmTerm::TfrmTerm(QWidget* Parent) : QMainWindow(Parent) {
  setObjectName("frmTerm");
  setWindowTitle("Tarvik");
  setWindowIcon(ProgramIcon());
  QFont controls("MS Sans Serif");
  controls.setPointSize(8);
  controls.setStyleHint(QFont::SansSerif);
  setFont(controls);
  CreatePort();
  CreateMenus();
  CreateToolBars();
  CreatePane();
  CreateBottom();
  setGeometry(550, 469, 574, 446);
  FillLists();
  BindHandlers();
  CreateSending();
  CreateReplug();
  CreateSession();
  CreateNetwork();
  FirstActivation = true;
}

// FormDestroy.
TfrmTerm::~TfrmTerm() {
  if (port_->Active()) Guarded([this] { port_->Close(); });
}

void TfrmTerm::CreatePort() {
  port_ = std::make_unique<TSerComm>(nullptr);
  SerComm1 = port_.get();
  SerComm1->SetName("SerComm1");
  SerComm1->SetBaudrate(brUser);
  TSerFlowControl& flow = SerComm1->FlowControl();
  flow.SetOutCtsFlow(false);
  flow.SetOutDsrFlow(false);
  flow.SetXonXoffOut(false);
  flow.SetXonXoffIn(false);
  flow.SetDsrSensitivity(false);
  flow.SetTxContinueOnXoff(false);
  flow.SetControlDtr(dtrDisabled);
  flow.SetControlRts(rtsEnabled);
  SerComm1->SetDeviceName("COM%d");
  SerComm1->SetMonitorEvents(SerEvents({ceRxChar, ceTxEmpty}));
  SerComm1->Buffers().SetReadSize(65536);
  SerComm1->Buffers().SetWriteSize(232144);
  SerComm1->SetWritePriority(tpNormal);
  SerComm1->Loaded();
}

void TfrmTerm::SetWindows(TfrmTransfer* Transfer, TAboutBox* About, TfrmXModem* XModem) {
  frmTransfer_ = Transfer;
  AboutBox_ = About;
  frmXModem_ = XModem;
  frmXModem_->SetMainWindow(this);
}

void TfrmTerm::FillLists() {
  for (const char* rate : BaudRates) cboBaudRate->addItem(rate);
  Select(cboBaudRate, 1);
  RefreshPorts1Click();
  Select(cboPort, 1);
  ShowPortToolTip();
  for (const char* bits : {"1", "15", "2"}) cboStopBits->addItem(bits);
  Select(cboStopBits, 1);
  for (const char* bits : {"4", "5", "6", "7", "8"}) cboDataBits->addItem(bits);
  Select(cboDataBits, 4);
}

void TfrmTerm::BindHandlers() {
  BindTerminal();
  // Toggled, not clicked: a screen reader's toggle action changes the state without a click.
  Bind(spdConnect, &QToolButton::toggled, this, [this] { spdConnectClick(); });
  Bind(cboPort, &QComboBox::currentIndexChanged, this, [this] { cboPortChange(); });
  Bind(cboPort, &QComboBox::currentIndexChanged, this, [this] { ShowPortToolTip(); });
  Bind(cboPort->lineEdit(), &QLineEdit::returnPressed, this, [this] { TypedPortConfirmed(); });
  // A line-setting box runs its handler once for each new text, typed or chosen; the box
  // selecting the entry that matches a typed text, when it is left, changes nothing.
  Bind(cboBaudRate, &QComboBox::editTextChanged, this, [this] { cboBaudRateChange(); });
  Bind(cboStopBits, &QComboBox::editTextChanged, this, [this] { cboStopBitsChange(); });
  Bind(cboDataBits, &QComboBox::editTextChanged, this, [this] { cboDataBitsChange(); });

  Bind(Clearscreen1, &QAction::triggered, this, [this] { Clearscreen1Click(); });
  Bind(Sendx, &QAction::triggered, this, [this] { SendxClick(); });
  Bind(exttransfer1, &QAction::triggered, this, [this] { Settings1Click(); });
  Bind(Font1, &QAction::triggered, this, [this] { Font1Click(); });
  Bind(Background1, &QAction::triggered, this, [this] { Background1Click(); });
  Bind(RefreshPorts1, &QAction::triggered, this, [this] { RefreshPorts1Click(); });
  Bind(Reset1, &QAction::triggered, this, [this] { Reset1Click(); });
  Bind(DTRlow1, &QAction::triggered, this, [this] { DTRlow1Click(); });
  Bind(HWFlow1, &QAction::triggered, this, [this] { HWFlow1Click(); });
  Bind(About1, &QAction::triggered, this, [this] { About1Click(); });

  Bind(ToolButton3, &QToolButton::clicked, this, [this] { Settings1Click(); });
  Bind(ToolButton4, &QToolButton::clicked, this, [this] { Reset1Click(); });
  Bind(ToolButton6, &QToolButton::clicked, this, [this] { SendxClick(); });
}

int TfrmTerm::SelectedIndex(const QComboBox* Box) {
  int current = Box->currentIndex();
  if (current >= 0 && Box->itemText(current) == Box->currentText()) return current;
  return Box->findText(Box->currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive);
}

// Window events.

void TfrmTerm::FormActivate() {
  if (FirstActivation) {
    getSettings();
    FirstActivation = false;
  }
  mmoTerm->setFocus();
  showText(" \b");
  for (QComboBox* box : {cboBaudRate, cboStopBits, cboDataBits}) {
    box->lineEdit()->deselect();
    box->lineEdit()->setCursorPosition(0);
  }
  SendingText = false;
  SerComm1->FlowControl().SetOutCtsFlow(HWFlow1->isChecked());
}

void TfrmTerm::resizeEvent(QResizeEvent* Event) {
  QMainWindow::resizeEvent(Event);
  Guarded([this] { FormResize(); });
}

void TfrmTerm::FormResize() {
  staPanel0->setFixedWidth(std::max(0, width() - 130));
  staPanel1->setFixedWidth(120);
  btnCancel->move(0, btnCancel->y());
  ProgressBar1->move(btnCancel->geometry().right() + 1 + 2, ProgressBar1->y());
}

void TfrmTerm::closeEvent(QCloseEvent* Event) {
  StopSends();
  Guarded([this] { FormClose(); });
  EndLog();
  Event->accept();
  QCoreApplication::quit();
}

void TfrmTerm::FormClose() {
  SerComm1->Close();
  WriteSettings();
}

// Connection control.

void TfrmTerm::SetConnected(bool Pressed) {
  QSignalBlocker blocker(spdConnect);
  spdConnect->setChecked(Pressed);
}

// The user closes the port: a hang-up delivered while closing is not theirs to see.
void TfrmTerm::CloseForUser() {
  SerComm1->Close();
  SetConnected(false);
  ForgetLostPort();
}

void TfrmTerm::spdConnectClick() {
  ForgetLostPort();
  if (SerComm1->Active()) {
    CloseForUser();
  } else if (PortChosen()) {
    try {
      SerComm1->Open();
    } catch (...) {
      SetConnected(false);  // the button shows the port's real state
      throw;
    }
    SetConnected(true);
    reSetAll();
    mmoTerm->setFocus();
  } else {
    Dialogs().Message(this, "Select a port first");
    SetConnected(false);
  }
}

void TfrmTerm::reSetAll() {
  SerComm1->SetUserBaudrate(StrToInt(ToBytes(cboBaudRate->currentText())));
  int dataBits = SelectedIndex(cboDataBits);
  if (dataBits >= 0) SerComm1->SetDatabits(static_cast<TSerDatabits>(dataBits));
  ApplyStopBits();
}

void TfrmTerm::ApplyStopBits() {
  switch (SelectedIndex(cboStopBits)) {
    case 0:
      SerComm1->SetStopbits(sb1);
      break;
    case 1:
      Dialogs().Message(this, "Sorry 1.5 stop bits not available at this time, using 2");
      SerComm1->SetStopbits(sb2);
      break;
    case 2:
      SerComm1->SetStopbits(sb2);
      break;
    default:
      break;
  }
}

void TfrmTerm::PortChange() {
  if (!SerComm1->Active()) return;
  SetConnected(false);
  SerComm1->Close();
  SerComm1->Open();
  SetConnected(true);
  mmoTerm->setFocus();
}

int TfrmTerm::PortNumFromItem(int Index) const {
  std::string text = Index >= 0 && Index < cboPort->count() ? ToBytes(cboPort->itemText(Index)) : "";
  if (text.compare(0, 3, "COM") != 0) return 0;
  return StrToInt(text.substr(3, 20));
}

void TfrmTerm::cboPortChange() {
  ForgetLostPort();
  if (SerComm1->Active()) {
    CloseForUser();
    ChoosePortOfItem(SelectedIndex(cboPort));
    SerComm1->Open();
    SetConnected(true);
  } else {
    ChoosePortOfItem(SelectedIndex(cboPort));
  }
  mmoTerm->setFocus();
}

void TfrmTerm::cboBaudRateChange() {
  SerComm1->SetUserBaudrate(StrToInt(ToBytes(cboBaudRate->currentText())));
  PortChange();
}

void TfrmTerm::cboStopBitsChange() {
  ApplyStopBits();
  PortChange();
}

void TfrmTerm::cboDataBitsChange() {
  int index = SelectedIndex(cboDataBits);
  if (index <= 0) {
    Dialogs().Message(this, "Sorry 4 data bits not available at this time -- using 5");
    Select(cboDataBits, 1);
    SerComm1->SetDatabits(db5);
  } else {
    SerComm1->SetDatabits(static_cast<TSerDatabits>(index));
  }
  PortChange();
}

void TfrmTerm::RefreshPorts1Click() {
  std::vector<std::string> names;
  SerComm1->GetPortNames(names);
  const QStringList network = NetworkPortEntries();  // typed, not found: they stay
  QSignalBlocker blocker(cboPort);
  cboPort->clear();
  cboPort->setCurrentIndex(0);
  cboPort->addItem("<none>");
  for (const std::string& name : names) InsertPort(cboPort, FromBytes(name));
  for (const QString& name : network) InsertPort(cboPort, name);
  listedPorts_ = names;
  cboPort->setCurrentIndex(-1);
  ShowPortToolTip();
}

// A name typed into the port box and confirmed becomes an entry and is chosen, so a
// device that discovery does not list (a pseudo-terminal) can be used by its COM name.
void TfrmTerm::TypedPortConfirmed() {
  QString name = cboPort->currentText().trimmed();
  if (name.isEmpty() || cboPort->findText(name, Qt::MatchFixedString) >= 0)
    return;  // an existing entry is chosen by the box itself
  {
    QSignalBlocker blocker(cboPort);
    InsertPort(cboPort, name);
    cboPort->setCurrentIndex(FindPort(cboPort, name));
  }
  ShowPortToolTip();
  cboPortChange();
}

void TfrmTerm::ShowPortToolTip() {
  int index = cboPort->currentIndex();
  cboPort->setToolTip(index >= 0 ? cboPort->itemData(index, Qt::ToolTipRole).toString() : "");
}

// Menu operations.

void TfrmTerm::HWFlow1Click() {
  SerComm1->FlowControl().SetOutCtsFlow(HWFlow1->isChecked());
  PortChange();
}

void TfrmTerm::DTRlow1Click() { SerComm1->SetDTR(DTRlow1->isChecked()); }

void TfrmTerm::Reset1Click() {
  QColor saved = PaneBackground();
  struct Restore {
    TfrmTerm* Window;
    QColor Colour;
    ~Restore() { Window->SetPaneBackground(Colour); }
  } restore{this, saved};
  SerComm1->SetDTR(!DTRlow1->isChecked());
  SetPaneBackground(Qt::black);
  repaint();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the pulse; the window waits
  SerComm1->SetDTR(DTRlow1->isChecked());
  mmoTerm->setFocus();
}

void TfrmTerm::Font1Click() {
  QFont font = mmoTerm->font();
  QColor colour = PaneTextColour();
  if (!Dialogs().ChooseFont(this, font, colour)) return;
  paneFontName_ = font.family();
  mmoTerm->setFont(font);
  SetPaneTextColour(colour);
}

void TfrmTerm::Background1Click() {
  QColor colour = PaneBackground();
  if (Dialogs().ChooseColour(this, colour)) SetPaneBackground(colour);
}

void TfrmTerm::About1Click() { ShowInFront(AboutBox_); }

void TfrmTerm::SendxClick() {
  frmXModem_->move(x() + 50, y() + 50);
  ShowInFront(frmXModem_);
}

void TfrmTerm::Settings1Click() { frmTransfer_->ShowBeside(this); }

// Pane look.

QColor TfrmTerm::PaneBackground() const { return mmoTerm->palette().color(QPalette::Base); }

void TfrmTerm::SetPaneBackground(const QColor& Colour) {
  QPalette palette = mmoTerm->palette();
  palette.setColor(QPalette::Base, Colour);
  mmoTerm->setPalette(palette);
}

QColor TfrmTerm::PaneTextColour() const { return mmoTerm->palette().color(QPalette::Text); }

void TfrmTerm::SetPaneTextColour(const QColor& Colour) {
  QPalette palette = mmoTerm->palette();
  palette.setColor(QPalette::Text, Colour);
  mmoTerm->setPalette(palette);
}

QString TfrmTerm::PaneFontName() const { return paneFontName_; }

// A face that is not installed falls back to the system's fixed-pitch font; the name
// kept (and saved) stays the one asked for.
void TfrmTerm::SetPaneFont(const QString& Name, int PointSize) {
  paneFontName_ = Name;
  QFont font(Name);
  if (!QFontDatabase::hasFamily(Name))
    font.setFamilies({Name, QFontDatabase::systemFont(QFontDatabase::FixedFont).family()});
  font.setStyleHint(QFont::TypeWriter);
  if (PointSize > 0) font.setPointSize(PointSize);
  mmoTerm->setFont(font);
}
