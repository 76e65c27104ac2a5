// SPDX-License-Identifier: GPL-3.0-or-later
// The main window connected to end A of a virtual line, the test speaking for the board
// on end B; waits that let the window run.
#pragma once

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <memory>
#include <string>

#include "ScriptedDialogs.h"
#include "TempSettings.h"
#include "TestDevices.h"
#include "app/ProgramWindows.h"
#include "app/pane/TerminalPane.h"
#include "platform/VirtualLine.h"

// Runs the window's events until Done holds or TimeoutMs passes; sleeps between events.
inline bool RunUntil(const std::function<bool()>& Done, int TimeoutMs = 10000) {
  bool expired = false;
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, [&] { expired = true; });
  deadline.start(TimeoutMs);
  while (!Done() && !expired) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  return Done();
}

class VirtualLineTerminal {
 public:
  VirtualLineTerminal() : line(VirtualLine::Create("terminal-test")) {
    term->FormActivate();
    term->Clearscreen1->trigger();
    term->SerComm1->SetDeviceName(line->Path(VirtualLine::A));
    term->SerComm1->SetPortNum(1);
    term->spdConnect->click();
  }
  ~VirtualLineTerminal() {
    if (term->SerComm1->Active()) term->SerComm1->Close();
  }

  QPlainTextEdit& Pane() const { return *term->mmoTerm; }
  void Showing(const std::string& Text) const { term->showText(Text); }
  // The pane's text as bytes, line breaks as CR LF.
  std::string Shown() const { return TerminalPane(term->mmoTerm).Text(); }
  void SetCompletion(bool AddCR, bool AddLF) const {
    w.frmTransfer->chkAddCR->setChecked(AddCR);
    w.frmTransfer->chkAddLF->setChecked(AddLF);
  }

  // The board sends Bytes (up to 2400) as one piece; true once the window handled them.
  bool Receive(const std::string& Bytes) {
    term->ReceivedText.clear();
    line->Send(VirtualLine::B, Bytes);
    return Bytes.size() <= 2400 && RunUntil([&] { return term->ReceivedText.size() >= Bytes.size(); });
  }

  // What the board has got, once it holds at least Count bytes (or the wait gave up).
  // The port's write thread hands the main thread a delivery after each write, so
  // the window wakes once the bytes are on the line.
  std::string BoardGot(size_t Count) {
    std::string got;
    RunUntil([&] { return (got += line->Take(VirtualLine::B)).size() >= Count; });
    return got;
  }

  TestDeviceRoot root;
  TempSettings settings;
  ScriptedDialogs dialogs;
  ProgramWindows w;
  TfrmTerm* term = w.frmTerm.get();
  std::shared_ptr<VirtualLine> line;
};
