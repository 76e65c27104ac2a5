// SPDX-License-Identifier: GPL-3.0-or-later
// Floods of text into the real main window, offscreen, each 8 MiB written at the far end
// of a pseudo-terminal as fast as it takes them:
//   plain    lines of 20 to 200 printable characters ended by LF, in the plain display
//            (the anchor every other figure is read against);
//   raw-log  the same with a raw log running (the log then compared with the flood);
//   text-log the same with a text log running;
//   times    the same with Timestamps on;
//   hex      the same in the hex view (the pane then holds the end of its hexdump -C);
//   ansi     the same lines with ANSI Terminal on;
//   esp-idf  coloured log lines as ESP-IDF prints them (ESC[0;32mI (ms) tag: ...ESC[0m);
//   redraw   a REPL's redraw storm: each line rewritten 20 times after CR and ESC[K.
// For each: the bytes shown per second, the CPU time per MiB (whole process, and the main
// thread alone), the longest gap of a timer that should fire every 10 ms, and whether
// the pane holds exactly the end of the flood as it is to be shown. For the plain
// display also whether every byte was appended once and in order.
//
// With --memory [MINUTES] (10 unless given) it floods instead for that long at a steady
// rate (--rate BYTES_PER_S, 2000000 unless given: four times the fastest line) with a
// text log and Timestamps on, the display going from plain to ANSI to hex and back, and
// prints the resident memory at intervals.
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "app/ProgramWindows.h"
#include "app/SettingsFile.h"
#include "app/TarvikApplication.h"
#include "app/DialogSeam.h"
#include "app/pane/BoardConsole.h"
#include "app/pane/PaneView.h"
#include "app/pane/TerminalPane.h"
#include "app/tarvik.h"
#include "console/HexRows.h"

namespace {

constexpr size_t FloodBytes = 8u << 20;
const std::string EndLine = "-- end of flood --";

// A flood and what the pane must end with: the text of its last lines, LF between them.
// In the hex view the pane ends with FinalRow, the flood's last row.
struct Flood {
  const char* Name;
  bool Ansi;
  std::string Bytes;
  std::string Shown;
  bool Hex = false;
  std::string FinalRow;
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
  Flood flood{Name, Ansi, {}, {}, false, {}};
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

// The plain flood in the hex view: its rows as hexdump -C writes them.
Flood HexFlood(const Flood& Plain) {
  Flood flood{"hex", false, Plain.Bytes, {}, true, {}};
  HexRows rows;
  const std::vector<HexRow> all = rows.Add(flood.Bytes);
  flood.Shown.reserve(all.size() * (all.front().Text.size() + 1));
  for (const HexRow& row : all) flood.Shown += row.Text + '\n';
  flood.Shown.pop_back();
  flood.FinalRow = all.back().Text;
  return flood;
}

// I, W and E lines in their colours, as an ESP-IDF log shows them.
Flood EspIdfFlood() {
  Flood flood{"esp-idf", true, {}, {}, false, {}};
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
  Flood flood{"redraw", true, {}, {}, false, {}};
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

// The pane's display as the flood wants it, and empty; the hex view's offsets from 0.
void SetDisplay(TfrmTerm* Term, bool Ansi, bool Hex) {
  Term->View->HexView1->setChecked(false);
  Term->Console->ANSITerminal1->setChecked(Ansi);
  Term->View->HexView1->setChecked(Hex);
  Term->Clearscreen1Click();
}

bool FloodShown(const QTextDocument* Doc, const Flood& Flood) {
  const QTextBlock last = Doc->lastBlock();
  if (Flood.Hex) return last.text() == QString::fromLatin1(Flood.FinalRow.c_str());
  return last.length() == 1 && last.previous().text() == QString::fromLatin1(EndLine.c_str());
}

Figures Measure(TfrmTerm* Term, int Master, const Flood& Flood, bool Quiet = false) {
  SetDisplay(Term, Flood.Ansi, Flood.Hex);
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
    if (doneNs == 0 && FloodShown(doc, Flood)) {
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
  const bool counted = !Flood.Ansi && !Flood.Hex;
  const bool allAppended = !counted || appended == Flood.Bytes.size();
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
  if (counted)
    std::printf("; characters appended: %zu of %zu: %s", appended, Flood.Bytes.size(), allAppended ? "all" : "MISMATCH");
  std::printf("\n");
  if (figures.LongestGapMs >= 100) std::printf("         the window was blocked for more than 100 ms\n");
  return figures;
}

// The save dialog answered with a file in the bench's folder; messages printed.
class BenchDialogs : public DialogSeam {
 public:
  BenchDialogs() { SetDialogs(this); }
  ~BenchDialogs() override { SetDialogs(nullptr); }
  void Message(QWidget*, const QString& Text) override { std::printf("message: %s\n", qPrintable(Text)); }
  void ExceptionReport(const QString& Text) override { std::printf("report: %s\n", qPrintable(Text)); }
  bool OpenFile(QWidget*, OpenFileRequest&) override { return false; }
  bool SaveFile(QWidget*, OpenFileRequest& Request) override {
    Request.FileName = SaveAs;
    return true;
  }
  bool ChooseFont(QWidget*, QFont&, QColor&) override { return false; }
  bool ChooseColour(QWidget*, QColor&) override { return false; }
  QString SaveAs;
};

std::string FileBytes(const QString& Path) {
  QFile file(Path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray bytes = file.readAll();
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// Log to File into Path (.bin raw, .log text).
void StartLog(TfrmTerm* Term, BenchDialogs& Dialogs, const QString& Path) {
  Dialogs.SaveAs = Path;
  Term->LogtoFile1->trigger();
  if (!Term->LogtoFile1->isChecked()) {
    std::fprintf(stderr, "the log did not start\n");
    std::exit(1);
  }
}

void EndLog(TfrmTerm* Term) {
  if (Term->LogtoFile1->isChecked()) Term->LogtoFile1->trigger();
}

double Median(std::vector<double> Values) {
  std::sort(Values.begin(), Values.end());
  return Values[Values.size() / 2];
}

long ResidentKiB() {
  QFile status("/proc/self/status");
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').front().toLong();
  return -1;
}

// The plain flood written again and again at BytesPerSecond until stopped.
class SteadyWriter {
 public:
  SteadyWriter(int Master, const std::string& Bytes, double BytesPerSecond)
      : thread_([this, Master, &Bytes, BytesPerSecond] { Run(Master, Bytes, BytesPerSecond); }) {}
  ~SteadyWriter() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  uint64_t Written() const { return written_; }

 private:
  void Run(int Master, const std::string& Bytes, double BytesPerSecond) {
    constexpr size_t Piece = 16384;
    const auto start = std::chrono::steady_clock::now();
    for (size_t at = 0;; at = (at + Piece) % Bytes.size()) {
      WriteAll(Master, Bytes.substr(at, Piece));
      written_ += std::min(Piece, Bytes.size() - at);
      const auto due = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                   std::chrono::duration<double>(written_ / BytesPerSecond));
      std::unique_lock<std::mutex> lock(mutex_);
      if (wake_.wait_until(lock, due, [this] { return stop_; })) return;
    }
  }

  std::atomic<uint64_t> written_{0};
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

// Memory over a long flood with a text log and Timestamps on; the display changes at
// every sample so that each of them runs for a while.
int MeasureMemory(TfrmTerm* Term, int Master, BenchDialogs& Dialogs, double Minutes, double Rate) {
  QTemporaryDir logDir;
  StartLog(Term, Dialogs, QDir(logDir.path()).filePath("soak.log"));
  Term->View->Timestamps1->setChecked(true);
  const Flood flood = PlainFlood("soak", false);
  const int samples = 20;
  const int intervalMs = std::max(1000, static_cast<int>(Minutes * 60000 / samples));
  const char* const displays[] = {"plain", "ansi", "hex"};
  std::printf("memory over %.1f minutes of flood at %.0f bytes/s, text log and Timestamps on\n", Minutes, Rate);
  std::printf("%8s %10s %12s %14s %8s  display next\n", "time s", "RSS KiB", "pane chars", "received", "log MiB");
  std::vector<long> resident;
  QElapsedTimer clock;
  clock.start();
  SteadyWriter writer(Master, flood.Bytes, Rate);
  QEventLoop loop;
  QTimer sample;
  int n = 0;
  QObject::connect(&sample, &QTimer::timeout, [&] {
    resident.push_back(ResidentKiB());
    const char* next = displays[++n % 3];
    std::printf("%8.0f %10ld %12d %14llu %8.1f  %s\n", clock.elapsed() / 1000.0, resident.back(),
                TerminalPane(Term->mmoTerm).Length(), static_cast<unsigned long long>(writer.Written()),
                QFileInfo(QDir(logDir.path()).filePath("soak.log")).size() / 1048576.0, next);
    std::fflush(stdout);
    Term->View->HexView1->setChecked(false);
    Term->Console->ANSITerminal1->setChecked(next == displays[1]);
    Term->View->HexView1->setChecked(next == displays[2]);
    if (n == samples) loop.quit();
  });
  sample.start(intervalMs);
  loop.exec();
  EndLog(Term);
  const long first = resident.size() > 2 ? resident[1] : resident.front();
  const long highest = *std::max_element(resident.begin() + 1, resident.end());
  std::printf("resident memory: %ld KiB at the second sample, %ld KiB at the end, highest after it %ld KiB: "
              "%+ld KiB over the run\n",
              first, resident.back(), highest, resident.back() - first);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  TarvikApplication app(argc, argv);
  QTemporaryDir settingsDir;
  SetSettingsFilePath(QDir(settingsDir.path()).filePath("tarvik-33.ini").toStdString());
  BenchDialogs dialogs;
  double memoryMinutes = 0, rate = 2e6;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--memory") memoryMinutes = i + 1 < argc && argv[i + 1][0] != '-' ? std::atof(argv[++i]) : 10;
    else if (arg == "--rate" && i + 1 < argc) rate = std::atof(argv[++i]);
  }

  int master = -1, slave = -1;
  termios raw;
  cfmakeraw(&raw);
  if (openpty(&master, &slave, nullptr, &raw, nullptr) != 0) {
    std::perror("openpty");
    return 1;
  }

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
  if (memoryMinutes > 0) {
    const int result = MeasureMemory(term, master, dialogs, memoryMinutes, rate);
    term->SerComm1->Close();
    close(master);
    close(slave);
    return result;
  }

  const Flood plain = PlainFlood("plain", false);
  // The window's first text lays out fonts and fills caches: not charged to the anchor.
  Flood warmUp = PlainFlood("warm-up", false);
  warmUp.Bytes.erase(0, warmUp.Bytes.size() - (1u << 20));
  warmUp.Bytes.erase(0, warmUp.Bytes.find('\n') + 1);
  warmUp.Shown = warmUp.Bytes;
  bool good = Measure(term, master, warmUp, true).Good;
  // The same flood with each log running, in rounds with the plain display between them
  // so that a shared machine's changing load falls on all three alike; the medians count.
  constexpr int Rounds = 3;
  QTemporaryDir logDir;
  std::vector<double> plainRates, rawRates, textRates;
  for (int round = 0; round < Rounds; ++round) {
    plainRates.push_back(Measure(term, master, plain).BytesPerSecond);
    for (const char* name : {"raw-log.bin", "text-log.log"}) {
      const QString path = QDir(logDir.path()).filePath(name);
      StartLog(term, dialogs, path);
      Flood logged = plain;
      logged.Name = name[0] == 'r' ? "raw-log" : "text-log";
      const Figures figures = Measure(term, master, logged);
      EndLog(term);
      good = good && figures.Good;
      (name[0] == 'r' ? rawRates : textRates).push_back(figures.BytesPerSecond);
      std::printf("         %.0f %% of the plain display's rate in this round; log %.1f MiB",
                  100 * figures.BytesPerSecond / plainRates.back(), QFileInfo(path).size() / 1048576.0);
      if (name[0] == 'r') {
        const bool exact = FileBytes(path) == plain.Bytes;
        good = good && exact;
        std::printf(", byte-exact: %s", exact ? "yes" : "NO");
      }
      std::printf("\n");
    }
  }
  const double anchor = Median(plainRates);
  std::printf("medians of %d rounds: plain %.2f MB/s, raw log %.2f MB/s (%.0f %%), text log %.2f MB/s (%.0f %%)\n",
              Rounds, anchor / 1e6, Median(rawRates) / 1e6, 100 * Median(rawRates) / anchor,
              Median(textRates) / 1e6, 100 * Median(textRates) / anchor);

  term->View->Timestamps1->setChecked(true);
  Flood timed = plain;
  timed.Name = "times";
  const Figures timedFigures = Measure(term, master, timed);
  term->View->Timestamps1->setChecked(false);
  good = good && timedFigures.Good;
  std::printf("         %.0f %% of the plain display's rate\n", 100 * timedFigures.BytesPerSecond / anchor);

  const Figures hex = Measure(term, master, HexFlood(plain));
  const bool hexMeets = hex.BytesPerSecond >= 5e6 && hex.LongestGapMs <= 50;
  good = good && hex.Good;
  std::printf("         %.0f %% of the plain display's rate; at least 5 MB/s with no gap over 50 ms: %s\n",
              100 * hex.BytesPerSecond / anchor, hexMeets ? "yes" : "NO");

  // Pieces small enough that every row is put and the partial row completed in place,
  // as at a real line's rates; handed to the view directly.
  {
    SetDisplay(term, false, true);
    constexpr size_t Piece = 4096;
    QElapsedTimer clock;
    clock.start();
    qint64 longest = 0;
    for (size_t at = 0; at < plain.Bytes.size(); at += Piece) {
      const qint64 start = clock.nsecsElapsed();
      term->View->ShowHex(std::string_view(plain.Bytes).substr(at, Piece));
      longest = std::max(longest, clock.nsecsElapsed() - start);
    }
    const double seconds = clock.nsecsElapsed() / 1e9;
    const bool isEnd = term->mmoTerm->document()->lastBlock().text() == QString::fromLatin1(HexFlood(plain).FinalRow);
    std::printf("hex-4k   %zu bytes in pieces of %zu handed to the hex view: %.0f bytes/s, the longest piece %.1f ms; "
                "ends with the last row: %s\n",
                plain.Bytes.size(), Piece, plain.Bytes.size() / seconds, longest / 1e6, isEnd ? "yes" : "NO");
    good = good && isEnd;
  }

  double worst = 1e300;
  for (const Flood& flood : {PlainFlood("ansi", true), EspIdfFlood(), RedrawFlood()}) {
    const Figures figures = Measure(term, master, flood);
    good = good && figures.Good;
    worst = std::min(worst, figures.BytesPerSecond);
    if (flood.Bytes == plain.Bytes)
      std::printf("         plain text with ANSI Terminal on: %.0f %% of the plain display's rate\n",
                  100 * figures.BytesPerSecond / anchor);
  }
  std::printf("slowest flood with ANSI Terminal on: %.2f MB/s\n", worst / 1e6);

  term->SerComm1->Close();
  close(master);
  close(slave);
  return good ? 0 : 1;
}
