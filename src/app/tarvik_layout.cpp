// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's controls, menus and tool bars as the window is designed.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/ToolImages.h"
#include "app/pane/BoardConsole.h"
#include "app/pane/PaneView.h"
#include "app/tarvik.h"

namespace {

QToolBar* MakeToolBar(QMainWindow* Window, const char* Name) {
  auto* bar = new QToolBar(Window);
  bar->setObjectName(Name);
  bar->setAccessibleName(Name);
  bar->setFixedHeight(29);
  bar->setMovable(false);
  bar->setFloatable(false);
  bar->setIconSize(QSize(16, 16));
  Window->addToolBar(Qt::TopToolBarArea, bar);
  return bar;
}

QToolButton* AddToolButton(QToolBar* Bar, const char* Name, int Image, const char* Hint) {
  auto* button = new QToolButton(Bar);
  button->setObjectName(Name);
  button->setIcon(ToolImage(Image));
  button->setToolTip(Hint);
  button->setAccessibleName(Hint);
  button->setAutoRaise(true);
  Bar->addWidget(button);
  return button;
}

void AddSeparator(QToolBar* Bar, const char* Name) {
  auto* gap = new QWidget(Bar);
  gap->setObjectName(Name);
  gap->setFixedWidth(8);
  Bar->addWidget(gap);
}

QComboBox* AddBox(QToolBar* Bar, const char* Name, const char* AccessibleName) {
  auto* box = new QComboBox(Bar);
  box->setObjectName(Name);
  box->setEditable(true);
  box->setInsertPolicy(QComboBox::NoInsert);
  box->setCompleter(nullptr);  // every typed character reaches the box as typed
  box->setFixedWidth(74);
  box->setAccessibleName(AccessibleName);
  Bar->addWidget(box);
  return box;
}

QAction* AddItem(QMenu* Menu, const char* Name, const char* Caption, bool Checkable = false) {
  QAction* action = Menu->addAction(Caption);
  action->setObjectName(Name);
  action->setCheckable(Checkable);
  return action;
}

}  // namespace

void TfrmTerm::CreateMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName("MainMenu1");
  QMenu* file = bar->addMenu("&File");
  file->setObjectName("File1");
  SendText1 = AddItem(file, "SendText1", "&Send Text");
  ResendText1 = AddItem(file, "ResendText1", "&Re-send Text");
  CancelSend1 = AddItem(file, "CancelSend1", "&Cancel Send");
  Clearscreen1 = AddItem(file, "Clearscreen1", "C&lear screen");
  Sendx = AddItem(file, "Sendx", "&Xmodem");
  SendBinary1 = AddItem(file, "SendBinary1", "Send &Binary");
  file->addSeparator();
  LogtoFile1 = AddItem(file, "LogtoFile1", "Lo&g to File", true);
  SendHex1 = AddItem(file, "SendHex1", "Send &Hex");
  Find1 = AddItem(file, "Find1", "&Find");
  QMenu* settings = bar->addMenu("&Settings");
  settings->setObjectName("Settings2");
  exttransfer1 = AddItem(settings, "exttransfer1", "&Text transfer");
  Font1 = AddItem(settings, "Font1", "&Font");
  Background1 = AddItem(settings, "Background1", "&Background");
  Echo1 = AddItem(settings, "Echo1", "&Echo", true);
  RefreshPorts1 = AddItem(settings, "RefreshPorts1", "&Refresh Ports");
  mnuCtrl = AddItem(settings, "mnuCtrl", "&Show Control Chrs", true);
  Console = new BoardConsole(this);
  Console->AddMenuItems(settings);
  View = new PaneView(this);
  View->AddMenuItems(settings);
  QMenu* serial = bar->addMenu("S&erial");
  serial->setObjectName("Serial1");
  Reset1 = AddItem(serial, "Reset1", "&Reset");
  DTRlow1 = AddItem(serial, "DTRlow1", "&DTR low", true);
  HWFlow1 = AddItem(serial, "HWFlow1", "&CTS Flow Control", true);
  AutoReconnect1 = AddItem(serial, "AutoReconnect1", "&Auto Reconnect", true);
  AutoReconnect1->setChecked(true);
  About1 = bar->addAction("&About");
  About1->setObjectName("About1");
}

void TfrmTerm::CreateToolBars() {
  ToolBar1 = MakeToolBar(this, "ToolBar1");
  ToolButton1 = AddToolButton(ToolBar1, "ToolButton1", 0, "Select and send text");
  ToolButton2 = AddToolButton(ToolBar1, "ToolButton2", 1, "send text again");
  ToolButton3 = AddToolButton(ToolBar1, "ToolButton3", 2, "show text settings");
  ToolButton4 = AddToolButton(ToolBar1, "ToolButton4", 3, "Reset (#DTR)");
  AddSeparator(ToolBar1, "ToolButton5");
  ToolButton6 = AddToolButton(ToolBar1, "ToolButton6", 22, "XModem Transfer");
  AddSeparator(ToolBar1, "ToolButton7");
  ToolButton8 = AddToolButton(ToolBar1, "ToolButton8", 24, "Send binary file");
  ToolButton9 =
      AddToolButton(ToolBar1, "ToolButton9", 23, "Re-send binary file, name is on status bar");
  addToolBarBreak(Qt::TopToolBarArea);

  ToolBar2 = MakeToolBar(this, "ToolBar2");
  spdConnect = new QToolButton(ToolBar2);
  spdConnect->setObjectName("spdConnect");
  spdConnect->setCheckable(true);
  spdConnect->setFixedSize(23, 22);
  spdConnect->setIcon(ConnectGlyph());
  spdConnect->setToolTip("Connect to selected com port");
  spdConnect->setAccessibleName("Connect to selected com port");
  ToolBar2->addWidget(spdConnect);
  cboPort = AddBox(ToolBar2, "cboPort", "Port");
  cboBaudRate = AddBox(ToolBar2, "cboBaudRate", "Baud rate");
  cboStopBits = AddBox(ToolBar2, "cboStopBits", "Stop bits");
  cboDataBits = AddBox(ToolBar2, "cboDataBits", "Data bits");
}

void TfrmTerm::CreatePane() {
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  mmoTerm = new TerminalEdit(central);
  mmoTerm->setObjectName("mmoTerm");
  mmoTerm->setAccessibleName("Terminal");
  mmoTerm->setLineWrapMode(QPlainTextEdit::NoWrap);
  mmoTerm->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mmoTerm->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mmoTerm->setPlainText("Version 0.31a\nNOTE text transfer does not use CTS but\nBinary transfer does.");
  SetPaneBackground(QColor(0, 0, 128));
  SetPaneTextColour(QColor(255, 255, 0));
  SetPaneFont("Fixedsys", 9);
  layout->addWidget(mmoTerm, 1);
  pnlBot = new QWidget(central);
  pnlBot->setObjectName("pnlBot");
  pnlBot->setAccessibleName("Send progress");
  pnlBot->setFixedHeight(19);
  layout->addWidget(pnlBot);
  setCentralWidget(central);
}

void TfrmTerm::CreateBottom() {
  btnCancel = new QPushButton("Cancel", pnlBot);
  btnCancel->setObjectName("btnCancel");
  btnCancel->setGeometry(0, 0, 75, 18);
  btnCancel->hide();
  ProgressBar1 = new QProgressBar(pnlBot);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setAccessibleName("Progress");
  ProgressBar1->setGeometry(77, 1, 104, 17);
  ProgressBar1->setTextVisible(false);

  staBar1 = statusBar();
  staBar1->setObjectName("staBar1");
  staBar1->setSizeGripEnabled(false);
  staPanel0 = new QLabel(staBar1);
  staPanel0->setObjectName("staPanel0");
  staPanel0->setAccessibleName("Last file");
  staPanel0->setFixedWidth(350);
  staPanel1 = new QLabel(staBar1);
  staPanel1->setObjectName("staPanel1");
  staPanel1->setAccessibleName("Status");
  staPanel1->setFixedWidth(50);
  staBar1->addWidget(staPanel0);
  staBar1->addWidget(staPanel1);

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(1000);
}
