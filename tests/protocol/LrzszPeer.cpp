// SPDX-License-Identifier: GPL-3.0-or-later
#include "LrzszPeer.h"

#include <fcntl.h>
#include <pty.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>

extern char** environ;

LineProgram::LineProgram(const std::vector<std::string>& Argv, int InFd, int OutFd,
                         const std::string& Dir, bool CaptureDiagnostics) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, Dir.c_str());
  posix_spawn_file_actions_adddup2(&actions, InFd, 0);
  posix_spawn_file_actions_adddup2(&actions, OutFd, 1);
  int pipeFds[2] = {-1, -1};
  const std::string log = Argv[0] + ".log";  // relative to Dir
  if (CaptureDiagnostics && pipe2(pipeFds, O_CLOEXEC) == 0) {
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
  } else {
    posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  }
  std::vector<char*> args;
  for (const auto& a : Argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  // rx flushes its input right after each ACK. A program preempted between the two (the
  // ACK wakes our side on a busy machine) flushes the block we answered with, as it never
  // would on a serial line: where allowed, it runs ahead of ordinary threads.
  posix_spawnattr_t promptly;
  posix_spawnattr_init(&promptly);
  posix_spawnattr_setflags(&promptly, POSIX_SPAWN_SETSCHEDULER);
  posix_spawnattr_setschedpolicy(&promptly, SCHED_FIFO);
  sched_param priority{};
  priority.sched_priority = 1;
  posix_spawnattr_setschedparam(&promptly, &priority);
  const auto spawn = [&](const posix_spawnattr_t* Attributes) {
    pid_t pid = -1;
    if (posix_spawnp(&pid, Argv[0].c_str(), &actions, Attributes, args.data(), environ) == 0) pid_ = pid;
  };
  if (RunAhead) spawn(&promptly);
  if (pid_ <= 0) spawn(nullptr);  // not allowed to run ahead: an ordinary program
  posix_spawnattr_destroy(&promptly);
  posix_spawn_file_actions_destroy(&actions);
  if (pipeFds[1] >= 0) {
    close(pipeFds[1]);
    const int fd = pipeFds[0];
    drain_ = std::thread([this, fd] {
      char buffer[4096];
      ssize_t n;
      while ((n = read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
        if (n <= 0) continue;
        std::lock_guard<std::mutex> lock(diagnosticsLock_);
        diagnostics_.append(buffer, static_cast<size_t>(n));
        diagnosticsGrew_.notify_all();
      }
      close(fd);
    });
  }
  if (pid_ <= 0) {
    exited_ = true;
    return;
  }
  reaper_ = std::thread([this] {
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    exitTime_ = std::chrono::steady_clock::now();
    exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    exited_ = true;
  });
}

LineProgram::~LineProgram() {
  Kill();
  if (reaper_.joinable()) reaper_.join();
  if (drain_.joinable()) drain_.join();
}

bool LineProgram::WaitForDiagnostic(const std::string& Text, int TimeoutMs) {
  std::unique_lock<std::mutex> lock(diagnosticsLock_);
  return diagnosticsGrew_.wait_for(lock, std::chrono::milliseconds(TimeoutMs), [&] {
    return diagnostics_.find(Text) != std::string::npos;
  });
}

std::string LineProgram::Diagnostics() const {
  std::lock_guard<std::mutex> lock(diagnosticsLock_);
  return diagnostics_;
}

void LineProgram::Kill() {
  if (pid_ > 0 && !exited_) kill(pid_, SIGKILL);
}

bool HaveProgram(const std::string& Name) {
  const std::string command = "command -v " + Name + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}
