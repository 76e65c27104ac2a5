// SPDX-License-Identifier: GPL-3.0-or-later
// Loading and saving of each window's sections of the settings file.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalBlocker>

#include "app/Colours.h"
#include "app/FileNames.h"
#include "app/Latin1.h"
#include "app/SettingsFile.h"
#include "app/TextSet.h"
#include "app/XModem.h"
#include "app/pane/BoardConsole.h"
#include "app/pane/PaneView.h"
#include "app/tarvik.h"
#include "platform/Profile.h"

namespace {

// A stored index that names no entry falls back to the key's default entry.
void SelectStored(QComboBox* Box, int Index, int Default) {
  if (Index < 0 || Index >= Box->count()) Index = Default;
  QSignalBlocker blocker(Box);
  Box->setCurrentIndex(Index);
}

// A check mark set from the settings never runs the item's action.
void SetMark(QAction* Item, bool Checked) {
  QSignalBlocker blocker(Item);
  Item->setChecked(Checked);
}

void ReadCheck(const Profile& Ini, const char* Key, bool Default, QCheckBox* Box) {
  Box->setChecked(Ini.ReadBool("Transfer", Key, Default));
}

void ReadEdit(const Profile& Ini, const char* Section, const std::string& Key,
              const std::string& Default, QLineEdit* Edit) {
  Edit->setText(FromBytes(Ini.ReadString(Section, Key, Default)));
}

void WriteEdit(Profile& Ini, const char* Section, const std::string& Key, const QLineEdit* Edit) {
  Ini.WriteString(Section, Key, ToBytes(Edit->text()));
}

QString ReadFileName(const Profile& Ini, const char* Section, const char* Key) {
  return FileNameText(Ini.ReadString(Section, Key, ""));
}

void WriteFileName(Profile& Ini, const char* Section, const char* Key, const QString& Name) {
  Ini.WriteString(Section, Key, FileSystemName(Name));
}

}  // namespace

// Main window.

void TfrmTerm::getSettings() {
  {
    Profile ini(SettingsFilePath());
    SelectStored(cboBaudRate, ini.ReadInteger("Comms", "Baud", 6), 6);
    SelectStored(cboDataBits, ini.ReadInteger("Comms", "DataBits", 4), 4);
    SelectStored(cboStopBits, ini.ReadInteger("Comms", "StopBits", 2), 2);
    SetMark(HWFlow1, ini.ReadBool("Comms", "HWFlow", false));
    SetMark(Echo1, ini.ReadBool("Comms", "Echo", false));
    SetMark(mnuCtrl, ini.ReadBool("Comms", "Ctrl", false));
    QString face = FromBytes(ini.ReadString("Window", "Font", "Fixedsys"));
    QColor textColour = ColourOfValue(ini.ReadInteger("Window", "FontColour", 65535));
    SetPaneFont(face, ini.ReadInteger("Window", "FontSize", 9));
    SetPaneTextColour(textColour);
    SetPaneBackground(ColourOfValue(ini.ReadInteger("Window", "Colour", 10485760)));
    dlgOpen.FilterIndex = ini.ReadInteger("File", "FilterIndex", 1);
    staPanel0->setText(ReadFileName(ini, "File", "LastFile"));
    SetMark(DTRlow1, ini.ReadBool("Comms", "DTRLow", false));
    dlgOpen.InitialDir = staPanel0->text().isEmpty() ? "" : QFileInfo(staPanel0->text()).path();
    resize(ini.ReadInteger("Form", "widthTERM", 551), height());
    resize(width(), ini.ReadInteger("Form", "HeightTERM", 436));
    move(ini.ReadInteger("Form", "leftTERM", 367), y());
    move(x(), ini.ReadInteger("Form", "topTERM", 256));
    SetMark(AutoReconnect1, ini.ReadBool("Replug", "AutoReconnect", true));
    Console->ReadSettings(ini);
    logFolder_ = ReadFileName(ini, "Log", "Folder");
    logFilterIndex_ = ini.ReadInteger("Log", "FilterIndex", 1);
    View->ReadSettings(ini);
    LoadNetworkPorts(ini);
    int port = ini.ReadInteger("Comms", "Port", 1);
    if (!SerComm1->Active()) ChoosePortOfItem(port);
    {
      QSignalBlocker blocker(cboPort);
      cboPort->setCurrentIndex(port >= 0 && port < cboPort->count() ? port : -1);
    }
    ChooseStoredNetworkPort(ini);
  }
  ShowPortToolTip();
  reSetAll();
}

void TfrmTerm::WriteSettings() {
  try {
    Profile ini(SettingsFilePath());
    ini.WriteString("Date", "LastUpdate", LocalDateTimeText());
    ini.WriteInteger("Comms", "Baud", SelectedIndex(cboBaudRate));
    ini.WriteInteger("Comms", "Port", SelectedIndex(cboPort));
    ini.WriteInteger("Comms", "StopBits", SelectedIndex(cboStopBits));
    ini.WriteInteger("Comms", "DataBits", SelectedIndex(cboDataBits));
    ini.WriteBool("Comms", "HWFlow", HWFlow1->isChecked());
    ini.WriteBool("Comms", "Echo", Echo1->isChecked());
    ini.WriteBool("Comms", "Ctrl", mnuCtrl->isChecked());
    ini.WriteString("Window", "Font", ToBytes(PaneFontName()));
    ini.WriteInteger("Window", "FontColour", ColourValue(PaneTextColour()));
    ini.WriteInteger("Window", "FontSize", mmoTerm->font().pointSize());
    ini.WriteInteger("Window", "Colour", ColourValue(PaneBackground()));
    ini.WriteInteger("File", "FilterIndex", dlgOpen.FilterIndex);
    WriteFileName(ini, "File", "LastFile", staPanel0->text());
    ini.WriteBool("Comms", "DTRLow", DTRlow1->isChecked());
    ini.WriteInteger("Form", "widthTERM", width());
    ini.WriteInteger("Form", "heightTERM", height());
    ini.WriteInteger("Form", "leftTERM", x());
    ini.WriteInteger("Form", "topTERM", y());
    ini.WriteBool("Replug", "AutoReconnect", AutoReconnect1->isChecked());
    Console->WriteSettings(ini);
    WriteFileName(ini, "Log", "Folder", logFolder_);
    ini.WriteInteger("Log", "FilterIndex", logFilterIndex_);
    View->WriteSettings(ini);
    WriteNetworkPorts(ini);
  } catch (const std::exception&) {
    Dialogs().Message(this, "Cant update settings");
  }
}

// Text transfer settings window.

void TfrmTransfer::getSettings() {
  chkXferOptClick();
  Profile ini(SettingsFilePath());
  ReadCheck(ini, "chEolChar", true, chkEolChar);
  ReadEdit(ini, "Transfer", "EolChar", "6", txtEolChar);
  ReadCheck(ini, "chOnError", true, chkOnError);
  ReadEdit(ini, "Transfer", "OnErrorCh", "5", txtOnErrCH);
  ReadCheck(ini, "EOPstrCH", true, chkEOPstr);
  ReadEdit(ini, "Transfer", "EOPstr", ";ss", txtEOPstr);
  ReadCheck(ini, "chEolDel", false, chkEolDel);
  ReadCheck(ini, "chAddCR", true, chkAddCR);
  ReadCheck(ini, "chAddLF", true, chkAddLF);
  ReadCheck(ini, "chLoadingEcho", false, chkLoadingEcho);
  txtTransfer->setText(ReadFileName(ini, "Transfer", "FilePath"));
  ReadEdit(ini, "Transfer", "EolDel", "100", txtEolDel);
  const TTextTransferSettings defaults;
  for (int i = 0; i < 4; ++i)
    ReadEdit(ini, "Transfer", "File" + std::to_string(i + 1), defaults.Automation[i].Pattern,
             txtFile[i]);
  for (int i = 0; i < 4; ++i)
    ReadEdit(ini, "Transfer", "Send" + std::to_string(i + 1), defaults.Automation[i].Command,
             txtSend[i]);
  for (int i = 0; i < 4; ++i)
    ReadEdit(ini, "Transfer", "Wait" + std::to_string(i + 1), defaults.Automation[i].Wait,
             txtWait[i]);
  ReadCheck(ini, "ActiveXfer", true, chkXferOpt);
}

void TfrmTransfer::WriteSettings() {
  Profile ini(SettingsFilePath());
  ini.WriteBool("Transfer", "chEolChar", chkEolChar->isChecked());
  WriteEdit(ini, "Transfer", "EolChar", txtEolChar);
  ini.WriteBool("Transfer", "chOnError", chkOnError->isChecked());
  WriteEdit(ini, "Transfer", "OnErrorCh", txtOnErrCH);
  ini.WriteBool("Transfer", "EOPstrCH", chkEOPstr->isChecked());
  WriteEdit(ini, "Transfer", "EOPstr", txtEOPstr);
  ini.WriteBool("Transfer", "chEolDel", chkEolDel->isChecked());
  ini.WriteBool("Transfer", "chAddCR", chkAddCR->isChecked());
  ini.WriteBool("Transfer", "chAddLF", chkAddLF->isChecked());
  ini.WriteBool("Transfer", "chLoadingEcho", chkLoadingEcho->isChecked());
  WriteFileName(ini, "Transfer", "FilePath", txtTransfer->text());
  WriteEdit(ini, "Transfer", "EolDel", txtEolDel);
  for (int i = 0; i < 4; ++i) WriteEdit(ini, "Transfer", "File" + std::to_string(i + 1), txtFile[i]);
  for (int i = 0; i < 4; ++i) WriteEdit(ini, "Transfer", "Send" + std::to_string(i + 1), txtSend[i]);
  for (int i = 0; i < 4; ++i) WriteEdit(ini, "Transfer", "Wait" + std::to_string(i + 1), txtWait[i]);
  ini.WriteBool("Transfer", "ActiveXfer", chkXferOpt->isChecked());
}

// XMODEM window.

void TfrmXModem::GetSettings() {
  Profile ini(SettingsFilePath());
  txtXModemFileName->setText(ReadFileName(ini, "XModem", "FileName"));
  ReadEdit(ini, "XModem", "TextOnOpen", "", txtStringOnOpen);
  ReadEdit(ini, "XModem", "TextOnClose", "", txtStringOnClose);
  chkOnOpen->setChecked(ini.ReadBool("XModem", "ChkOnOpen", false));
  chkOnClose->setChecked(ini.ReadBool("XModem", "ChkOnClose", false));
  chkOnComplete->setChecked(ini.ReadBool("XModem", "ChkOnComplete", false));
}

void TfrmXModem::WriteSettings() {
  Profile ini(SettingsFilePath());
  WriteFileName(ini, "XModem", "FileName", txtXModemFileName->text());
  WriteEdit(ini, "XModem", "TextOnOpen", txtStringOnOpen);
  WriteEdit(ini, "XModem", "TextOnClose", txtStringOnClose);
  ini.WriteBool("XModem", "ChkOnOpen", chkOnOpen->isChecked());
  ini.WriteBool("XModem", "ChkOnClose", chkOnClose->isChecked());
  ini.WriteBool("XModem", "ChkOnComplete", chkOnComplete->isChecked());
}
