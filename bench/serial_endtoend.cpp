// SPDX-License-Identifier: GPL-3.0-or-later
// End-to-end figures of the port on a pseudo-terminal: WriteChar throughput to the far
// end, receive latency to OnRxChar on the main thread, receive throughput through
// ReadText, and the CPU and thread wake-ups of an idle open port.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "framework/Threads.h"
#include "platform/VirtualLine.h"
#include "serial/SerComm.h"
#include "support/PtyPair.h"
#include "support/Usage.h"
#include "support/TerminalPort.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kBulk = 16u << 20;

uint8_t PatternByte(size_t i) { return static_cast<uint8_t>((i * 131u + (i >> 12)) & 0xFF); }


void RunDeliveriesUntil(const std::atomic<bool>& Done) {
  while (!Done) CheckSynchronize(100);
}

void WriteCharThroughput() {
  PtyPair pty(true);
  TSerComm port(nullptr);
  ConfigureAsTerminal(port, pty.SlavePath);
  port.Open();
  std::atomic<bool> done{false};
  size_t received = 0;
  bool intact = true;
  std::thread reader([&] {
    std::vector<uint8_t> buffer(65536);
    while (received < kBulk) {
      ssize_t n = read(pty.Master, buffer.data(), buffer.size());
      if (n <= 0) break;
      for (ssize_t i = 0; i < n; ++i) intact &= buffer[i] == PatternByte(received + i);
      received += static_cast<size_t>(n);
    }
    done = true;
  });
  const auto start = Clock::now();
  for (size_t i = 0; i < kBulk; ++i) port.WriteChar(static_cast<char>(PatternByte(i)));
  const double queued = std::chrono::duration<double>(Clock::now() - start).count();
  RunDeliveriesUntil(done);
  const double total = std::chrono::duration<double>(Clock::now() - start).count();
  reader.join();
  port.Close();
  std::printf("WriteChar, 16 MiB: %.1f ns per call (queueing), %.2f MB/s at the far end, %s\n",
              queued * 1e9 / kBulk, kBulk / total / 1e6, intact ? "all bytes intact" : "CORRUPT");
}

void ReceiveLatency() {
  PtyPair pty;
  TSerComm port(nullptr);
  ConfigureAsTerminal(port, pty.SlavePath);
  std::mutex mutex;
  std::condition_variable seen;
  Clock::time_point arrived;
  bool got = false;
  port.OnRxChar = [&](TObject*, int) {
    port.ReadText();
    std::lock_guard<std::mutex> lock(mutex);
    arrived = Clock::now();
    got = true;
    seen.notify_all();
  };
  port.Open();
  constexpr int kRounds = 2000;
  std::vector<double> micros;
  std::atomic<bool> done{false};
  std::thread farEnd([&] {
    for (int i = 0; i < kRounds; ++i) {
      std::unique_lock<std::mutex> lock(mutex);
      got = false;
      const auto sent = Clock::now();
      write(pty.Master, "L", 1);
      seen.wait(lock, [&] { return got; });
      micros.push_back(std::chrono::duration<double, std::micro>(arrived - sent).count());
    }
    done = true;
  });
  RunDeliveriesUntil(done);
  farEnd.join();
  port.Close();
  std::sort(micros.begin(), micros.end());
  std::printf("Receive latency to OnRxChar (%d bytes): median %.1f us, p99 %.1f us\n", kRounds,
              micros[micros.size() / 2], micros[micros.size() * 99 / 100]);
}

void ReceiveThroughput() {
  PtyPair pty(true);
  TSerComm port(nullptr);
  ConfigureAsTerminal(port, pty.SlavePath);
  size_t received = 0;
  bool intact = true;
  std::atomic<bool> done{false};
  port.OnRxChar = [&](TObject*, int) {
    const std::string text = port.ReadText();
    for (size_t i = 0; i < text.size(); ++i)
      intact &= static_cast<uint8_t>(text[i]) == PatternByte(received + i);
    received += text.size();
    if (received >= kBulk) done = true;
  };
  port.Open();
  std::vector<uint8_t> bulk(kBulk);
  for (size_t i = 0; i < kBulk; ++i) bulk[i] = PatternByte(i);
  const double cpuBefore = CpuSeconds();
  const auto start = Clock::now();
  std::thread farEnd([&] {
    size_t sent = 0;
    while (sent < kBulk) {
      ssize_t n = write(pty.Master, bulk.data() + sent, std::min<size_t>(65536, kBulk - sent));
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
  });
  RunDeliveriesUntil(done);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const double cpu = CpuSeconds() - cpuBefore;
  farEnd.join();
  port.Close();
  std::printf("Receive 16 MiB via OnRxChar + ReadText: %.2f MB/s, %.2f CPU s in %.2f s, %s\n",
              kBulk / seconds / 1e6, cpu, seconds, intact ? "every byte checked" : "CORRUPT");
}

enum IdleState { idleQuiet, idleUnread, idleHungUp };

void Idle(const std::string& Path, TSerCommEvents Events, IdleState State, const char* What,
          PtyPair* Pty = nullptr) {
  TSerComm port(nullptr);
  ConfigureAsTerminal(port, Path);
  port.SetMonitorEvents(Events);
  int deliveries = 0;
  port.OnRxChar = [&](TObject*, int) { ++deliveries; };  // leaves the bytes unread
  port.Open();
  if (State == idleUnread) Pty->Send("unread bytes");
  if (State == idleHungUp) Pty->CloseMaster();
  CheckSynchronize(200);
  const auto switches = SwitchesByThread();
  const double before = CpuSeconds();
  const auto end = Clock::now() + std::chrono::seconds(5);
  while (Clock::now() < end) CheckSynchronize(1000);
  std::printf("Idle open port for 5 s (%s): %.3f CPU s, port threads woke %ld times, %d deliveries\n",
              What, CpuSeconds() - before, OtherThreadsWakeups(switches), deliveries);
  port.Close();
}

void IdleOnPty(TSerCommEvents Events, IdleState State, const char* What) {
  PtyPair pty;
  Idle(pty.SlavePath, Events, State, What, &pty);
}

}  // namespace

int main() {
  WriteCharThroughput();
  ReceiveLatency();
  ReceiveThroughput();
  const TSerCommEvents terminal = SerEvents({ceRxChar, ceTxEmpty});
  const TSerCommEvents defaults = SerEvents({ceError, ceRxChar, ceTxEmpty});
  IdleOnPty(terminal, idleQuiet, "pty, terminal's events");
  IdleOnPty(defaults, idleQuiet, "pty, default events");
  IdleOnPty(terminal, idleUnread, "pty, received bytes left unread");
  IdleOnPty(terminal, idleHungUp, "pty, far end hung up");
  auto line = VirtualLine::Create("idle");
  Idle(line->Path(VirtualLine::A), defaults, idleQuiet, "virtual line, default events");
  return 0;
}
