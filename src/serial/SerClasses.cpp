// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/SerClasses.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/SerialDevice.h"
#include "platform/TickCount.h"

void TSerPersistent::BeginUpdate() { ++updateCount_; }

void TSerPersistent::EndUpdate() {
  if (updateCount_ > 0) --updateCount_;
  Changed();
}

void TSerPersistent::Changed() {
  if (updateCount_ == 0 && OnChange) OnChange(this);
}

TSerWaitResult TSerWaitEvent::WaitFor(uint32_t TimeoutMs) {
  int timeout = TimeoutMs == MAXDWORD ? -1
                : TimeoutMs > static_cast<uint32_t>(INT_MAX) ? INT_MAX
                                                             : static_cast<int>(TimeoutMs);
  switch (event_.Wait(timeout)) {
    case WaitEvent::Signaled:
      return wrSignaled;
    case WaitEvent::Timeout:
      return wrTimeout;
    default:
      lastError_ = static_cast<uint32_t>(errno);
      return wrError;
  }
}

TSerCommBuffer::TSerCommBuffer(int Capacity)
    : data_(new uint8_t[Capacity > 0 ? Capacity : 1]) {}

void TSerCommBuffer::Append(const void* Src, int Count) {
  std::memcpy(data_.get() + size_, Src, Count);
  size_ += Count;
}

void TSerCommBuffer::Peek(void* Dest, int Count) const { std::memcpy(Dest, data_.get(), Count); }

void TSerCommBuffer::Extract(void* Dest, int Count) {
  Peek(Dest, Count);
  Remove(Count);
}

void TSerCommBuffer::Remove(int Count) {
  std::memmove(data_.get(), data_.get() + Count, size_ - Count);
  size_ -= Count;
}

void TimerStart(TSerTimer& Timer, uint32_t Limit) {
  Timer.Start = GetTickCount();
  Timer.Limit = Limit;
}

uint32_t TimerElapsed(const TSerTimer& Timer) {
  uint32_t now = GetTickCount();
  if (now >= Timer.Start) return now - Timer.Start;
  return now + (0xFFFFFFFFu - Timer.Start);
}

bool TimerExpired(const TSerTimer& Timer) { return TimerElapsed(Timer) > Timer.Limit; }

std::string IncludeBackslash(const std::string& Path) {
  if (Path.empty() || Path.back() == '/') return Path;
  return Path + "/";
}

namespace {

bool FileExists(const std::string& Name) {
  struct stat st;
  return lstat(Name.c_str(), &st) == 0;
}

}  // namespace

std::string UniqueFileName(const std::string& FileName) {
  const size_t slash = FileName.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : FileName.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? FileName : FileName.substr(slash + 1);
  const size_t dot = name.rfind('.');
  const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
  const std::string ext = dot == std::string::npos ? "" : name.substr(dot);

  std::string candidate = IncludeBackslash(dir) + stem + ext;
  for (int n = 1; FileExists(candidate); ++n)
    candidate = dir + stem + "-" + std::to_string(n) + ext;
  return candidate;
}
