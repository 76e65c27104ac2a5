// SPDX-License-Identifier: GPL-3.0-or-later
// The program's windows with the main port connected to a pseudo-terminal, whose master
// side is the board: read directly by the test, or handed to lrzsz's sx / rx.
#pragma once

#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "LrzszPeer.h"
#include "ScriptedDialogs.h"
#include "TempSettings.h"
#include "TestDevices.h"
#include "app/ProgramWindows.h"

// Runs the event loop until Done holds; false when TimeoutMs passed first.
bool WaitUntil(const std::function<bool()>& Done, int TimeoutMs);

// Up to Count bytes from Fd, waiting at most TimeoutMs for them all.
std::string ReadFd(int Fd, size_t Count, int TimeoutMs);
void WriteFd(int Fd, const std::string& Bytes);
void WriteFile(const std::string& Path, const std::string& Data);
std::string ReadFile(const std::string& Path);

// Copies bytes both ways between the master sides of two pseudo-terminals, so that two
// ports on their slave sides talk as over a null-modem cable.
class PtyRelay {
 public:
  PtyRelay(int MasterA, int MasterB);
  ~PtyRelay();

 private:
  void Run(int A, int B);
  int stop_[2] = {-1, -1};
  std::thread thread_;
};

class XModemWindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  QStringList Log() const;
  std::string LastLogLine() const { return Log().isEmpty() ? "" : Log().last().toStdString(); }
  std::string Label(QLabel* L) const { return L->text().toStdString(); }
  std::string Pane() const { return term->mmoTerm->toPlainText().toStdString(); }
  int Ends() const;
  // A choice in the protocol box, as the user makes it.
  void ChooseProtocol(int Index);
  // The focus comes to the transfer window, and goes back to the main window.
  void Activate();
  void Deactivate();
  // Starts Argv on the board side, working in the test's directory.
  void Spawn(const std::vector<std::string>& Argv);
  std::string ProgramLog(const std::string& Name) const { return ReadFile(dir + "/" + Name + ".log"); }
  std::string BoardReads(size_t Count, int TimeoutMs = 5000) { return ReadFd(link.Master, Count, TimeoutMs); }

  TestDeviceRoot root;
  PtyPair link{true};
  TempSettings settings;
  ScriptedDialogs dialogs;
  std::string dir;
  std::unique_ptr<ProgramWindows> w;
  TfrmTerm* term = nullptr;
  TfrmXModem* xm = nullptr;
  std::unique_ptr<LineProgram> program;
};
