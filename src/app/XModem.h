// SPDX-License-Identifier: GPL-3.0-or-later
// The XMODEM transfer window: one file sent or received over the main window's port, the
// transfer's log and progress, and the texts sent to the board when the window is
// activated and deactivated.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "app/ActivationTracker.h"
#include "app/DialogSeam.h"
#include "protocol/SerProtocol.h"
#include "serial/SerComm.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;
class TfrmTerm;

class TfrmXModem : public QDialog, public ActivationAware {
 public:
  explicit TfrmXModem(QWidget* Parent = nullptr);
  ~TfrmXModem() override;

  // The main window, whose port carries the transfers and the open and close texts.
  void SetMainWindow(TfrmTerm* Term) { frmTerm_ = Term; }

  void FormActivate() override;
  void FormDeactivate() override;

  void cmdXModemSendClick();
  void cmdXModemRecieveClick();
  void cmdXModemAbortClick();
  void cmdOKClick();
  void btnXModemBrowesClick();
  void cboXModemProtocolChange();

  void SerXModem1TransferStart(TObject* Sender);
  void SerXModem1TransferEnd(TObject* Sender, int ExitCode);
  void SerXModem1Error(TObject* Sender, int ErrorCode, int ErrorCount);
  void SerXModem1FileInit(TObject* Sender, const std::string& Name, int Size);
  void SerXModem1PacketEvent(TObject* Sender, int Packet, int ByteCount);

  void GetSettings();
  void WriteSettings();

  TSerComm* SerComm2 = nullptr;
  TSerXModem* SerXModem1 = nullptr;
  OpenFileRequest dlgOpen1;

  QLabel* Label4;
  QPlainTextEdit* Memo1;
  QLabel* Label5;
  QLineEdit* txtXModemFileName;
  QPushButton* btnXModemBrowes;
  QLabel* Label7;
  QComboBox* cboXModemProtocol;
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Label6;
  QLabel* Label9;
  QLabel* Label11;
  QLabel* Label8;
  QLabel* Label10;
  QLabel* Label12;
  QLineEdit* txtStringOnOpen;
  QCheckBox* chkOnOpen;
  QLabel* Label13;
  QLineEdit* txtStringOnClose;
  QCheckBox* chkOnClose;
  QCheckBox* chkOnComplete;
  QPushButton* cmdXModemAbort;
  QPushButton* cmdOK;
  QPushButton* cmdXModemRecieve;
  QPushButton* cmdXModemSend;

 private:
  void CreatePort();
  void CreateProtocol();
  void CreateControls();
  void CreateFileRow(QVBoxLayout* Column);
  void CreateProgressLabels(QVBoxLayout* Column);
  void CreateTextControls(QVBoxLayout* Column);
  void CreateButtons(QVBoxLayout* Column);
  void SetTabOrder();
  void BindHandlers();

  void StartTransfer(TSerTransferMode Mode);
  void AddLogLine(const std::string& Line);
  TSerComm* MainPort() const;
  void SendToBoard(const QLineEdit* Text) const;

  TfrmTerm* frmTerm_ = nullptr;
  // Declared in this order so that the component leaves its port before the port goes.
  std::unique_ptr<TSerComm> port_;
  std::unique_ptr<TSerXModem> protocol_;
};
