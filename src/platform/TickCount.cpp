// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/TickCount.h"

#include <time.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>
#include <mutex>

namespace {

std::mutex sourceMutex;
std::shared_ptr<const std::function<uint32_t()>> source;  // guarded by sourceMutex
std::atomic<bool> hasSource{false};

uint32_t ClockTick() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + ts.tv_nsec / 1000000;
  return static_cast<uint32_t>(ms);
}

}  // namespace

uint32_t GetTickCount() {
  if (!hasSource.load(std::memory_order_acquire)) return ClockTick();
  std::shared_ptr<const std::function<uint32_t()>> fn;
  {
    std::lock_guard<std::mutex> lock(sourceMutex);
    fn = source;
  }
  return fn ? (*fn)() : ClockTick();
}

void SetTickSource(std::function<uint32_t()> Source) {
  std::lock_guard<std::mutex> lock(sourceMutex);
  if (Source)
    source = std::make_shared<const std::function<uint32_t()>>(std::move(Source));
  else
    source.reset();
  hasSource.store(source != nullptr, std::memory_order_release);
}

int MsUntil(std::chrono::steady_clock::time_point When) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(When - std::chrono::steady_clock::now()).count();
  return left > 0 ? static_cast<int>(std::min<long long>(left, 1 << 30)) : 0;
}

void SleepMs(int Ms) {
  if (Ms <= 0) return;
  timespec left{Ms / 1000, (Ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}
