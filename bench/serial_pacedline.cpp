// SPDX-License-Identifier: GPL-3.0-or-later
// Writes through a line that pushes back: 1 MiB of text with WriteBuf in 1 KiB pieces,
// through the paced pseudo-terminal line at 115200 and at 1000000 baud, with the
// terminal's queue size. Prints the throughput as a share of the line rate, the CPU of
// the process without the line's relay, and the longest time one WriteBuf waited.
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "framework/Threads.h"
#include "support/TerminalPort.h"
#include "support/PacedLine.h"
#include "support/Usage.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kText = 1u << 20;
constexpr int kPiece = 1024;

std::string Text() {
  std::string text;
  for (int line = 0; text.size() < kText; ++line)
    text += "10 PRINT \"LINE " + std::to_string(line) + "\": GOTO 10\r\n";
  text.resize(kText);
  return text;
}

double CpuWithout(const std::map<int, ThreadSwitches>& Before, const std::string& Name) {
  double cpu = 0;
  for (const auto& [tid, thread] : SwitchesSince(Before))
    if (thread.Name != Name) cpu += thread.CpuSeconds;
  return cpu;
}

void WriteThrough(int Baud) {
  PacedLine line(Baud / 10.0);
  TSerComm port(nullptr);
  ConfigureAsTerminal(port, line.NearPath(), Baud);
  port.Open();
  const std::string text = Text();
  std::string got;
  Clock::time_point lastByte;
  std::atomic<bool> done{false};
  std::thread reader([&] {
    pthread_setname_np(pthread_self(), "far-reader");
    while (got.size() < text.size()) {
      const std::string more = line.ReceiveAtFar(text.size() - got.size(), 5000);
      if (more.empty()) break;
      got += more;
      lastByte = Clock::now();
    }
    done = true;
  });
  const auto threads = SwitchesByThread();
  const auto start = Clock::now();
  double longestWait = 0;
  for (size_t i = 0; i < text.size(); i += kPiece) {
    const auto before = Clock::now();
    port.WriteBuf(text.data() + i, kPiece);
    longestWait = std::max(longestWait, std::chrono::duration<double>(Clock::now() - before).count());
  }
  while (!done) CheckSynchronize(100);
  reader.join();
  const double cpu = CpuWithout(threads, "paced-relay");
  port.Close();
  const double seconds = std::chrono::duration<double>(lastByte - start).count();
  std::printf("%7d baud, 1 MiB in 1 KiB WriteBuf pieces: %.2f %% of the line rate (%.1f s), "
              "%.2f CPU s, longest WriteBuf wait %.0f ms, %s\n",
              Baud, 100.0 * text.size() / seconds / (Baud / 10.0), seconds, cpu,
              longestWait * 1000, got == text ? "text intact" : "TEXT DAMAGED");
}

}  // namespace

int main() {
  WriteThrough(115200);
  WriteThrough(1000000);
  return 0;
}
