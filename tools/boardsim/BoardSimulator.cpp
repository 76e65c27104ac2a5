// SPDX-License-Identifier: GPL-3.0-or-later
#include "boardsim/BoardSimulator.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>

BoardSimulator::BoardSimulator(std::unique_ptr<BoardLink> Link, Options Opts)
    : link_(std::move(Link)), options_(Opts) {}

BoardSimulator::~BoardSimulator() { Stop(); }

void BoardSimulator::Start() {
  if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
}

void BoardSimulator::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void BoardSimulator::Run() {
  try {
    // The receive wait is bounded so that Stop is seen within a tenth of a second.
    while (!stop_) {
      std::string bytes = link_->Receive(100);
      if (!bytes.empty()) Handle(bytes);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "board: %s\n", e.what());
  }
}

std::string BoardSimulator::AnswerTo(const std::string& Line, bool AckLines) {
  std::string answer;
  if (Line == "loadb") answer = "\r\nLoading BASIC\r\n> ";
  else if (Line == "loadh") answer = "\r\nLoading hex\r\n> ";
  else if (Line == "loadf") answer = "\r\nLoading Forth\r\n> ";
  if (AckLines) answer += Ack;
  return answer;
}

void BoardSimulator::Handle(const std::string& Bytes) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    received_ += Bytes;
  }
  receivedSignal_.notify_all();
  std::string reply;
  for (char c : Bytes) {
    if (options_.Echo) reply += c;
    if (c == '\r') {
      reply += AnswerTo(line_, options_.AckLines);
      line_.clear();
      ++lines_;
    } else if (c != '\n') {
      line_ += c;
    }
  }
  if (!reply.empty()) link_->Send(reply);
}

std::string BoardSimulator::Received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

bool BoardSimulator::WaitForReceived(const std::string& Text, int TimeoutMs) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return receivedSignal_.wait_for(lock, std::chrono::milliseconds(TimeoutMs),
                                  [&] { return received_.find(Text) != std::string::npos; });
}
