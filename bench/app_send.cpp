// SPDX-License-Identifier: GPL-3.0-or-later
// File sends from the real main window (offscreen) over pseudo-terminals, the far end in
// a child process so the CPU figures are Tarvik's alone:
//   1. round-trip limit: a plain program writes a 40-character line and waits for the
//      board's acknowledgement, 5000 times;
//   2. a text file of 5000 such lines sent by the window with the character wait on;
//   3. a 1 MiB binary file sent by the window (a pty reports CTS on), into a sink;
//   4. the CPU the two waits use while nothing comes: an acknowledgement that never
//      arrives, and CTS held off (a closed port reads CTS off), two seconds each.
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QDir>
#include <QEventLoop>
#include <QLabel>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "app/ProgramWindows.h"
#include "app/SettingsFile.h"
#include "app/TarvikApplication.h"
#include "boardsim/BoardSimulator.h"

namespace {

constexpr int Lines = 5000;
constexpr int LineLength = 40;
constexpr size_t BinarySize = 1 << 20;

using Clock = std::chrono::steady_clock;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Seconds(Clock::duration D) { return std::chrono::duration<double>(D).count(); }

struct Pty {
  int Master = -1, Slave = -1;
  std::string Path;
  Pty() {
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&Master, &Slave, nullptr, &raw, nullptr) != 0) {
      std::perror("openpty");
      std::exit(1);
    }
    Path = ttyname(Slave);
  }
};

// The board (echo, acknowledgement after every line) on the master, in a child process.
pid_t StartBoard(Pty& P) {
  pid_t child = fork();
  if (child == 0) {
    close(P.Slave);
    BoardSimulator board(BoardLink::FromPtyMaster(P.Master));
    board.Start();
    pause();  // until the parent ends it
    _exit(0);
  }
  close(P.Master);
  return child;
}

// A sink on the master that reads Count bytes and then writes one byte to Done.
pid_t StartSink(Pty& P, size_t Count, int Done) {
  pid_t child = fork();
  if (child == 0) {
    close(P.Slave);
    char buffer[65536];
    size_t got = 0;
    while (got < Count) {
      ssize_t n = read(P.Master, buffer, sizeof buffer);
      if (n <= 0) _exit(1);
      got += static_cast<size_t>(n);
    }
    (void)!write(Done, "x", 1);
    pause();
    _exit(0);
  }
  close(P.Master);
  return child;
}

void Stop(pid_t Child) {
  kill(Child, SIGTERM);
  waitpid(Child, nullptr, 0);
}

std::string Line(int Number) {
  std::string line = std::to_string(Number) + " ";
  line.resize(LineLength, 'x');
  return line;
}

void RoundTripLimit() {
  Pty pty;
  pid_t board = StartBoard(pty);
  const double cpu = CpuSeconds();
  const auto start = Clock::now();
  for (int i = 0; i < Lines; ++i) {
    const std::string out = Line(i) + '\r';
    if (write(pty.Slave, out.data(), out.size()) != static_cast<ssize_t>(out.size())) std::exit(1);
    for (bool acked = false; !acked;) {
      pollfd p{pty.Slave, POLLIN, 0};
      poll(&p, 1, 5000);
      char buffer[512];
      ssize_t n = read(pty.Slave, buffer, sizeof buffer);
      if (n <= 0) std::exit(1);
      acked = std::string(buffer, static_cast<size_t>(n)).find(BoardSimulator::Ack) != std::string::npos;
    }
  }
  const double took = Seconds(Clock::now() - start);
  std::printf("round-trip limit (plain write + wait for ACK): %d lines in %.3f s = %.0f lines/s, CPU %.3f s\n",
              Lines, took, Lines / took, CpuSeconds() - cpu);
  Stop(board);
  close(pty.Slave);
}

QString WriteFile(const QTemporaryDir& Dir, const char* Name, const std::string& Bytes) {
  QString path = QDir(Dir.path()).filePath(Name);
  std::ofstream(path.toStdString(), std::ios::binary).write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
  return path;
}

void Connect(TfrmTerm* Term, const std::string& Path) {
  Term->SerComm1->SetDeviceName(Path);
  Term->SerComm1->SetPortNum(1);
  Term->spdConnectClick();
  if (!Term->SerComm1->Active()) {
    std::fprintf(stderr, "could not open %s\n", Path.c_str());
    std::exit(1);
  }
}

void TextSend(TfrmTerm* Term, const QTemporaryDir& Dir, Pty& pty) {
  std::string text;
  for (int i = 0; i < Lines; ++i) text += Line(i) + "\r\n";
  Connect(Term, pty.Path);
  Term->staPanel0->setText(WriteFile(Dir, "lines.txt", text));
  const double cpu = CpuSeconds();
  const auto start = Clock::now();
  Term->SendTextFile();
  const double took = Seconds(Clock::now() - start);
  std::printf("text send, character wait on: %d lines in %.3f s = %.0f lines/s, Tarvik CPU %.3f s\n", Lines,
              took, Lines / took, CpuSeconds() - cpu);
  Term->SerComm1->Close();
}

void BinarySend(TfrmTerm* Term, const QTemporaryDir& Dir, Pty& pty, int Done) {
  std::string bytes(BinarySize, '\0');
  std::mt19937 random(7);
  for (char& b : bytes) b = static_cast<char>(random());
  Connect(Term, pty.Path);
  Term->staPanel0->setText(WriteFile(Dir, "image.bin", bytes));
  const double cpu = CpuSeconds();
  const auto start = Clock::now();
  Term->SendBinaryFile();
  const double queued = Seconds(Clock::now() - start);
  // The last bytes still leave through the port's write thread; the window runs meanwhile.
  QEventLoop arrived;
  QSocketNotifier notifier(Done, QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, &arrived, &QEventLoop::quit);
  arrived.exec();
  const double took = Seconds(Clock::now() - start);
  std::printf("binary send, CTS on: %zu bytes in %.3f s = %.0f bytes/s (loop done after %.3f s), Tarvik CPU %.3f s\n",
              bytes.size(), took, bytes.size() / took, queued, CpuSeconds() - cpu);
  Term->SerComm1->Close();
}

// Runs Send, presses Cancel after two seconds and prints the CPU used meanwhile.
template <typename Fn>
void IdleWait(TfrmTerm* Term, const char* What, Fn Send) {
  const double cpu = CpuSeconds();
  QTimer::singleShot(2000, [Term] { Term->CancelSend1Click(); });
  Send();
  std::printf("%s: CPU %.4f s over 2 s\n", What, CpuSeconds() - cpu);
}

void Waits(TfrmTerm* Term, const QTemporaryDir& Dir, Pty& Silent) {
  Connect(Term, Silent.Path);  // nobody answers on this line
  Term->staPanel0->setText(WriteFile(Dir, "one.txt", "one\n"));
  IdleWait(Term, "text send waiting for an acknowledgement", [Term] { Term->SendTextFile(); });
  Term->SerComm1->Close();
  IdleWait(Term, "binary send waiting for CTS", [Term] { Term->SendBinaryFile(); });
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  RoundTripLimit();
  // The far ends are started before the application's threads exist.
  Pty textPty, binaryPty, silentPty;
  int done[2];
  if (pipe(done) != 0) return 1;
  const pid_t board = StartBoard(textPty);
  const pid_t sink = StartSink(binaryPty, BinarySize, done[1]);
  QTemporaryDir dir;
  SetSettingsFilePath(QDir(dir.path()).filePath("tarvik-33.ini").toStdString());
  TarvikApplication app(argc, argv);
  ProgramWindows windows;
  TfrmTerm* term = windows.frmTerm.get();
  term->show();
  term->FormActivate();
  term->Timer1->setInterval(1);  // the automation wait's one tick, kept out of the figure
  TextSend(term, dir, textPty);
  BinarySend(term, dir, binaryPty, done[0]);
  Waits(term, dir, silentPty);
  Stop(board);
  Stop(sink);
  return 0;
}
