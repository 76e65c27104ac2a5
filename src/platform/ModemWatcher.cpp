// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ModemWatcher.h"

#include <pthread.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <chrono>
#include <csignal>

namespace {

// Interrupts the blocking wait; the handler itself does nothing.
int WakeSignal() { return SIGRTMIN + 1; }

void InstallWakeHandler() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_handler = [](int) {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: the ioctl returns EINTR
    sigaction(WakeSignal(), &action, nullptr);
  });
}

}  // namespace

ModemWatcher::ModemWatcher(int Fd, std::function<void()> Changed)
    : fd_(Fd), changed_(std::move(Changed)) {
  InstallWakeHandler();
  thread_ = std::thread([this] { Watch(); });
}

ModemWatcher::~ModemWatcher() {
  stop_ = true;
  std::unique_lock<std::mutex> lock(mutex_);
  // A signal sent just before the thread enters the ioctl is lost: send again until it
  // has left.
  while (!done_) {
    pthread_kill(thread_.native_handle(), WakeSignal());
    ended_.wait_for(lock, std::chrono::milliseconds(10));
  }
  lock.unlock();
  thread_.join();
}

void ModemWatcher::Watch() {
  const int lines = TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RNG;
  while (!stop_) {
    if (ioctl(fd_, TIOCMIWAIT, lines) == 0) {
      if (!stop_) changed_();
    } else if (errno != EINTR) {
      break;  // no such wait on this device, or it hung up
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  done_ = true;
  ended_.notify_all();
}
