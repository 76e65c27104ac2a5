// SPDX-License-Identifier: GPL-3.0-or-later
// Pasted text typed to the board key by key, with a pause after each character and a
// longer one after each line, for boards without flow control that read slowly. It runs
// from a timer, so the window stays alive and idle between keys; Cancel ends it.
#pragma once

#include <QObject>
#include <QTimer>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/pane/TypedKeys.h"

class PacedPaste : public QObject {
 public:
  struct Hooks {
    std::function<bool(const std::string& Bytes)> Type;  // false when the port is closed
    std::function<void(int Total)> Started;
    std::function<void(int Typed)> Progress;
    std::function<void()> Ended;
  };

  PacedPaste(QObject* Parent, Hooks Callbacks);

  // Keys typed while a paste runs join its end.
  void Start(const std::vector<Keystroke>& Keys, int CharacterDelayMs, int LineDelayMs);
  void Cancel();
  bool Running() const { return running_; }

 private:
  void TypeNext();
  void End();

  Hooks hooks_;
  QTimer timer_;
  std::deque<Keystroke> keys_;
  int typed_ = 0;
  int total_ = 0;
  int characterDelay_ = 0;
  int lineDelay_ = 0;
  bool running_ = false;
};
