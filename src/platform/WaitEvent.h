// SPDX-License-Identifier: GPL-3.0-or-later
// Manual-reset wait events, pollable (an eventfd each), and waits on one or several.
#pragma once

#include <initializer_list>

class WaitEvent {
 public:
  enum Result { Signaled = 0, Timeout = 1, Failed = 3 };

  WaitEvent();  // not signalled
  ~WaitEvent();
  WaitEvent(const WaitEvent&) = delete;
  WaitEvent& operator=(const WaitEvent&) = delete;

  void Set();
  void Reset();
  bool IsSet() const;
  // TimeoutMs < 0 waits without limit. On Failed, errno tells why.
  Result Wait(int TimeoutMs) const;
  int Fd() const { return fd_; }

 private:
  int fd_;
};

// Waits until one of Events is set. Returns the index of the first set one in list order,
// -1 on timeout (TimeoutMs < 0: no limit), -2 on failure (errno tells why).
int WaitForAny(std::initializer_list<const WaitEvent*> Events, int TimeoutMs);
// The same, also ending when ReadableFd (when >= 0) polls readable, hung up or failed:
// then it returns the number of Events, unless one of them is set too.
int WaitForAny(std::initializer_list<const WaitEvent*> Events, int TimeoutMs, int ReadableFd);
