// SPDX-License-Identifier: GPL-3.0-or-later
// A pseudo-terminal pair for tests and benchmarks: the device under test opens the slave
// by its path, the test plays the far end on the master. Both ends are raw; the pair
// keeps a slave descriptor of its own, so the pty lives on while the device is closed.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

struct PtyPair {
  int Master = -1;
  int Slave = -1;
  std::string SlavePath;

  // A far end played by a program of its own (rx, sx) reads a blocking master.
  explicit PtyPair(bool BlockingMaster = false) {
    termios raw;
    cfmakeraw(&raw);
    char name[128];
    if (openpty(&Master, &Slave, name, &raw, nullptr) != 0) return;
    SlavePath = name;
    fcntl(Master, F_SETFD, FD_CLOEXEC);  // children get only the descriptors given them
    fcntl(Slave, F_SETFD, FD_CLOEXEC);
    if (!BlockingMaster) fcntl(Master, F_SETFL, fcntl(Master, F_GETFL) | O_NONBLOCK);
  }
  ~PtyPair() {
    CloseMaster();
    if (Slave >= 0) close(Slave);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  // Hangs the slave up, as an unplugged adapter does.
  void CloseMaster() {
    if (Master >= 0) close(Master);
    Master = -1;
  }
  void Send(const std::string& Bytes) const {
    [[maybe_unused]] ssize_t n = write(Master, Bytes.data(), Bytes.size());
  }
  // Reads from the master until Count bytes came or TimeoutMs passed.
  std::string Receive(size_t Count, int TimeoutMs = 5000) const { return ReadFrom(Master, Count, TimeoutMs); }

  static std::string ReadFrom(int Fd, size_t Count, int TimeoutMs) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    while (got.size() < Count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{Fd, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      char buffer[4096];
      const ssize_t n = read(Fd, buffer, sizeof buffer);
      if (n < 0 && errno == EAGAIN) continue;
      if (n <= 0) break;
      got.append(buffer, static_cast<size_t>(n));
    }
    return got;
  }
};
