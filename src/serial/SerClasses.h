// SPDX-License-Identifier: GPL-3.0-or-later
// Building blocks shared by the port and protocol components: change-notifying settings
// objects, wait events, critical sections, a fixed-capacity byte queue, the millisecond
// timer and file-name helpers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "framework/Classes.h"
#include "platform/CriticalSection.h"
#include "platform/WaitEvent.h"

// Integer subranges 0..2147483647.
using TSerIntW = int;
using TSerPortInt = int;

// A settings object that reports every change to its owner, batched by
// BeginUpdate/EndUpdate.
class TSerPersistent : public TPersistent {
 public:
  std::string ClassName() const override { return "TSerPersistent"; }

  void BeginUpdate();
  void EndUpdate();
  // Calls OnChange unless an update is in progress.
  void Changed();

  std::function<void(TObject* Sender)> OnChange;

 private:
  int updateCount_ = 0;
};

class TSerComponent : public TComponent {
 public:
  explicit TSerComponent(TComponent* AOwner) : TComponent(AOwner) {}
  std::string ClassName() const override { return "TSerComponent"; }
};

enum TSerWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError };

// A manual-reset event, not signalled at creation.
class TSerWaitEvent {
 public:
  void SetEvent() { event_.Set(); }
  void ResetEvent() { event_.Reset(); }
  // TimeoutMs MAXDWORD waits without limit.
  TSerWaitResult WaitFor(uint32_t TimeoutMs);
  const WaitEvent& Event() const { return event_; }
  uint32_t LastError() const { return lastError_; }

 private:
  WaitEvent event_;
  uint32_t lastError_ = 0;
};

// Re-entrant for the owning thread.
class TSerCriticalSection {
 public:
  void Enter() { section_.Enter(); }
  void Leave() { section_.Leave(); }
  void lock() { Enter(); }
  void unlock() { Leave(); }

 private:
  CriticalSection section_;
};

// A byte queue in one block of fixed capacity. It makes no checks: callers keep within
// the capacity and the bytes held.
class TSerCommBuffer {
 public:
  explicit TSerCommBuffer(int Capacity);
  uint8_t* Data() { return data_.get(); }
  int Size() const { return size_; }
  void Clear() { size_ = 0; }
  void Append(const void* Src, int Count);
  void Peek(void* Dest, int Count) const;
  void Extract(void* Dest, int Count);
  void Remove(int Count);

 private:
  std::unique_ptr<uint8_t[]> data_;
  int size_ = 0;
};

// Millisecond timer over the 32-bit tick count, correct across its wrap.
struct TSerTimer {
  uint32_t Start = 0;
  uint32_t Limit = 0;
};

void TimerStart(TSerTimer& Timer, uint32_t Limit);
bool TimerExpired(const TSerTimer& Timer);
uint32_t TimerElapsed(const TSerTimer& Timer);

// The path separator is "/" here.
std::string IncludeBackslash(const std::string& Path);
// FileName itself when no such file exists, else the first free "stem-N.ext".
std::string UniqueFileName(const std::string& FileName);
