// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/TextSet.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ActivationTracker.h"
#include "app/Handlers.h"
#include "app/Latin1.h"

namespace {

QCheckBox* MakeCheck(QWidget* Parent, const char* Name, const char* Caption) {
  auto* box = new QCheckBox(Caption, Parent);
  box->setObjectName(Name);
  return box;
}

QLineEdit* MakeEdit(QWidget* Parent, const QString& Name, const QString& AccessibleName) {
  auto* edit = new QLineEdit(Parent);
  edit->setObjectName(Name);
  edit->setAccessibleName(AccessibleName);
  return edit;
}

std::string TextOf(const QLineEdit* Edit) { return ToBytes(Edit->text()); }

}  // namespace

// FormCreate.
TfrmTransfer::TfrmTransfer(QWidget* Parent) : QDialog(Parent) {
  setObjectName("frmTransfer");
  setWindowTitle("Text Transfer Settings");
  setModal(false);
  auto* layout = new QVBoxLayout(this);
  CreateLineGroup();
  CreateOptions();
  CreatePathPanel();
  CreateAutomation();
  btnOk = new QPushButton("Ok", this);
  btnOk->setObjectName("btnOk");
  btnOk->setAutoDefault(false);  // Enter in a box does not save and close
  for (QWidget* part : {static_cast<QWidget*>(GroupBox1), Panel1, Panel2,
                        static_cast<QWidget*>(GroupBox2)})
    layout->addWidget(part);
  layout->addStretch();
  layout->addWidget(btnOk, 0, Qt::AlignHCenter);
  // At least the design size; more where the captions need it at the fonts in use.
  setFixedSize(layout->minimumSize().expandedTo(QSize(299, 438)));
  Bind(chkXferOpt, &QCheckBox::toggled, this, [this] { chkXferOptClick(); });
  Bind(btnOk, &QPushButton::clicked, this, [this] { btnOkClick(); });
  getSettings();
}

void TfrmTransfer::CreateLineGroup() {
  GroupBox1 = new QGroupBox("End of line action", this);
  GroupBox1->setObjectName("GroupBox1");
  auto* grid = new QGridLayout(GroupBox1);
  auto row = [&](int Row, QCheckBox*& Check, const char* CheckName, const char* Caption,
                 QLineEdit*& Edit, const char* EditName) {
    Check = MakeCheck(GroupBox1, CheckName, Caption);
    Edit = MakeEdit(GroupBox1, EditName, Caption);
    Edit->setFixedWidth(50);
    grid->addWidget(Check, Row, 0);
    grid->addWidget(Edit, Row, 1);
  };
  row(0, chkEolChar, "chkEolChar", "End of line wait for Character", txtEolChar, "txtEolChar");
  row(1, chkOnError, "chkOnError", "On error Character", txtOnErrCH, "txtOnErrCH");
  row(2, chkEOPstr, "chkEOPstr", "Loading end string", txtEOPstr, "txtEOPstr");
  row(3, chkEolDel, "chkEolDel", "End of line wait delay ms", txtEolDel, "txtEolDel");
  chkOnError->setEnabled(false);
}

void TfrmTransfer::CreateOptions() {
  Panel1 = new QWidget(this);
  Panel1->setObjectName("Panel1");
  auto* row = new QHBoxLayout(Panel1);
  row->setContentsMargins(0, 0, 0, 0);
  chkAddCR = MakeCheck(Panel1, "chkAddCR", "Add CR");
  chkAddLF = MakeCheck(Panel1, "chkAddLF", "Add LF");
  chkLoadingEcho = MakeCheck(Panel1, "chkLoadingEcho", "Loading Echo");
  for (QCheckBox* box : {chkAddCR, chkAddLF, chkLoadingEcho}) row->addWidget(box);
}

void TfrmTransfer::CreatePathPanel() {
  Panel2 = new QWidget(this);
  Panel2->setObjectName("Panel2");
  auto* column = new QVBoxLayout(Panel2);
  column->setContentsMargins(0, 0, 0, 0);
  Label4 = new QLabel("Transfer Default Path", Panel2);
  Label4->setObjectName("Label4");
  txtTransfer = MakeEdit(Panel2, "txtTransfer", "Transfer Default Path");
  txtTransfer->setToolTip("This path is added to the put filename transfer");
  column->addWidget(Label4);
  column->addWidget(txtTransfer);
}

void TfrmTransfer::CreateAutomation() {
  GroupBox2 = new QGroupBox("Text transfer automation", this);
  GroupBox2->setObjectName("GroupBox2");
  auto* grid = new QGridLayout(GroupBox2);
  chkXferOpt = MakeCheck(GroupBox2, "chkXferOpt", "Activate transfer options");
  grid->addWidget(chkXferOpt, 0, 0, 1, 3);
  const char* heads[] = {"For this file", "Send", "Then wait for ms"};
  QLabel** labels[] = {&Label1, &Label2, &Label3};
  for (int column = 0; column < 3; ++column) {
    *labels[column] = new QLabel(heads[column], GroupBox2);
    (*labels[column])->setObjectName(QString("Label%1").arg(column + 1));
    grid->addWidget(*labels[column], 1, column);
  }
  for (int i = 0; i < 4; ++i) {
    QString n = QString::number(i + 1);
    txtFile[i] = MakeEdit(GroupBox2, "txtFile" + n, "For this file " + n);
    txtSend[i] = MakeEdit(GroupBox2, "txtSend" + n, "Send " + n);
    txtWait[i] = MakeEdit(GroupBox2, "txtWait" + n, "Then wait for ms " + n);
    grid->addWidget(txtFile[i], i + 2, 0);
    grid->addWidget(txtSend[i], i + 2, 1);
    grid->addWidget(txtWait[i], i + 2, 2);
  }
}

TTextTransferSettings TfrmTransfer::TextTransferSettings() const {
  TTextTransferSettings s;
  s.WaitEolChar = chkEolChar->isChecked();
  s.EolChar = TextOf(txtEolChar);
  s.WaitEolDelay = chkEolDel->isChecked();
  s.EolDel = TextOf(txtEolDel);
  s.LoadingEndString = chkEOPstr->isChecked();
  s.EOPstr = TextOf(txtEOPstr);
  s.OnErrorChar = chkOnError->isChecked();
  s.OnErrorCh = TextOf(txtOnErrCH);
  s.AddCR = chkAddCR->isChecked();
  s.AddLF = chkAddLF->isChecked();
  s.LoadingEcho = chkLoadingEcho->isChecked();
  s.FilePath = TextOf(txtTransfer);
  s.ActiveXfer = chkXferOpt->isChecked();
  for (int i = 0; i < 4; ++i)
    s.Automation[i] = {TextOf(txtFile[i]), TextOf(txtSend[i]), TextOf(txtWait[i])};
  return s;
}

void TfrmTransfer::ShowBeside(const QWidget* Main) {
  move(Main->x() + Main->width() / 2, Main->y() + Main->height() / 4);
  ShowInFront(this);
}

void TfrmTransfer::chkXferOptClick() {
  bool enabled = chkXferOpt->isChecked();
  for (int i = 0; i < 4; ++i)
    for (QLineEdit* edit : {txtFile[i], txtSend[i], txtWait[i]}) edit->setEnabled(enabled);
}

void TfrmTransfer::btnOkClick() {
  WriteSettings();
  hide();
}
