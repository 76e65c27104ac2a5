// A pseudo-terminal pair for tests: the far end is the master, the slave is opened as
// the device under test by its path.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <string>

#include "platform/SerialDevice.h"
#include "platform/WaitEvent.h"

struct PtyPair {
  int Master = -1;
  std::string SlavePath;

  PtyPair() {
    int slave = -1;
    char name[128];
    if (openpty(&Master, &slave, name, nullptr, nullptr) != 0) return;
    SlavePath = name;
    termios t;
    tcgetattr(Master, &t);
    cfmakeraw(&t);
    tcsetattr(Master, TCSANOW, &t);
    close(slave);
    fcntl(Master, F_SETFL, fcntl(Master, F_GETFL) | O_NONBLOCK);
  }
  ~PtyPair() { CloseMaster(); }

  void CloseMaster() {
    if (Master >= 0) close(Master);
    Master = -1;
  }
  void Send(const std::string& Bytes) const {
    [[maybe_unused]] ssize_t n = write(Master, Bytes.data(), Bytes.size());
  }
  // Reads from the master until Count bytes came or TimeoutMs passed.
  std::string Receive(size_t Count, int TimeoutMs = 5000) const {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    while (got.size() < Count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{Master, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      char buffer[4096];
      const ssize_t n = read(Master, buffer, sizeof buffer);
      if (n <= 0) break;
      got.append(buffer, static_cast<size_t>(n));
    }
    return got;
  }
};

// A block as the port builds it: 8N1, binary, the given rate.
inline DCB PlainDcb(uint32_t Rate = 115200) {
  DCB d;
  d.BaudRate = Rate;
  d.Flags = DCB_fBinary;
  d.ByteSize = 8;
  d.XonChar = 17;
  d.XoffChar = 19;
  d.XonLim = 1024;
  d.XoffLim = 1024;
  return d;
}

inline double ThreadCpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

// What an event wait does over Ms milliseconds with nothing to report: how often it
// returned and the CPU its thread used.
struct IdleWait {
  int Wakeups = 0;
  double CpuSeconds = 0;
};
inline IdleWait MeasureIdleWait(SerialDevice& Device, int Ms) {
  WaitEvent stop;
  IdleWait result;
  std::thread waiter([&] {
    const double start = ThreadCpuSeconds();
    uint32_t events = 0;
    while (!stop.IsSet() && Device.WaitCommEvent(events, stop)) ++result.Wakeups;
    result.CpuSeconds = ThreadCpuSeconds() - start;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(Ms));
  stop.Set();
  waiter.join();
  return result;
}

