// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/PacedLine.h"

#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

// One direction: bytes taken from the source master wait here and leave for the
// destination master as the line's rate allows.
struct PacedLine::Way {
  int From = -1, To = -1;
  std::string Buffer;
  double Credit = 0;  // bytes the line could have sent since Last
  Clock::time_point Last = Clock::now();
  bool DestinationFull = false;

  void Read() {
    if (From < 0 || Buffer.size() >= Holds) return;
    char chunk[Holds];
    const ssize_t n = read(From, chunk, Holds - Buffer.size());
    if (n > 0) Buffer.append(chunk, static_cast<size_t>(n));
  }

  // Sends what the line has had time for; returns when to look again (seconds, < 0: only
  // when woken).
  double Send(bool Held, double Rate, Clock::time_point Now, const Observer& Passed, Direction D) {
    const double burst = std::max(1.0, Rate / 1000);  // about a millisecond of line
    if (Held || Buffer.empty() || To < 0) {
      Credit = 0;  // an idle or held line saves nothing up
      Last = Now;
      return -1;
    }
    Credit = Rate <= 0 ? static_cast<double>(Buffer.size())
                       : std::min(Credit + std::chrono::duration<double>(Now - Last).count() * Rate,
                                  std::max(burst, static_cast<double>(Buffer.size())));
    Last = Now;
    const size_t due = std::min(Buffer.size(), static_cast<size_t>(Credit));
    DestinationFull = false;
    if (due > 0) {
      const ssize_t n = write(To, Buffer.data(), due);
      if (n > 0) {
        if (Passed) Passed(D, Buffer.data(), static_cast<size_t>(n));
        Buffer.erase(0, static_cast<size_t>(n));
        Credit -= static_cast<double>(n);
      }
      if (n < static_cast<ssize_t>(due)) {
        DestinationFull = true;  // the far reader is slow: the line waits for it
        Credit = std::min(Credit, burst);
        return -1;
      }
    }
    if (Buffer.empty()) return -1;
    const double want = std::min(static_cast<double>(Buffer.size()), burst);
    return std::max(0.0, (want - Credit) / Rate);
  }
};

PacedLine::PacedLine(double BytesPerSecond, Observer Passed)
    : rate_(BytesPerSecond), passed_(std::move(Passed)) {
  relay_ = std::thread([this] { Relay(); });
}

PacedLine::~PacedLine() {
  stop_ = true;
  wake_.Set();
  relay_.join();
}

void PacedLine::Hold(Direction D, bool On) {
  std::lock_guard<std::mutex> lock(mutex_);
  held_[D] = On;
  wake_.Set();
}

void PacedLine::HangUpNear() {
  std::lock_guard<std::mutex> lock(mutex_);
  nearGone_ = true;
  wake_.Set();
}

void PacedLine::SendFromFar(const std::string& Bytes) {
  size_t sent = 0;
  while (sent < Bytes.size()) {
    const ssize_t n = write(far_.Slave, Bytes.data() + sent, Bytes.size() - sent);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
}

std::string PacedLine::ReceiveAtFar(size_t Count, int TimeoutMs) {
  return PtyPair::ReadFrom(far_.Slave, Count, TimeoutMs);
}

void PacedLine::Relay() {
  pthread_setname_np(pthread_self(), "paced-relay");
  Way ways[2];
  ways[NearToFar].From = ways[FarToNear].To = near_.Master;
  ways[FarToNear].From = ways[NearToFar].To = far_.Master;
  while (!stop_) {
    bool held[2];
    {
      std::lock_guard<std::mutex> lock(mutex_);
      wake_.Reset();
      held[0] = held_[0];
      held[1] = held_[1];
      if (nearGone_ && near_.Master >= 0) {
        near_.CloseMaster();
        ways[NearToFar].From = ways[FarToNear].To = -1;
      }
    }
    const auto now = Clock::now();
    double next = -1;
    for (int d = 0; d < 2; ++d) {
      ways[d].Read();
      const double at = ways[d].Send(held[d], rate_, now, passed_, static_cast<Direction>(d));
      if (at >= 0 && (next < 0 || at < next)) next = at;
    }
    std::vector<pollfd> fds{{wake_.Fd(), POLLIN, 0}};
    for (const Way& w : ways) {
      if (w.From >= 0 && w.Buffer.size() < Holds) fds.push_back({w.From, POLLIN, 0});
      if (w.DestinationFull) fds.push_back({w.To, POLLOUT, 0});
    }
    timespec wait{};
    if (next >= 0) {
      wait.tv_sec = static_cast<time_t>(next);
      wait.tv_nsec = static_cast<long>((next - std::floor(next)) * 1e9);
    }
    ppoll(fds.data(), fds.size(), next >= 0 ? &wait : nullptr, nullptr);
  }
}
