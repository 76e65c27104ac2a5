// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/network/NetworkConnect.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "platform/TickCount.h"

namespace {

using Clock = std::chrono::steady_clock;

std::mutex waitMutex;
NetworkOpenWait openWait;

// Small writes go out at once; a server that vanishes without a word is found by TCP's
// own keep-alive probes, which wake nothing here.
void SetUpForSerialLine(int Fd) {
  const int on = 1, idle = 30, interval = 10, probes = 3;
  setsockopt(Fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  setsockopt(Fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  setsockopt(Fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  setsockopt(Fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  setsockopt(Fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
}

// 0 when connected; otherwise the reason.
int ConnectOne(int Fd, const addrinfo& Address, Clock::time_point Deadline, const WaitEvent& Cancel) {
  if (connect(Fd, Address.ai_addr, Address.ai_addrlen) == 0) return 0;
  if (errno != EINPROGRESS) return errno;
  for (;;) {
    pollfd fds[] = {{Fd, POLLOUT, 0}, {Cancel.Fd(), POLLIN, 0}};
    const int r = poll(fds, 2, MsUntil(Deadline));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return errno;
    if (r == 0 || (fds[1].revents & POLLIN)) return ETIMEDOUT;
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(Fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
    return error;
  }
}

}  // namespace

int ConnectSocket(const NetworkAddress& Address, Clock::time_point Deadline, const WaitEvent& Cancel,
                  int& Error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int resolved = getaddrinfo(Address.Host.c_str(), Address.Service.c_str(), &hints, &found);
  if (resolved != 0) {
    Error = resolved == EAI_SYSTEM ? errno : resolved;
    return -1;
  }
  Error = ECONNREFUSED;
  int fd = -1;
  for (const addrinfo* a = found; a && fd < 0; a = a->ai_next) {
    if (Clock::now() >= Deadline || Cancel.IsSet()) {
      Error = ETIMEDOUT;
      break;
    }
    fd = socket(a->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
      Error = errno;
      continue;
    }
    if (const int error = ConnectOne(fd, *a, Deadline, Cancel)) {
      Error = error;
      close(fd);
      fd = -1;
    }
  }
  freeaddrinfo(found);
  if (fd >= 0) {
    SetUpForSerialLine(fd);
    Error = 0;
  }
  return fd;
}

void SetNetworkOpenWait(NetworkOpenWait Wait) {
  std::lock_guard<std::mutex> lock(waitMutex);
  openWait = std::move(Wait);
}

void WaitForNetworkOpen(const WaitEvent& Done, int TimeoutMs) {
  NetworkOpenWait wait;
  {
    std::lock_guard<std::mutex> lock(waitMutex);
    wait = openWait;
  }
  if (wait)
    wait(Done, TimeoutMs);
  else
    Done.Wait(TimeoutMs);
}
