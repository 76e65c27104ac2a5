// SPDX-License-Identifier: GPL-3.0-or-later
// A flood of text into the real main window, offscreen: 8 MiB of lines of 20 to 200
// printable characters, each ended by LF alone, written at the far end of a
// pseudo-terminal as fast as it takes them. Prints the bytes shown per second, the CPU
// time per MiB (whole process, and the main thread alone), the longest gap of a timer
// that should fire every 10 ms, and whether the pane holds exactly the end of the flood
// as the display rules render it (each LF completed to CR LF) after every byte was
// appended once and in order.
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <thread>

#include "app/ProgramWindows.h"
#include "app/SettingsFile.h"
#include "app/TarvikApplication.h"
#include "app/pane/TerminalPane.h"

namespace {

constexpr size_t FloodBytes = 8u << 20;
const std::string EndLine = "-- end of flood --";

std::string MakeFlood() {
  std::mt19937 random(20261209);
  std::uniform_int_distribution<int> length(20, 200), printable(32, 126);
  std::string flood;
  flood.reserve(FloodBytes + 256);
  for (unsigned n = 0; flood.size() + EndLine.size() + 1 < FloodBytes; ++n) {
    std::string line = std::to_string(n) + ":";
    const size_t want = std::min<size_t>(length(random), FloodBytes - EndLine.size() - 2 - flood.size());
    while (line.size() < want) line += static_cast<char>(printable(random));
    line.resize(std::max<size_t>(want, 1));
    flood += line + '\n';
  }
  return flood + EndLine + '\n';
}

// The flood as the pane renders it with the default completion (CR before a lone LF).
std::string Rendered(const std::string& Flood) {
  std::string out;
  out.reserve(Flood.size() + Flood.size() / 50);
  for (char c : Flood) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

double ProcessCpu() {
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ThreadCpu() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

void WriteAll(int Fd, const std::string& Bytes) {
  for (size_t done = 0; done < Bytes.size();) {
    const ssize_t n = write(Fd, Bytes.data() + done, std::min<size_t>(Bytes.size() - done, 65536));
    if (n <= 0) {
      std::perror("write");
      std::exit(1);
    }
    done += static_cast<size_t>(n);
  }
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  TarvikApplication app(argc, argv);
  QTemporaryDir settingsDir;
  SetSettingsFilePath(QDir(settingsDir.path()).filePath("tarvik-33.ini").toStdString());

  int master = -1, slave = -1;
  termios raw;
  cfmakeraw(&raw);
  if (openpty(&master, &slave, nullptr, &raw, nullptr) != 0) {
    std::perror("openpty");
    return 1;
  }
  const std::string flood = MakeFlood();

  ProgramWindows windows;
  TfrmTerm* term = windows.frmTerm.get();
  term->show();
  term->FormActivate();
  term->Clearscreen1Click();
  term->SerComm1->SetDeviceName(ttyname(slave));
  term->SerComm1->SetPortNum(1);
  term->spdConnect->click();
  if (!term->SerComm1->Active()) {
    std::fprintf(stderr, "the port did not open\n");
    return 1;
  }

  // Every character appended at the end of the pane, counted as the document counts
  // them (a line break is one): with nothing lost or doubled it is the flood's size.
  QTextDocument* doc = term->mmoTerm->document();
  size_t appended = 0;
  QObject::connect(doc, &QTextDocument::contentsChange, [&](int At, int, int Added) {
    if (Added > 0 && At + Added == doc->characterCount() - 1) appended += static_cast<size_t>(Added);
  });

  QElapsedTimer clock;
  qint64 lastTick = -1, longestGapNs = 0;
  QTimer ticker;
  ticker.setTimerType(Qt::PreciseTimer);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    if (lastTick >= 0) longestGapNs = std::max(longestGapNs, now - lastTick);
    lastTick = now;
  });

  // Done when the flood's last line is the pane's last line.
  qint64 doneNs = 0;
  double cpuStart = 0, mainCpuStart = 0, cpu = 0, mainCpu = 0;
  const auto handler = term->SerComm1->OnRxChar;
  qint64 longestChunkNs = 0;
  size_t chunks = 0;
  term->SerComm1->OnRxChar = [&](TObject* Sender, int Count) {
    const qint64 start = clock.nsecsElapsed();
    handler(Sender, Count);
    longestChunkNs = std::max(longestChunkNs, clock.nsecsElapsed() - start);
    ++chunks;
    const QTextBlock last = doc->lastBlock();
    if (last.length() == 1 && last.previous().text() == QString::fromLatin1(EndLine.c_str())) {
      doneNs = clock.nsecsElapsed();
      cpu = ProcessCpu() - cpuStart;
      mainCpu = ThreadCpu() - mainCpuStart;
      ticker.stop();  // quitting closes the window, and with it the port (a pause)
      QTimer::singleShot(0, &app, &QCoreApplication::quit);
    }
  };

  cpuStart = ProcessCpu();
  mainCpuStart = ThreadCpu();
  clock.start();
  ticker.start(10);
  std::thread writer([&] { WriteAll(master, flood); });
  QTimer::singleShot(300000, &app, [] {
    std::fprintf(stderr, "gave up after 300 s\n");
    std::_Exit(1);
  });
  app.exec();
  writer.join();

  const std::string shown = TerminalPane(term->mmoTerm).Text();
  const std::string expected = Rendered(flood);
  const bool isEnd = shown.size() >= 16384 && shown.size() <= expected.size() &&
                     expected.compare(expected.size() - shown.size(), shown.size(), shown) == 0;
  const bool allAppended = appended == flood.size();
  const double seconds = doneNs / 1e9, mib = flood.size() / double(1 << 20);
  std::printf("flood: %zu bytes in lines of 20 to 200 characters, LF line ends\n", flood.size());
  std::printf("shown in %.3f s: %.0f bytes/s (%.2f MiB/s)\n", seconds, flood.size() / seconds,
              mib / seconds);
  std::printf("CPU: %.3f s/MiB whole process, %.3f s/MiB main thread\n", cpu / mib, mainCpu / mib);
  std::printf("longest gap of the 10 ms timer: %.1f ms; %zu chunks, the longest handled in %.1f ms\n",
              longestGapNs / 1e6, chunks, longestChunkNs / 1e6);
  std::printf("pane: %zu characters, the end of the rendered flood: %s; characters appended: %zu of %zu: %s\n",
              shown.size(), isEnd ? "yes" : "NO", appended, flood.size(), allAppended ? "all" : "MISMATCH");

  term->SerComm1->Close();
  close(master);
  close(slave);
  const bool responsive = longestGapNs < 100'000'000;
  if (!responsive) std::printf("the window was blocked for more than 100 ms\n");
  return doneNs > 0 && isEnd && allAppended && responsive ? 0 : 1;
}
