// SPDX-License-Identifier: GPL-3.0-or-later
// A small programmable board, as Tarvik sees it on the line: it echoes what it gets,
// takes "loadb", "loadh" and "loadf" by printing a prompt, answers every line with the
// acknowledgement character and can hold CTS off.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "boardsim/BoardLink.h"

class BoardSimulator {
 public:
  static constexpr char Ack = 6;

  struct Options {
    bool Echo = true;
    bool AckLines = true;
  };

  BoardSimulator(std::unique_ptr<BoardLink> Link, Options Opts);
  explicit BoardSimulator(std::unique_ptr<BoardLink> Link) : BoardSimulator(std::move(Link), Options{}) {}
  ~BoardSimulator();  // stops the board

  // The board's answer to everything it receives runs on its own thread.
  void Start();
  void Stop();

  // Holds Tarvik's CTS off (false) or lets it on; false when the link cannot drive it.
  bool SetClearToSend(bool On) { return link_->SetClearToSend(On); }
  // Bytes the board sends by itself, as if its program printed them.
  void Print(const std::string& Text) { link_->Send(Text); }

  // Everything the board has received so far, in order.
  std::string Received() const;
  // Waits (blocking, up to TimeoutMs) until Received() holds Text; true when it does.
  bool WaitForReceived(const std::string& Text, int TimeoutMs) const;
  // Lines received so far (ended by CR), load commands included.
  int LinesReceived() const { return lines_; }

  // The answer to one line; exposed for its own tests.
  static std::string AnswerTo(const std::string& Line, bool AckLines);

 private:
  void Run();
  void Handle(const std::string& Bytes);

  std::unique_ptr<BoardLink> link_;
  Options options_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  mutable std::condition_variable receivedSignal_;
  std::string received_;
  std::string line_;
  std::atomic<int> lines_{0};
};
