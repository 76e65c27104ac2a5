// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pane/PacedPaste.h"

#include <algorithm>

#include "framework/ExceptionReport.h"

PacedPaste::PacedPaste(QObject* Parent, Hooks Callbacks) : QObject(Parent), hooks_(std::move(Callbacks)) {
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, [this] { TypeNext(); });
}

void PacedPaste::Start(const std::vector<Keystroke>& Keys, int CharacterDelayMs, int LineDelayMs) {
  keys_.insert(keys_.end(), Keys.begin(), Keys.end());
  total_ += static_cast<int>(Keys.size());
  characterDelay_ = std::max(0, CharacterDelayMs);
  lineDelay_ = std::max(0, LineDelayMs);
  if (running_) return;
  running_ = true;
  hooks_.Started(total_);
  TypeNext();
}

void PacedPaste::Cancel() {
  if (running_) End();
}

// A key the port refuses (closed, or its queue full) ends the paste; the failure is
// reported.
void PacedPaste::TypeNext() {
  if (keys_.empty()) return End();
  const Keystroke key = keys_.front();
  keys_.pop_front();
  bool typed = false;
  Guarded([&] { typed = hooks_.Type(key.Bytes); });
  if (!typed || !running_ || keys_.empty()) return End();
  hooks_.Progress(++typed_);
  timer_.start(characterDelay_ + (key.LineEnd ? lineDelay_ : 0));
}

void PacedPaste::End() {
  timer_.stop();
  keys_.clear();
  typed_ = total_ = 0;
  running_ = false;
  hooks_.Ended();
}
