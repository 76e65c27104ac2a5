// SPDX-License-Identifier: GPL-3.0-or-later
// The Send Hex box under the terminal pane: bytes typed by their hexadecimal codes
// (ParseHexBytes) go out when Enter is pressed; a text with a fault says what is wrong
// and sends nothing. Up and Down walk through what was sent before; Escape closes it.
#pragma once

#include <QStringList>
#include <functional>
#include <string>

#include "app/pane/PaneBar.h"

class QLabel;
class QLineEdit;
class QToolButton;

class HexSendBar : public PaneBar {
 public:
  // Pane: where the keyboard focus goes back when the box closes.
  HexSendBar(QWidget* Pane, QWidget* Parent);

  // Shows the box with the keyboard focus in it.
  void Open();
  // Sends the bytes; returns why they did not go, or an empty text when they went.
  std::function<QString(const std::string& Bytes)> OnSend;

  const QStringList& History() const { return history_; }

  QLabel* lblSendHex;
  QLineEdit* txtSendHex;
  QToolButton* btnSendHex;
  QLabel* lblSendHexState;
  QToolButton* btnSendHexClose;

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void Send();
  void Recall(int Step);

  QStringList history_;  // oldest first
  int recalled_ = 0;     // the entry shown; history_.size() is the text being typed
  QString typing_;       // kept while the history is walked
};
