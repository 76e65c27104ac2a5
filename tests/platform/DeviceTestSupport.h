// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for the device tests: the control block the port builds, and what an idle
// event wait costs.
#pragma once

#include <time.h>

#include <chrono>
#include <thread>

#include "platform/SerialDevice.h"
#include "support/PtyPair.h"
#include "platform/WaitEvent.h"

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

