// SPDX-License-Identifier: GPL-3.0-or-later
// Figures for the serial devices themselves, below the port component:
//   16 MiB through the virtual line and through a pseudo-terminal, each byte checked
//   (MB/s, process CPU seconds); the wake-up latency of the event wait on a
//   pseudo-terminal; the CPU an idle waiting port uses.
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/SerialDevice.h"
#include "platform/VirtualLine.h"
#include "platform/WaitEvent.h"

using Clock = std::chrono::steady_clock;

namespace {

constexpr size_t Total = 16u << 20;
constexpr int Chunk = 65536;

double CpuSeconds() {
  rusage u;
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

uint8_t Pattern(size_t I) { return static_cast<uint8_t>(I * 131 + (I >> 11)); }

DCB Dcb() {
  DCB d;
  d.BaudRate = 115200;
  d.Flags = DCB_fBinary;
  d.ByteSize = 8;
  return d;
}

std::unique_ptr<SerialDevice> Open(const std::string& Path) {
  int error = 0;
  auto d = OpenSerialDevice(Path, error);
  if (!d) {
    std::fprintf(stderr, "cannot open %s: %s\n", Path.c_str(), SystemErrorText(error).c_str());
    std::exit(1);
  }
  d->SetCommState(Dcb());
  d->SetupComm(Chunk, Chunk);
  return d;
}

// Reads Total bytes the way the event thread and a handler do: wait, then read all.
bool Receive(SerialDevice& Device) {
  Device.SetCommMask(EV_RXCHAR);
  WaitEvent stop;
  std::vector<uint8_t> buffer(Chunk);
  size_t got = 0;
  bool intact = true;
  while (got < Total) {
    uint32_t events = 0;
    if (!Device.WaitCommEvent(events, stop)) return false;
    for (;;) {
      int n = 0;
      Device.ReadFile(buffer.data(), Chunk, n);
      if (n == 0) break;
      for (int i = 0; i < n; ++i) intact &= buffer[i] == Pattern(got + i);
      got += n;
    }
  }
  return intact;
}

template <typename Send>
void Throughput(const char* Name, SerialDevice& Receiver, Send&& Sender) {
  const double cpu = CpuSeconds();
  const auto start = Clock::now();
  std::thread sender(Sender);
  const bool intact = Receive(Receiver);
  sender.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("%-34s %8.1f MB/s  %6.2f CPU s  %s\n", Name, Total / seconds / 1e6,
              CpuSeconds() - cpu, intact ? "every byte checked" : "DATA MISMATCH");
}

std::vector<uint8_t> Data() {
  std::vector<uint8_t> data(Total);
  for (size_t i = 0; i < Total; ++i) data[i] = Pattern(i);
  return data;
}

void VirtualLineThroughput(const std::vector<uint8_t>& Data) {
  auto line = VirtualLine::Create("bench");
  auto a = Open(line->Path(VirtualLine::A));
  auto b = Open(line->Path(VirtualLine::B));
  Throughput("virtual line, device to device", *b, [&] {
    for (size_t done = 0; done < Total; done += Chunk) {
      int written = 0, by = 0;
      a->WriteFile(Data.data() + done, Chunk, written, -1, {}, by);
    }
  });
}

int OpenMaster(std::string& SlavePath) {
  int master = -1, slave = -1;
  char name[128];
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) std::exit(1);
  termios t;
  tcgetattr(master, &t);
  cfmakeraw(&t);
  tcsetattr(master, TCSANOW, &t);
  close(slave);
  SlavePath = name;
  return master;
}

void PtyThroughput(const std::vector<uint8_t>& Data) {
  std::string path;
  const int master = OpenMaster(path);
  auto device = Open(path);
  Throughput("pseudo-terminal, far end to device", *device, [&] {
    size_t done = 0;
    while (done < Total) {  // blocking writes: the kernel paces the sender
      const ssize_t n = write(master, Data.data() + done, std::min<size_t>(Chunk, Total - done));
      if (n <= 0) break;
      done += n;
    }
  });
  close(master);
}

void PtyLatency() {
  std::string path;
  const int master = OpenMaster(path);
  auto device = Open(path);
  device->SetCommMask(EV_RXCHAR);
  WaitEvent stop;
  std::vector<double> micros;
  for (int i = 0; i < 1000; ++i) {
    Clock::time_point sent;
    std::thread far([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));  // let the wait block
      sent = Clock::now();
      [[maybe_unused]] ssize_t n = write(master, "x", 1);
    });
    uint32_t events = 0;
    device->WaitCommEvent(events, stop);
    const auto woke = Clock::now();
    far.join();
    char c;
    int n = 0;
    device->ReadFile(&c, 1, n);
    micros.push_back(std::chrono::duration<double, std::micro>(woke - sent).count());
  }
  std::sort(micros.begin(), micros.end());
  std::printf("%-34s median %.1f us, 99th percentile %.1f us (%zu samples)\n",
              "pty byte to event wait return", micros[micros.size() / 2],
              micros[micros.size() * 99 / 100], micros.size());
  close(master);
}

void IdleCost() {
  std::string path;
  const int master = OpenMaster(path);
  auto device = Open(path);
  device->SetCommMask(EV_RXCHAR);
  [[maybe_unused]] ssize_t n = write(master, "unread", 6);  // bytes nobody reads
  WaitEvent stop;
  const double cpu = CpuSeconds();
  std::thread waiter([&] {
    uint32_t events = 0;
    while (!stop.IsSet() && device->WaitCommEvent(events, stop)) {
    }
  });
  std::this_thread::sleep_for(std::chrono::seconds(3));
  stop.Set();
  waiter.join();
  std::printf("%-34s %.4f CPU s over 3 s\n", "idle waiting pty, unread bytes", CpuSeconds() - cpu);
  close(master);
}

}  // namespace

int main() {
  const std::vector<uint8_t> data = Data();
  VirtualLineThroughput(data);
  PtyThroughput(data);
  PtyLatency();
  IdleCost();
}
