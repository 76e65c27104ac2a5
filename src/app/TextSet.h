// SPDX-License-Identifier: GPL-3.0-or-later
// The text transfer settings window: line pacing, per-file-type automation and the two
// options that shape how received text is shown.
#pragma once

#include <QDialog>
#include <array>
#include <string>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

struct TAutomationRule {
  std::string Pattern;
  std::string Command;
  std::string Wait;
};

// Numbers are kept as typed; a reader converts them when it uses them (StrToInt).
struct TTextTransferSettings {
  bool WaitEolChar = true;
  std::string EolChar = "6";
  bool WaitEolDelay = false;
  std::string EolDel = "100";
  bool LoadingEndString = true;
  std::string EOPstr = ";ss";
  bool OnErrorChar = true;
  std::string OnErrorCh = "5";
  bool AddCR = true;
  bool AddLF = true;
  bool LoadingEcho = false;
  std::string FilePath;
  bool ActiveXfer = true;
  std::array<TAutomationRule, 4> Automation{{{"*.tcb", "loadb", "500"},
                                             {"*.hex", "loadh", "500"},
                                             {"*.flb", "loadf", "100"},
                                             {"*.fth", "loadf", "100"}}};
};

class TfrmTransfer : public QDialog {
 public:
  explicit TfrmTransfer(QWidget* Parent = nullptr);

  // What the controls show at this moment.
  TTextTransferSettings TextTransferSettings() const;

  // Places the window at the main window's left plus half its width and top plus a
  // quarter of its height, shows it and brings it to the front.
  void ShowBeside(const QWidget* Main);

  void getSettings();
  void WriteSettings();
  void chkXferOptClick();
  void btnOkClick();

  QGroupBox* GroupBox1;
  QCheckBox* chkEolChar;
  QLineEdit* txtEolChar;
  QCheckBox* chkOnError;
  QLineEdit* txtOnErrCH;
  QCheckBox* chkEOPstr;
  QLineEdit* txtEOPstr;
  QCheckBox* chkEolDel;
  QLineEdit* txtEolDel;
  QWidget* Panel1;
  QCheckBox* chkAddCR;
  QCheckBox* chkAddLF;
  QCheckBox* chkLoadingEcho;
  QWidget* Panel2;
  QLabel* Label4;
  QLineEdit* txtTransfer;
  QGroupBox* GroupBox2;
  QCheckBox* chkXferOpt;
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  std::array<QLineEdit*, 4> txtFile;
  std::array<QLineEdit*, 4> txtSend;
  std::array<QLineEdit*, 4> txtWait;
  QPushButton* btnOk;

 private:
  void CreateLineGroup();
  void CreateOptions();
  void CreatePathPanel();
  void CreateAutomation();
};
