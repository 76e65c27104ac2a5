// SPDX-License-Identifier: GPL-3.0-or-later
// Floods of text into the real main window, offscreen, each 8 MiB written at the far end
// of a pseudo-terminal as fast as it takes them:
//   plain    lines of 20 to 200 printable characters ended by LF, in the plain display
//            (the anchor every other figure is read against);
//   ansi     the same lines with ANSI Terminal on;
//   esp-idf  coloured log lines as ESP-IDF prints them (ESC[0;32mI (ms) tag: ...ESC[0m);
//   redraw   a REPL's redraw storm: each line rewritten 20 times after CR and ESC[K.
// For each: the bytes shown per second, the CPU time per MiB (whole process, and the main
// thread alone), the longest gap of a timer that should fire every 10 ms, and whether
// the pane holds exactly the end of the flood as it is to be shown. For the plain
// display also whether every byte was appended once and in order.
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
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
#include <functional>
#include <random>
#include <string>
#include <thread>

#include "app/ProgramWindows.h"
#include "app/SettingsFile.h"
#include "app/TarvikApplication.h"
#include "app/pane/BoardConsole.h"
#include "app/pane/TerminalPane.h"

namespace {

constexpr size_t FloodBytes = 8u << 20;
const std::string EndLine = "-- end of flood --";

// A flood and what the pane must end with: the text of its last lines, LF between them.
struct Flood {
  const char* Name;
  bool Ansi;
  std::string Bytes;
  std::string Shown;
};

// Lines of 20 to 200 printable characters, as Make gives them.
void MakeLines(const std::function<bool(const std::string& Line)>& Add) {
  std::mt19937 random(20261209);
  std::uniform_int_distribution<int> length(20, 200), printable(32, 126);
  for (unsigned n = 0;; ++n) {
    std::string line = std::to_string(n) + ":";
    const size_t want = static_cast<size_t>(length(random));
    while (line.size() < want) line += static_cast<char>(printable(random));
    if (!Add(line)) return;
  }
}

Flood PlainFlood(const char* Name, bool Ansi) {
  Flood flood{Name, Ansi, {}, {}};
  flood.Bytes.reserve(FloodBytes + 256);
  MakeLines([&](const std::string& Line) {
    if (flood.Bytes.size() + Line.size() + EndLine.size() + 2 > FloodBytes) return false;
    flood.Bytes += Line + '\n';
    return true;
  });
  flood.Bytes += EndLine + '\n';
  flood.Shown = flood.Bytes;
  return flood;
}

// I, W and E lines in their colours, as an ESP-IDF log shows them.
Flood EspIdfFlood() {
  Flood flood{"esp-idf", true, {}, {}};
  flood.Bytes.reserve(FloodBytes + 256);
  const char* const levels[] = {"\x1b[0;32mI", "\x1b[0;33mW", "\x1b[0;31mE"};
  unsigned ms = 0;
  MakeLines([&](const std::string& Line) {
    const std::string text = std::string(1, "IWE"[ms % 7 == 0 ? 1 + ms % 2 : 0]) + " (" +
                             std::to_string(ms) + ") wifi: " + Line.substr(0, 80);
    const std::string coloured = levels[ms % 7 == 0 ? 1 + ms % 2 : 0] + text.substr(1) + "\x1b[0m\n";
    if (flood.Bytes.size() + coloured.size() + EndLine.size() + 2 > FloodBytes) return false;
    flood.Bytes += coloured;
    flood.Shown += text + '\n';
    ms += 13;
    return true;
  });
  flood.Bytes += EndLine + '\n';
  flood.Shown += EndLine + '\n';
  return flood;
}

// Each line typed out as a REPL redraws it: 20 times CR, erase the line, the prompt and
// a longer part of the line; then LF.
Flood RedrawFlood() {
  Flood flood{"redraw", true, {}, {}};
  flood.Bytes.reserve(FloodBytes + 4096);
  MakeLines([&](const std::string& Line) {
    std::string redrawn;
    const std::string input = Line.substr(0, 60);
    for (size_t step = 1; step <= 20; ++step)
      redrawn += "\r\x1b[K>>> " + input.substr(0, input.size() * step / 20);
    redrawn += '\n';
    if (flood.Bytes.size() + redrawn.size() + EndLine.size() + 2 > FloodBytes) return false;
    flood.Bytes += redrawn;
    flood.Shown += ">>> " + input + '\n';
    return true;
  });
  flood.Bytes += EndLine + '\n';
  flood.Shown += EndLine + '\n';
  return flood;
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

// The pane's text with LF between lines; in the plain display a line break is CR LF.
std::string PaneLines(TfrmTerm* Term) {
  std::string text = TerminalPane(Term->mmoTerm).Text();
  std::string lines;
  lines.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) lines += text[i];
  return lines;
}

struct Figures {
  double BytesPerSecond = 0;
  double LongestGapMs = 0;
  bool Good = false;
};

Figures Measure(TfrmTerm* Term, int Master, const Flood& Flood, bool Quiet = false) {
  Term->Clearscreen1Click();
  Term->Console->ANSITerminal1->setChecked(Flood.Ansi);
  QTextDocument* doc = Term->mmoTerm->document();
  // Every character appended at the end of the pane, counted as the document counts
  // them (a line break is one): in the plain display, with nothing lost or doubled, it
  // is the flood's size.
  size_t appended = 0;
  const auto counting = QObject::connect(doc, &QTextDocument::contentsChange, [&](int At, int, int Added) {
    if (Added > 0 && At + Added == doc->characterCount() - 1) appended += static_cast<size_t>(Added);
  });

  QElapsedTimer clock;
  // Gaps count from the start of the flood to its end, so that a stall with no tick in
  // it at all is measured too.
  qint64 lastTick = 0, longestGapNs = 0;
  QTimer ticker;
  ticker.setTimerType(Qt::PreciseTimer);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    longestGapNs = std::max(longestGapNs, now - lastTick);
    lastTick = now;
  });

  // Done when the flood's last line is the pane's last line.
  QEventLoop loop;
  qint64 doneNs = 0;
  double cpuStart = 0, mainCpuStart = 0, cpu = 0, mainCpu = 0;
  const auto handler = Term->SerComm1->OnRxChar;
  qint64 longestChunkNs = 0;
  size_t chunks = 0;
  Term->SerComm1->OnRxChar = [&](TObject* Sender, int Count) {
    const qint64 start = clock.nsecsElapsed();
    handler(Sender, Count);
    longestChunkNs = std::max(longestChunkNs, clock.nsecsElapsed() - start);
    ++chunks;
    const QTextBlock last = doc->lastBlock();
    if (doneNs == 0 && last.length() == 1 && last.previous().text() == QString::fromLatin1(EndLine.c_str())) {
      doneNs = clock.nsecsElapsed();
      longestGapNs = std::max(longestGapNs, doneNs - lastTick);
      cpu = ProcessCpu() - cpuStart;
      mainCpu = ThreadCpu() - mainCpuStart;
      ticker.stop();
      QTimer::singleShot(0, &loop, &QEventLoop::quit);
    }
  };

  cpuStart = ProcessCpu();
  mainCpuStart = ThreadCpu();
  clock.start();
  ticker.start(10);
  std::thread writer([&] { WriteAll(Master, Flood.Bytes); });
  QTimer::singleShot(300000, &loop, [] {
    std::fprintf(stderr, "gave up after 300 s\n");
    std::_Exit(1);
  });
  loop.exec();
  writer.join();
  Term->SerComm1->OnRxChar = handler;
  QObject::disconnect(counting);

  const std::string shown = PaneLines(Term);
  const bool isEnd = shown.size() >= 16384 / 2 && shown.size() <= Flood.Shown.size() &&
                     Flood.Shown.compare(Flood.Shown.size() - shown.size(), shown.size(), shown) == 0;
  const bool allAppended = Flood.Ansi || appended == Flood.Bytes.size();
  const double seconds = doneNs / 1e9, mib = Flood.Bytes.size() / double(1 << 20);
  Figures figures{Flood.Bytes.size() / seconds, longestGapNs / 1e6, false};
  figures.Good = doneNs > 0 && isEnd && allAppended && figures.LongestGapMs < 100;
  if (Quiet) return figures;
  std::printf("%-8s %zu bytes shown in %.3f s: %.0f bytes/s (%.2f MiB/s)\n", Flood.Name, Flood.Bytes.size(),
              seconds, figures.BytesPerSecond, mib / seconds);
  std::printf("         CPU: %.3f s/MiB whole process, %.3f s/MiB main thread\n", cpu / mib, mainCpu / mib);
  std::printf("         longest gap of the 10 ms timer: %.1f ms; %zu chunks, the longest handled in %.1f ms\n",
              figures.LongestGapMs, chunks, longestChunkNs / 1e6);
  std::printf("         pane: %zu characters, the end of the flood as shown: %s", shown.size(), isEnd ? "yes" : "NO");
  if (!Flood.Ansi)
    std::printf("; characters appended: %zu of %zu: %s", appended, Flood.Bytes.size(), allAppended ? "all" : "MISMATCH");
  std::printf("\n");
  if (figures.LongestGapMs >= 100) std::printf("         the window was blocked for more than 100 ms\n");
  return figures;
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
  const Flood floods[] = {PlainFlood("plain", false), PlainFlood("ansi", true), EspIdfFlood(), RedrawFlood()};

  ProgramWindows windows;
  TfrmTerm* term = windows.frmTerm.get();
  term->show();
  term->FormActivate();
  term->SerComm1->SetDeviceName(ttyname(slave));
  term->SerComm1->SetPortNum(1);
  term->spdConnect->click();
  if (!term->SerComm1->Active()) {
    std::fprintf(stderr, "the port did not open\n");
    return 1;
  }

  // The window's first text lays out fonts and fills caches: not charged to the anchor.
  Flood warmUp = PlainFlood("warm-up", false);
  warmUp.Bytes.erase(0, warmUp.Bytes.size() - (1u << 20));
  warmUp.Bytes.erase(0, warmUp.Bytes.find('\n') + 1);
  warmUp.Shown = warmUp.Bytes;
  bool good = Measure(term, master, warmUp, true).Good;
  double anchor = 0, worst = 1e300;
  for (const Flood& flood : floods) {
    const Figures figures = Measure(term, master, flood);
    good = good && figures.Good;
    if (!flood.Ansi) anchor = figures.BytesPerSecond;
    else worst = std::min(worst, figures.BytesPerSecond);
    if (flood.Ansi && flood.Bytes == floods[0].Bytes)
      std::printf("         plain text with ANSI Terminal on: %.0f %% of the plain display's rate\n",
                  100 * figures.BytesPerSecond / anchor);
  }
  std::printf("slowest flood with ANSI Terminal on: %.2f MB/s\n", worst / 1e6);

  term->SerComm1->Close();
  close(master);
  close(slave);
  return good ? 0 : 1;
}
