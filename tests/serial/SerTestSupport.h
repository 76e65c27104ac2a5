// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for the port tests: running deliveries until a condition holds, catching
// exception reports, and a port on one end of a fresh virtual line.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "framework/ExceptionReport.h"
#include "framework/Threads.h"
#include "platform/VirtualLine.h"
#include "serial/SerComm.h"
#include "support/PacedLine.h"
#include "support/TerminalPort.h"
#include "support/Usage.h"

// Runs the deliveries queued for the main thread until Done() holds or TimeoutMs passes;
// each round blocks until a delivery arrives or a short slice ends.
inline bool RunDeliveriesUntil(const std::function<bool()>& Done, int TimeoutMs = 5000) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  while (!Done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    CheckSynchronize(20);
  }
  return true;
}

inline void RunDeliveriesFor(int Ms) { RunDeliveriesUntil([] { return false; }, Ms); }

// The message of the ESerCommError that Fn raises.
inline std::string ErrorOf(const std::function<void()>& Fn) {
  try {
    Fn();
  } catch (const ESerCommError& e) {
    return e.what();
  }
  return "(no ESerCommError)";
}

// Collects every exception report while it lives.
class ReportCatcher {
 public:
  ReportCatcher() {
    previous_ = SetExceptionReportHook([this](const std::string& Message) {
      std::lock_guard<std::mutex> lock(mutex_);
      messages_.push_back(Message);
    });
  }
  ~ReportCatcher() { SetExceptionReportHook(previous_); }
  std::vector<std::string> Messages() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }

 private:
  ExceptionReportHook previous_;
  std::mutex mutex_;
  std::vector<std::string> messages_;
};

// A test's handlers capture its locals, gone by tear-down: deliveries that the close runs
// find no handler.
inline void ForgetHandlers(TSerComm& Port) {
  Port.OnOpen = Port.OnClose = Port.OnCts = Port.OnDsr = Port.OnRlsd = Port.OnRing =
      Port.OnBreak = Port.OnRxFlag = Port.OnTxEmpty = Port.OnPErr = Port.OnRx80Full =
          Port.OnEvent1 = Port.OnEvent2 = nullptr;
  Port.OnError = nullptr;
  Port.OnRxChar = nullptr;
  Port.OnRxBuf = nullptr;
}

// The port under test sits on end A of a fresh virtual line; the test plays end B.
class VirtualLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> next{0};
    line = VirtualLine::Create("sertest" + std::to_string(next++));
    port = std::make_unique<TSerComm>(nullptr);
    port->SetDeviceName(line->Path(VirtualLine::A));
  }
  void TearDown() override {
    if (port) ForgetHandlers(*port);
    port.reset();
  }

  // What reaches the far end, running deliveries meanwhile (the write thread waits for
  // its transmitter-empty delivery before its next pass).
  std::string Received(size_t Count, int TimeoutMs = 5000) {
    std::string got;
    RunDeliveriesUntil([&] { return (got += line->Take(VirtualLine::B)).size() >= Count; },
                       TimeoutMs);
    return got;
  }

  std::shared_ptr<VirtualLine> line;
  std::unique_ptr<TSerComm> port;
};

// The port under test on the near end of a paced pseudo-terminal line; the test plays the
// far end. Opened like the terminal's port, with the given line rate and queue size.
class PacedLineTest : public ::testing::Test {
 protected:
  void OpenPort(int Baud, int WriteSize) {
    line = std::make_unique<PacedLine>(Baud / 10.0);
    port = std::make_unique<TSerComm>(nullptr);
    ConfigureAsTerminal(*port, line->NearPath(), Baud);
    port->Buffers().SetWriteSize(WriteSize);
    port->Open();
  }
  void TearDown() override {
    if (port) ForgetHandlers(*port);
  }

  std::unique_ptr<PacedLine> line;  // outlives the port
  std::unique_ptr<TSerComm> port;
};
