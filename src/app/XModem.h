// The XMODEM transfer window: its settings controls, its parking port SerComm2, and the
// saving of its settings at every deactivation.
#pragma once

#include <QDialog>
#include <memory>

#include "app/ActivationTracker.h"
#include "serial/SerComm.h"

class QCheckBox;
class QLabel;
class QLineEdit;

class TfrmXModem : public QDialog, public ActivationAware {
 public:
  explicit TfrmXModem(QWidget* Parent = nullptr);
  ~TfrmXModem() override;

  void FormActivate() override {}
  void FormDeactivate() override;

  void GetSettings();
  void WriteSettings();

  TSerComm* SerComm2 = nullptr;

  QLabel* Label5;
  QLineEdit* txtXModemFileName;
  QLabel* Label12;
  QLineEdit* txtStringOnOpen;
  QCheckBox* chkOnOpen;
  QLabel* Label13;
  QLineEdit* txtStringOnClose;
  QCheckBox* chkOnClose;
  QCheckBox* chkOnComplete;

 private:
  void CreatePort();
  void CreateControls();

  std::unique_ptr<TSerComm> port_;
};
