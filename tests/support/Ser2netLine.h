// SPDX-License-Identifier: GPL-3.0-or-later
// A board shared on the network, for tests and benchmarks: a socat pseudo-terminal pair
// whose one end ser2net serves on 127.0.0.1 (an RFC 2217 port and a raw port of its own,
// both with kickolduser and no chardelay), the other end being the board's
// (BoardPath: the test reads and writes it, or hands it to sx / rx). The test's own
// ser2net runs in the foreground with a YAML file written here; it is stopped with the line.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/Termios2.h"

// A child process whose end can be waited for without polling.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess() { Stop(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts Argv (Argv[0] looked up on PATH) with its output going to LogPath.
  bool Start(const std::vector<std::string>& Argv, const std::string& LogPath);
  bool Running() const { return pid_ > 0; }
  // SIGTERM, then SIGKILL when it has not ended after GraceMs; waits for it.
  void Stop(int GraceMs = 1000);

 private:
  bool WaitForExit(int TimeoutMs);
  pid_t pid_ = -1;
  int pidFd_ = -1;
};

class Ser2netLine {
 public:
  Ser2netLine();  // Ready() tells whether it came up
  ~Ser2netLine();
  Ser2netLine(const Ser2netLine&) = delete;
  Ser2netLine& operator=(const Ser2netLine&) = delete;

  static bool Available();  // ser2net and socat are installed
  bool Ready() const { return ready_; }
  const std::string& Problem() const { return problem_; }

  std::string TelnetUrl() const { return "rfc2217://127.0.0.1:" + std::to_string(telnetPort_); }
  std::string RawUrl() const { return "socket://127.0.0.1:" + std::to_string(rawPort_); }
  int RawPort() const { return rawPort_; }
  // The pseudo-terminal the server serves (its settings are what the server set) and the
  // board's end of the pair.
  const std::string& ServedPath() const { return servedPath_; }
  const std::string& BoardPath() const { return boardPath_; }
  const std::string& Dir() const { return dir_; }
  // The board's end opened raw; without Blocking, non-blocking.
  int OpenBoard(bool Blocking = false) const;
  // The settings the server gave the served terminal.
  bool ReadServedSettings(LineReadBack& Out) const;

  // The server goes away (its connections close) and comes back on the same ports.
  void StopServer() { server_.Stop(); }
  bool StartServer();
  // The served device goes away (the pair closes) and comes back.
  void StopPair() { pair_.Stop(); }
  bool StartPair();

 private:
  std::string dir_, servedPath_, boardPath_, problem_;
  int telnetPort_ = 0, rawPort_ = 0;
  ChildProcess pair_, server_;
  bool ready_ = false;
};
