// SPDX-License-Identifier: GPL-3.0-or-later
// A small RFC 2217 server on 127.0.0.1 for what a pseudo-terminal behind ser2net cannot
// show (DTR, RTS, CTS, break): it records the COM port commands and the data it receives,
// says "fixture" when asked for its signature, and sends modem-state notifications when
// told. One connection at a time; a new one takes over. Its own parser, so that a fault
// in the client's cannot hide itself.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/WaitEvent.h"

class ComPortServer {
 public:
  struct Command {
    uint8_t Code;
    std::string Value;
    std::chrono::steady_clock::time_point When;
  };

  // ModemState: the lines reported when a client connects (0xB0: CTS, DSR, DCD on).
  explicit ComPortServer(uint8_t ModemState = 0xB0);
  ~ComPortServer();
  ComPortServer(const ComPortServer&) = delete;
  ComPortServer& operator=(const ComPortServer&) = delete;

  std::string Url() const { return "rfc2217://127.0.0.1:" + std::to_string(port_); }

  // Blocks until Done holds for what has come so far, or TimeoutMs passes.
  bool WaitFor(const std::function<bool(const std::vector<Command>&, const std::string& Data)>& Done,
               int TimeoutMs = 5000);
  // Hook is called on the server's thread after each change, so that a waiter that must
  // keep an event loop running can be woken to look again.
  void SetOnChange(std::function<void()> Hook);
  // What has come so far.
  std::vector<Command> Commands() const;
  std::string Data() const;
  void NotifyModemState(uint8_t State);
  // Bytes to the client as they stand (no doubling).
  void SendRaw(const std::string& Bytes);

 private:
  void Serve();
  void Accept();
  void ReadClient();
  void Parse(uint8_t Byte, std::chrono::steady_clock::time_point Arrived);
  void Record(const std::string& Subnegotiation, std::chrono::steady_clock::time_point Arrived);

  int listen_ = -1, client_ = -1, port_ = 0;
  uint8_t modemState_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> onChange_;
  std::vector<Command> commands_;
  std::string data_, outgoing_, sb_;
  enum { Plain, Iac, Verb, InSb, SbIac } state_ = Plain;
  bool stop_ = false;
  WaitEvent wake_;
  std::thread thread_;
};
