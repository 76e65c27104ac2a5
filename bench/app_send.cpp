// SPDX-License-Identifier: GPL-3.0-or-later
// File sends from the real main window (offscreen) over pseudo-terminals, the far end in
// a child process so the CPU figures are Tarvik's alone:
//   1. round-trip limit: a plain program writes a 40-character line and waits for the
//      board's acknowledgement, 5000 times;
//   2. a text file of 5000 such lines sent by the window with the character wait on;
//   3. a 1 MiB binary file sent by the window (a pty reports CTS on), into a sink, next to
//      the per-byte loop the send used to be (a modem-status query, a one-byte write and
//      a pass of the window's events for every byte), kept here as the anchor;
//   4. the same two over a line paced at 921600 baud (a relay between two pseudo-
//      terminals, run by the sink's process), 512 KiB each, as shares of the line;
//   5. the CPU the two waits use while nothing comes: an acknowledgement that never
//      arrives, and CTS held off (a closed port reads CTS off), two seconds each.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "app/ProgramWindows.h"
#include "app/SettingsFile.h"
#include "app/TarvikApplication.h"
#include "boardsim/BoardSimulator.h"
#include "support/PacedLine.h"

namespace {

constexpr int Lines = 5000;
constexpr int LineLength = 40;
constexpr size_t BinarySize = 1 << 20;
constexpr size_t PacedSize = 1 << 19;
constexpr int PacedBaud = 921600;

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

// A sink behind a line paced at Baud: the relay and the reader run in a child process;
// the parent gets the near end's path. The sink writes one byte to Done after Count bytes.
struct PacedSink {
  pid_t Child = -1;
  std::string Path;
};

PacedSink StartPacedSink(int Baud, size_t Count, int Done) {
  int path[2];
  if (pipe(path) != 0) std::exit(1);
  PacedSink sink;
  sink.Child = fork();
  if (sink.Child == 0) {
    close(path[0]);
    PacedLine line(Baud / 10.0);
    const int far = open(line.FarPath().c_str(), O_RDWR | O_NOCTTY);
    (void)!write(path[1], line.NearPath().c_str(), line.NearPath().size());
    close(path[1]);
    char buffer[65536];
    size_t got = 0;
    while (got < Count) {
      ssize_t n = read(far, buffer, sizeof buffer);
      if (n <= 0) _exit(1);
      got += static_cast<size_t>(n);
    }
    (void)!write(Done, "x", 1);
    pause();
    _exit(0);
  }
  close(path[1]);
  char name[256] = {};
  if (read(path[0], name, sizeof name - 1) <= 0) std::exit(1);
  close(path[0]);
  sink.Path = name;
  return sink;
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

// The binary send as it was before it went in batches: every byte asks CTS, is queued on
// its own and is followed by a pass of the window's events. The anchor of the figures.
void PerByteSend(TfrmTerm* Term) {
  std::ifstream in(Term->staPanel0->text().toStdString(), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Term->ProgressBar1->show();
  Term->ProgressBar1->setRange(0, static_cast<int>(bytes.size()));
  Term->CancelSend = false;
  int written = 0;
  for (char byte : bytes) {
    while (!Term->SerComm1->GetModemState(1))
      QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    Term->SerComm1->WriteChar(byte);
    Term->ProgressBar1->setValue(++written);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (Term->CancelSend) break;
  }
  Term->ProgressBar1->hide();
  Term->ProgressBar1->setValue(0);
}

struct SendFigures {
  double Seconds = 0, Cpu = 0;
};

// Send runs the send; the time runs until the sink has every byte, the window running
// meanwhile, since the last bytes still leave through the port's write thread.
template <typename Fn>
SendFigures BinarySend(TfrmTerm* Term, const QTemporaryDir& Dir, const std::string& Path, const std::string& Bytes,
                       int Done, Fn Send) {
  Connect(Term, Path);
  Term->staPanel0->setText(WriteFile(Dir, "image.bin", Bytes));
  const double cpu = CpuSeconds();
  const auto start = Clock::now();
  Send();
  QEventLoop arrived;
  QSocketNotifier notifier(Done, QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, &arrived, &QEventLoop::quit);
  arrived.exec();
  SendFigures figures{Seconds(Clock::now() - start), CpuSeconds() - cpu};
  Term->SerComm1->Close();
  return figures;
}

void PrintSend(const char* What, size_t Bytes, const SendFigures& F, double LineRate = 0) {
  const double perMiB = F.Cpu * (1 << 20) / Bytes;
  std::printf("%-44s %8zu bytes in %7.3f s = %8.0f bytes/s", What, Bytes, F.Seconds, Bytes / F.Seconds);
  if (LineRate > 0) std::printf(" (%5.1f %% of the line)", 100 * Bytes / F.Seconds / LineRate);
  std::printf(", Tarvik CPU %.3f s (%.3f s per MiB)\n", F.Cpu, perMiB);
}

void Compare(const char* What, const SendFigures& Anchor, const SendFigures& Batches) {
  std::printf("  %s, in batches against per byte: rate %.2fx, CPU %.3fx\n", What,
              Anchor.Seconds / Batches.Seconds, Batches.Cpu / Anchor.Cpu);
}

std::string RandomBytes(size_t Size) {
  std::string bytes(Size, '\0');
  std::mt19937 random(7);
  for (char& b : bytes) b = static_cast<char>(random());
  return bytes;
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
  // The far ends are started before the application's threads exist, one for each send.
  Pty textPty, anchorPty, binaryPty, silentPty;
  int done[4][2];
  for (auto& pipeFds : done)
    if (pipe(pipeFds) != 0) return 1;
  const pid_t board = StartBoard(textPty);
  const pid_t anchorSink = StartSink(anchorPty, BinarySize, done[0][1]);
  const pid_t sink = StartSink(binaryPty, BinarySize, done[1][1]);
  const PacedSink pacedAnchor = StartPacedSink(PacedBaud, PacedSize, done[2][1]);
  const PacedSink paced = StartPacedSink(PacedBaud, PacedSize, done[3][1]);
  QTemporaryDir dir;
  SetSettingsFilePath(QDir(dir.path()).filePath("tarvik-33.ini").toStdString());
  TarvikApplication app(argc, argv);
  ProgramWindows windows;
  TfrmTerm* term = windows.frmTerm.get();
  term->show();
  term->FormActivate();
  term->Timer1->setInterval(1);  // the automation wait's one tick, kept out of the figure
  TextSend(term, dir, textPty);

  const std::string bytes = RandomBytes(BinarySize);
  const auto perByte = [term] { PerByteSend(term); };
  const auto batches = [term] { term->SendBinaryFile(); };
  const SendFigures ptyAnchor = BinarySend(term, dir, anchorPty.Path, bytes, done[0][0], perByte);
  const SendFigures pty = BinarySend(term, dir, binaryPty.Path, bytes, done[1][0], batches);
  PrintSend("binary send, CTS on, pty, per byte (anchor)", bytes.size(), ptyAnchor);
  PrintSend("binary send, CTS on, pty, in batches", bytes.size(), pty);
  Compare("pty", ptyAnchor, pty);

  const std::string pacedBytes = bytes.substr(0, PacedSize);
  term->cboBaudRate->setEditText(QString::number(PacedBaud));
  const SendFigures lineAnchor = BinarySend(term, dir, pacedAnchor.Path, pacedBytes, done[2][0], perByte);
  const SendFigures line = BinarySend(term, dir, paced.Path, pacedBytes, done[3][0], batches);
  const double lineRate = PacedBaud / 10.0;
  PrintSend("binary send, paced 921600, per byte (anchor)", pacedBytes.size(), lineAnchor, lineRate);
  PrintSend("binary send, paced 921600, in batches", pacedBytes.size(), line, lineRate);
  Compare("paced line", lineAnchor, line);

  Waits(term, dir, silentPty);
  for (pid_t child : {board, anchorSink, sink, pacedAnchor.Child, paced.Child}) Stop(child);
  return 0;
}
