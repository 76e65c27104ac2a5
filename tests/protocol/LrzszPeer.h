// SPDX-License-Identifier: GPL-3.0-or-later
// lrzsz's sx and rx as the far end of a pseudo-terminal (PtyPair with a blocking master):
// the program gets the master side as its standard input and output, our port opens the
// slave side by its path.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/PtyPair.h"

// A child program on a descriptor of the link, reaped by a thread of its own.
class LineProgram {
 public:
  // Argv[0] is found on PATH; Dir becomes its working directory; its diagnostics go to
  // Dir/<Argv[0]>.log, or to a pipe read by WaitForDiagnostic when CaptureDiagnostics.
  LineProgram(const std::vector<std::string>& Argv, int InFd, int OutFd, const std::string& Dir,
              bool CaptureDiagnostics = false);
  ~LineProgram();  // a program still running is killed
  LineProgram(const LineProgram&) = delete;
  LineProgram& operator=(const LineProgram&) = delete;

  // Tests run the peer ahead of ordinary threads where the system allows (see the
  // constructor); benchmarks leave it ordinary, as our own side is, to compare like with like.
  static inline bool RunAhead = true;

  bool Started() const { return pid_ > 0; }
  bool Exited() const { return exited_; }
  // When the program ended, as the reaper saw it; meaningful once Exited().
  std::chrono::steady_clock::time_point ExitTime() const { return exitTime_; }
  // Exit status when it ended normally, -1 otherwise.
  int ExitStatus() const { return exitStatus_; }
  void Kill();
  // Blocks until the program's diagnostics contain Text; false after TimeoutMs.
  bool WaitForDiagnostic(const std::string& Text, int TimeoutMs);
  std::string Diagnostics() const;

 private:
  pid_t pid_ = -1;
  std::thread reaper_;
  std::chrono::steady_clock::time_point exitTime_{};  // written before exited_
  std::atomic<bool> exited_{false};
  std::atomic<int> exitStatus_{-1};
  // Captured diagnostics are drained all the time, so that the program never blocks on them.
  std::thread drain_;
  mutable std::mutex diagnosticsLock_;
  std::condition_variable diagnosticsGrew_;
  std::string diagnostics_;
};

bool HaveProgram(const std::string& Name);
