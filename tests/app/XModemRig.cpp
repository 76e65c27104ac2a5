// SPDX-License-Identifier: GPL-3.0-or-later
#include "XModemRig.h"

#include <poll.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>
#include <QToolButton>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "app/ActivationTracker.h"

bool WaitUntil(const std::function<bool()>& Done, int TimeoutMs) {
  QElapsedTimer clock;
  clock.start();
  // Some conditions (a child program's exit) announce themselves by no event.
  QTimer tick;
  tick.start(20);
  while (!Done()) {
    if (clock.elapsed() > TimeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return true;
}

// The event loop runs meanwhile: the port's threads hand their events to it.
std::string ReadFd(int Fd, size_t Count, int TimeoutMs) {
  std::string got;
  QSocketNotifier readable(Fd, QSocketNotifier::Read);
  QObject::connect(&readable, &QSocketNotifier::activated, [&] {
    char buffer[4096];
    const ssize_t n = read(Fd, buffer, std::min(sizeof buffer, Count - got.size()));
    if (n > 0) got.append(buffer, static_cast<size_t>(n));
  });
  WaitUntil([&] { return got.size() >= Count; }, TimeoutMs);
  return got;
}

void WriteFd(int Fd, const std::string& Bytes) {
  size_t done = 0;
  while (done < Bytes.size()) {
    const ssize_t n = write(Fd, Bytes.data() + done, Bytes.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

void WriteFile(const std::string& Path, const std::string& Data) {
  std::ofstream(Path, std::ios::binary) << Data;
}

std::string ReadFile(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

PtyRelay::PtyRelay(int MasterA, int MasterB) {
  if (pipe(stop_) != 0) return;
  thread_ = std::thread([this, MasterA, MasterB] { Run(MasterA, MasterB); });
}

PtyRelay::~PtyRelay() {
  if (stop_[1] >= 0) write(stop_[1], "x", 1);
  if (thread_.joinable()) thread_.join();
  for (int fd : stop_)
    if (fd >= 0) close(fd);
}

void PtyRelay::Run(int A, int B) {
  for (;;) {
    pollfd p[3] = {{A, POLLIN, 0}, {B, POLLIN, 0}, {stop_[0], POLLIN, 0}};
    if (poll(p, 3, -1) < 0) return;
    if (p[2].revents) return;
    for (int i = 0; i < 2; ++i) {
      if (!(p[i].revents & POLLIN)) continue;
      char buffer[4096];
      const ssize_t n = read(p[i].fd, buffer, sizeof buffer);
      if (n > 0) WriteFd(i == 0 ? B : A, std::string(buffer, static_cast<size_t>(n)));
    }
  }
}

void XModemWindowTest::SetUp() {
  char pattern[] = "/tmp/tarvik-xwindow-XXXXXX";
  dir = mkdtemp(pattern);
  root.Link("ttyUSB0", link.SlavePath);
  w = std::make_unique<ProgramWindows>();
  term = w->frmTerm.get();
  xm = w->frmXModem.get();
  term->FormActivate();
  term->spdConnect->click();
  ASSERT_TRUE(term->SerComm1->Active()) << dialogs.Reports.join("|").toStdString();
}

void XModemWindowTest::TearDown() {
  if (xm && xm->SerXModem1->Busy()) {
    xm->SerXModem1->AbortTransfer();
    WaitUntil([&] { return !xm->SerXModem1->Busy(); }, 10000);
  }
  program.reset();
  ActivationTracker::Instance()->FocusMovedTo(nullptr);
  w.reset();
  if (!dir.empty()) std::system(("rm -rf " + dir).c_str());
}

QStringList XModemWindowTest::Log() const {
  return xm->Memo1->toPlainText().split('\n', Qt::SkipEmptyParts);
}

int XModemWindowTest::Ends() const { return static_cast<int>(Log().count("Transfer ended.")); }

void XModemWindowTest::ChooseProtocol(int Index) {
  xm->cboXModemProtocol->setCurrentIndex(Index);
  emit xm->cboXModemProtocol->activated(Index);
}

void XModemWindowTest::Activate() { ActivationTracker::Instance()->FocusMovedTo(xm); }
void XModemWindowTest::Deactivate() { ActivationTracker::Instance()->FocusMovedTo(term); }

void XModemWindowTest::Spawn(const std::vector<std::string>& Argv) {
  program = std::make_unique<LineProgram>(Argv, link.Master, link.Master, dir);
  ASSERT_TRUE(program->Started());
}
