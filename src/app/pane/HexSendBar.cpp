// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pane/HexSendBar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <algorithm>

#include "console/HexBytes.h"

namespace {

constexpr int HistoryLength = 100;

}  // namespace

HexSendBar::HexSendBar(QWidget* Pane, QWidget* Parent) : PaneBar(Pane, Parent, "barSendHex", "Send Hex") {
  QHBoxLayout* row = Row();
  lblSendHex = new QLabel("&Hex:", this);
  lblSendHex->setObjectName("lblSendHex");
  row->addWidget(lblSendHex);
  txtSendHex = new QLineEdit(this);
  txtSendHex->setObjectName("txtSendHex");
  txtSendHex->setAccessibleName("Bytes in hexadecimal");
  txtSendHex->setPlaceholderText("48 65 6c 6c 6f 0d");
  txtSendHex->installEventFilter(this);
  lblSendHex->setBuddy(txtSendHex);
  row->addWidget(txtSendHex, 1);
  btnSendHex = new QToolButton(this);
  btnSendHex->setObjectName("btnSendHex");
  btnSendHex->setText("Send");
  btnSendHex->setToolTip("Send the bytes (Enter)");
  row->addWidget(btnSendHex);
  lblSendHexState = new QLabel(this);
  lblSendHexState->setObjectName("lblSendHexState");
  lblSendHexState->setAccessibleName("Send Hex state");
  row->addWidget(lblSendHexState);
  btnSendHexClose = AddCloseButton("btnSendHexClose", "Close the Send Hex box (Escape)", "Close the Send Hex box");
  connect(btnSendHex, &QToolButton::clicked, this, [this] { Send(); });
}

void HexSendBar::Open() {
  show();
  txtSendHex->setFocus();
}

bool HexSendBar::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched != txtSendHex || Event->type() != QEvent::KeyPress) return false;
  switch (static_cast<QKeyEvent*>(Event)->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      Send();
      return true;
    case Qt::Key_Up:
      Recall(-1);
      return true;
    case Qt::Key_Down:
      Recall(+1);
      return true;
    default:
      return false;
  }
}

void HexSendBar::Send() {
  const QString text = txtSendHex->text();
  const HexBytes parsed = ParseHexBytes(text.toLatin1().toStdString());
  if (!parsed.Ok()) {
    lblSendHexState->setText(QString::fromLatin1(parsed.Error.c_str()));
    return;
  }
  const QString refused = OnSend ? OnSend(parsed.Bytes) : QString("Nothing sends");
  if (!refused.isEmpty()) {
    lblSendHexState->setText(refused);
    return;
  }
  if (history_.isEmpty() || history_.back() != text) history_ << text;
  if (history_.size() > HistoryLength) history_.removeFirst();
  recalled_ = static_cast<int>(history_.size());
  typing_.clear();
  txtSendHex->clear();
  lblSendHexState->setText(parsed.Bytes.size() == 1 ? QString("Sent 1 byte")
                                                     : QString("Sent %1 bytes").arg(parsed.Bytes.size()));
}

void HexSendBar::Recall(int Step) {
  const int next = std::clamp(recalled_ + Step, 0, static_cast<int>(history_.size()));
  if (next == recalled_) return;
  if (recalled_ == history_.size()) typing_ = txtSendHex->text();
  recalled_ = next;
  txtSendHex->setText(recalled_ == history_.size() ? typing_ : history_[recalled_]);
}
