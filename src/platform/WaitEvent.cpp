// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/WaitEvent.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Polls Fds until one is readable; restarts after a signal with the time that is left.
int PollRestarting(std::vector<pollfd>& Fds, int TimeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs);
  for (;;) {
    int wait = TimeoutMs;
    if (TimeoutMs >= 0) {
      auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      wait = left > 0 ? static_cast<int>(left) : 0;
    }
    const int r = poll(Fds.data(), Fds.size(), wait);
    if (r >= 0 || errno != EINTR) return r;
  }
}

}  // namespace

WaitEvent::WaitEvent() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

WaitEvent::~WaitEvent() {
  if (fd_ >= 0) close(fd_);
}

void WaitEvent::Set() {
  const uint64_t one = 1;
  // A full counter (never reached in practice) still leaves the event readable.
  [[maybe_unused]] ssize_t n = write(fd_, &one, sizeof one);
}

void WaitEvent::Reset() {
  uint64_t count;
  [[maybe_unused]] ssize_t n = read(fd_, &count, sizeof count);
}

bool WaitEvent::IsSet() const { return Wait(0) == Signaled; }

WaitEvent::Result WaitEvent::Wait(int TimeoutMs) const {
  std::vector<pollfd> fds{{fd_, POLLIN, 0}};
  const int r = PollRestarting(fds, TimeoutMs);
  if (r < 0) return Failed;
  if (r == 0) return Timeout;
  if (fds[0].revents & POLLIN) return Signaled;
  errno = EBADF;
  return Failed;
}

int WaitForAny(std::initializer_list<const WaitEvent*> Events, int TimeoutMs) {
  return WaitForAny(Events, TimeoutMs, -1);
}

int WaitForAny(std::initializer_list<const WaitEvent*> Events, int TimeoutMs, int ReadableFd) {
  std::vector<pollfd> fds;
  fds.reserve(Events.size() + 1);
  for (const WaitEvent* e : Events) fds.push_back({e->Fd(), POLLIN, 0});
  if (ReadableFd >= 0) fds.push_back({ReadableFd, POLLIN, 0});
  const int r = PollRestarting(fds, TimeoutMs);
  if (r < 0) return -2;
  if (r == 0) return -1;
  for (size_t i = 0; i < Events.size(); ++i)
    if (fds[i].revents & POLLIN) return static_cast<int>(i);
  if (ReadableFd >= 0 && fds.back().revents != 0) return static_cast<int>(Events.size());
  errno = EBADF;
  return -2;
}
