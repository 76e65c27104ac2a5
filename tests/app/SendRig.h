// SPDX-License-Identifier: GPL-3.0-or-later
// The main window with the board simulator at the far end, for the send tests: a board
// on a pseudo-terminal or on a virtual line (where it can hold CTS off), files to send,
// and scripted steps that run while a send lets the window handle its events.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QCheckBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "ScriptedDialogs.h"
#include "TempSettings.h"
#include "TestDevices.h"
#include "app/ProgramWindows.h"
#include "boardsim/BoardSimulator.h"
#include "platform/VirtualLine.h"

// Records what the send asked of the open dialog and can answer with a filter choice.
class SendDialogs : public ScriptedDialogs {
 public:
  bool OpenFile(QWidget* Parent, OpenFileRequest& Request) override {
    Asked.push_back(Request);
    if (FilterChoice && FileChoice) Request.FilterIndex = FilterChoice;
    return ScriptedDialogs::OpenFile(Parent, Request);
  }
  std::vector<OpenFileRequest> Asked;
  int FilterChoice = 0;
};

// Steps run one after the other, each on every pass of the window's event handling until
// it returns true. A script that has not finished after a generous time presses Cancel,
// so a broken send cannot hang the test.
class SendScript {
 public:
  explicit SendScript(TfrmTerm* Term) : term_(Term) {
    timer_.setInterval(1);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Run(); });
  }
  void Then(std::function<bool()> Step) {
    steps_.push_back(std::move(Step));
    started_ = std::chrono::steady_clock::now();
    timer_.start();
  }
  bool Finished() const { return next_ == steps_.size(); }
  bool TimedOut = false;

 private:
  void Run() {
    if (next_ < steps_.size() && steps_[next_]()) ++next_;
    if (Finished()) timer_.stop();
    if (std::chrono::steady_clock::now() - started_ > std::chrono::seconds(30)) {
      TimedOut = true;
      term_->CancelSend1Click();
      timer_.stop();
    }
  }
  TfrmTerm* term_;
  QTimer timer_;
  std::vector<std::function<bool()>> steps_;
  size_t next_ = 0;
  std::chrono::steady_clock::time_point started_;
};

class SendRig : public ::testing::Test {
 protected:
  void SetUp() override {
    w = std::make_unique<ProgramWindows>();
    term = w->frmTerm.get();
    transfer = w->frmTransfer.get();
    term->FormActivate();
    term->Timer1->setInterval(1);  // the automation wait counts ticks; keep them short
  }
  void TearDown() override {
    if (term->SerComm1->Active()) term->SerComm1->Close();
  }

  void ConnectPtyBoard(BoardSimulator::Options Options = {}) {
    std::string slave;
    board = std::make_unique<BoardSimulator>(BoardLink::NewPty(slave), Options);
    board->Start();
    Connect(slave);
  }

  void ConnectVirtualBoard(BoardSimulator::Options Options = {}) {
    line = VirtualLine::Create("send-test");
    board = std::make_unique<BoardSimulator>(BoardLink::OnVirtualLine(line), Options);
    board->SetClearToSend(true);
    board->Start();
    Connect(line->Path(VirtualLine::A));
  }

  void Connect(const std::string& Path) {
    devicePath = Path;
    term->SerComm1->SetDeviceName(Path);
    term->SerComm1->SetPortNum(1);
    term->spdConnect->click();
    ASSERT_TRUE(term->SerComm1->Active()) << dialogs.Reports.join("|").toStdString();
  }

  QString File(const QString& Name, const std::string& Bytes) const {
    QString path = QDir(files.path()).filePath(Name);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(Bytes.data(), static_cast<qint64>(Bytes.size()));
    return path;
  }

  void SendText(const QString& Path) {
    dialogs.FileChoice = Path;
    term->SendText1->trigger();
  }

  void SendBinary(const QString& Path) {
    dialogs.FileChoice = Path;
    term->SendBinary1->trigger();
  }

  // Row 1..4 of the automation rules.
  void Rule(int Row, const QString& Pattern, const QString& Command, const QString& Wait) {
    transfer->txtFile[Row - 1]->setText(Pattern);
    transfer->txtSend[Row - 1]->setText(Command);
    transfer->txtWait[Row - 1]->setText(Wait);
  }

  std::string Received() const { return board->Received(); }

  // Sends that do not wait for the board's answer end before it has everything. The
  // window handles its events meanwhile: the port's write thread hands its
  // transmitter-empty report to the window before it writes more.
  bool BoardGets(const std::string& Text, int TimeoutMs = 10000) const {
    return QTest::qWaitFor([&] { return Received().find(Text) != std::string::npos; }, TimeoutMs);
  }
  void ExpectBoardGot(const std::string& All) const {
    BoardGets(All);
    EXPECT_EQ(Received(), All);
  }

  bool ProgressShown() const { return !term->ProgressBar1->isHidden() && !term->btnCancel->isHidden(); }

  std::string Reports() const { return dialogs.Reports.join("|").toStdString(); }

  // A send that the line's going away ended: within a second, its progress back at the
  // start, said in the status bar, the port closed, and no message box.
  // A send that fails to notice is cancelled a while later, so the test ends either way.
  static void CancelLater(SendScript& Script, TfrmTerm* Term) {
    const auto from = std::chrono::steady_clock::now();
    Script.Then([=] {
      if (std::chrono::steady_clock::now() - from < std::chrono::seconds(3)) return false;
      Term->CancelSend1Click();
      return true;
    });
  }
  void ExpectStoppedByTheUnplug(std::chrono::steady_clock::time_point UnpluggedAt) const {
    EXPECT_LT(std::chrono::steady_clock::now() - UnpluggedAt, std::chrono::seconds(1));
    EXPECT_FALSE(ProgressShown());
    EXPECT_EQ(term->ProgressBar1->value(), 0);
    EXPECT_EQ(term->staPanel1->text(), "Send stopped");
    EXPECT_FALSE(term->SerComm1->Active());
    EXPECT_FALSE(term->spdConnect->isChecked());
    EXPECT_TRUE(dialogs.Reports.isEmpty() && dialogs.Messages.isEmpty()) << Reports();
  }

  TestDeviceRoot root;
  TempSettings settings;
  SendDialogs dialogs;
  QTemporaryDir files;
  std::unique_ptr<ProgramWindows> w;
  TfrmTerm* term = nullptr;
  TfrmTransfer* transfer = nullptr;
  std::string devicePath;
  std::shared_ptr<VirtualLine> line;
  std::unique_ptr<BoardSimulator> board;
};
