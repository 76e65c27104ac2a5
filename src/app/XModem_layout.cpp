// SPDX-License-Identifier: GPL-3.0-or-later
// The XMODEM window's controls in the order of the design, placed in rows by layouts so
// that every caption has the room its font needs; the window is at least its design size.
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/XModem.h"

namespace {

constexpr QSize DesignSize(387, 345);
constexpr const char* SpecialCharsHint = "use #n for special charaters";

QLabel* MakeLabel(QWidget* Parent, const char* Name, const char* Caption) {
  auto* label = new QLabel(Caption, Parent);
  label->setObjectName(Name);
  return label;
}

// A label whose text changes during a transfer: room for the numbers it will show,
// taken at once, so the window never needs to grow for them.
QLabel* MakeValueLabel(QWidget* Parent, const char* Name, const char* Caption, int MinimumWidth) {
  QLabel* label = MakeLabel(Parent, Name, Caption);
  label->setMinimumWidth(MinimumWidth);
  return label;
}

QLineEdit* MakeEdit(QWidget* Parent, const char* Name, const char* AccessibleName) {
  auto* edit = new QLineEdit(Parent);
  edit->setObjectName(Name);
  edit->setAccessibleName(AccessibleName);
  return edit;
}

QCheckBox* MakeCheck(QWidget* Parent, const char* Name, const char* Caption,
                     const char* AccessibleName) {
  auto* box = new QCheckBox(Caption, Parent);
  box->setObjectName(Name);
  box->setAccessibleName(AccessibleName);
  return box;
}

QPushButton* MakeButton(QWidget* Parent, const char* Name, const char* Caption) {
  auto* button = new QPushButton(Caption, Parent);
  button->setObjectName(Name);
  button->setMinimumWidth(75);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

void TfrmXModem::CreateControls() {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(16, 8, 16, 8);
  column->setSpacing(4);
  Label4 = MakeLabel(this, "Label4", "Status:");
  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  Memo1->setAccessibleName("Status");
  Memo1->setFixedHeight(81);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setTabChangesFocus(true);
  column->addWidget(Label4);
  column->addWidget(Memo1);
  CreateFileRow(column);
  CreateProgressLabels(column);
  CreateTextControls(column);
  CreateButtons(column);
  SetTabOrder();
  setFixedSize(column->minimumSize().expandedTo(DesignSize));
}

void TfrmXModem::CreateFileRow(QVBoxLayout* Column) {
  Label5 = MakeLabel(this, "Label5", "Filename");
  txtXModemFileName = MakeEdit(this, "txtXModemFileName", "Filename");
  btnXModemBrowes = MakeButton(this, "btnXModemBrowes", "Browes");
  auto* row = new QHBoxLayout;
  row->addWidget(txtXModemFileName, 1);
  row->addWidget(btnXModemBrowes);
  Column->addWidget(Label5);
  Column->addLayout(row);
}

// The protocol box with its caption above, the block and byte counters and the file size
// beside it, then the name of the file being transferred.
void TfrmXModem::CreateProgressLabels(QVBoxLayout* Column) {
  Label7 = MakeLabel(this, "Label7", "Protocol");
  cboXModemProtocol = new QComboBox(this);
  cboXModemProtocol->setObjectName("cboXModemProtocol");
  cboXModemProtocol->setAccessibleName("Protocol");
  cboXModemProtocol->addItems({"XMODEM", "XMODEM-1K", "XMODEM-G"});
  cboXModemProtocol->setMinimumWidth(125);
  Label1 = MakeLabel(this, "Label1", "Packet");
  Label2 = MakeValueLabel(this, "Label2", "0", 40);
  Label3 = MakeLabel(this, "Label3", "Count");
  Label6 = MakeValueLabel(this, "Label6", "0", 70);
  Label9 = MakeLabel(this, "Label9", "Filesize:");
  Label11 = MakeValueLabel(this, "Label11", "-", 70);
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(8);
  grid->addWidget(Label7, 0, 0);
  grid->addWidget(cboXModemProtocol, 1, 0);
  grid->addWidget(Label1, 1, 1);
  grid->addWidget(Label2, 1, 2);
  grid->addWidget(Label3, 1, 3);
  grid->addWidget(Label6, 1, 4);
  grid->addWidget(Label9, 2, 1);
  grid->addWidget(Label11, 2, 2, 1, 3);
  grid->setColumnStretch(4, 1);
  Column->addLayout(grid);

  Label8 = MakeLabel(this, "Label8", "Filename: ");
  Label10 = MakeLabel(this, "Label10", "-");
  Label10->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);  // a long name is cut
  auto* row = new QHBoxLayout;
  row->addWidget(Label8);
  row->addWidget(Label10, 1);
  Column->addLayout(row);
}

void TfrmXModem::CreateTextControls(QVBoxLayout* Column) {
  Label12 = MakeLabel(this, "Label12", "String to send on open");
  txtStringOnOpen = MakeEdit(this, "txtStringOnOpen", "String to send on open");
  txtStringOnOpen->setToolTip(SpecialCharsHint);
  chkOnOpen = MakeCheck(this, "chkOnOpen", "", "Send the string on open");
  Label13 = MakeLabel(this, "Label13", "Strint to send on close");
  txtStringOnClose = MakeEdit(this, "txtStringOnClose", "Strint to send on close");
  txtStringOnClose->setToolTip(SpecialCharsHint);
  chkOnClose = MakeCheck(this, "chkOnClose", "", "Send the string on close");
  auto* grid = new QGridLayout;
  grid->addWidget(Label12, 0, 0);
  grid->addWidget(txtStringOnOpen, 0, 1);
  grid->addWidget(chkOnOpen, 0, 2);
  grid->addWidget(Label13, 1, 0);
  grid->addWidget(txtStringOnClose, 1, 1);
  grid->addWidget(chkOnClose, 1, 2);
  grid->setColumnStretch(1, 1);
  Column->addLayout(grid);
  chkOnComplete =
      MakeCheck(this, "chkOnComplete", "Close on transfer complete", "Close on transfer complete");
  Column->addWidget(chkOnComplete);
}

void TfrmXModem::CreateButtons(QVBoxLayout* Column) {
  cmdXModemAbort = MakeButton(this, "cmdXModemAbort", "Abort");
  cmdOK = MakeButton(this, "cmdOK", "OK");
  cmdXModemRecieve = MakeButton(this, "cmdXModemRecieve", "Receive");
  cmdXModemSend = MakeButton(this, "cmdXModemSend", "Send");
  auto* row = new QHBoxLayout;
  row->setContentsMargins(10, 4, 0, 0);
  for (QPushButton* button : {cmdXModemAbort, cmdOK, cmdXModemRecieve, cmdXModemSend}) {
    row->addWidget(button);
    row->addStretch();
  }
  Column->addLayout(row);
}

void TfrmXModem::SetTabOrder() {
  QWidget* order[] = {Memo1,           cmdXModemRecieve, cmdXModemAbort,  cmdXModemSend,
                      txtXModemFileName, cboXModemProtocol, btnXModemBrowes, cmdOK,
                      txtStringOnOpen, chkOnOpen,        txtStringOnClose, chkOnClose,
                      chkOnComplete};
  for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}
