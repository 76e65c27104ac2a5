// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Ser2netLine.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int StartLimitMs = 10000;

// Daemons live in sbin, which a user's PATH may lack.
std::string FindProgram(const std::string& Name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(std::string(path ? path : "") + ":/usr/sbin:/sbin");
  for (std::string dir; std::getline(dirs, dir, ':');)
    if (!dir.empty() && access((dir + "/" + Name).c_str(), X_OK) == 0) return dir + "/" + Name;
  return {};
}

// A port nobody listens on now, for the server to take.
int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) == 0)
    port = ntohs(a.sin_port);
  close(fd);
  return port;
}

bool Exists(const std::string& Path) { return access(Path.c_str(), F_OK) == 0; }

// Waits for the files of Paths (all in Dir) to exist, on the kernel's news of the folder.
bool WaitForFiles(const std::string& Dir, const std::vector<std::string>& Paths, int TimeoutMs) {
  const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  inotify_add_watch(watch, Dir.c_str(), IN_CREATE | IN_CLOSE_WRITE | IN_MOVED_TO);
  const auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs);
  auto all = [&] {
    for (const std::string& p : Paths)
      if (!Exists(p)) return false;
    return true;
  };
  bool done;
  while (!(done = all())) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd p{watch, POLLIN, 0};
    if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) break;
    char events[4096];
    [[maybe_unused]] ssize_t n = read(watch, events, sizeof events);
  }
  close(watch);
  return done;
}

bool Listening(int Port) {
  std::ifstream table("/proc/net/tcp");
  char hex[8];
  std::snprintf(hex, sizeof hex, ":%04X", Port);
  for (std::string line; std::getline(table, line);)
    if (line.find(std::string("0100007F") + hex) != std::string::npos && line.find(" 0A ") != std::string::npos)
      return true;
  return false;
}

}  // namespace

// The child dies with the test: a test that crashes or is killed leaves no server behind.
bool ChildProcess::Start(const std::vector<std::string>& Argv, const std::string& LogPath) {
  const std::string program = FindProgram(Argv[0]);
  if (program.empty()) return false;
  std::vector<char*> argv;
  for (const std::string& a : Argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const int log = open(LogPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
  const pid_t parent = getpid();
  pid_ = fork();
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    dup2(null, 0);
    dup2(log, 1);
    dup2(log, 2);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(log);
  close(null);
  if (pid_ < 0) return false;
  pidFd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
  return true;
}

bool ChildProcess::WaitForExit(int TimeoutMs) {
  pollfd p{pidFd_, POLLIN, 0};
  return pidFd_ >= 0 && poll(&p, 1, TimeoutMs) > 0;
}

// ser2net may ignore SIGTERM (after a failed bind, for one), hence the grace time.
void ChildProcess::Stop(int GraceMs) {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  if (!WaitForExit(GraceMs)) kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  if (pidFd_ >= 0) close(pidFd_);
  pid_ = pidFd_ = -1;
}

bool Ser2netLine::Available() { return !FindProgram("ser2net").empty() && !FindProgram("socat").empty(); }

Ser2netLine::Ser2netLine() {
  char pattern[] = "/tmp/tarvik-ser2net-XXXXXX";
  dir_ = mkdtemp(pattern);
  servedPath_ = dir_ + "/served";
  boardPath_ = dir_ + "/board";
  telnetPort_ = FreePort();
  rawPort_ = FreePort();
  std::ofstream(dir_ + "/ser2net.yaml")
      << "%YAML 1.1\n---\n"
      << "connection: &rfc\n    accepter: telnet(rfc2217),tcp,127.0.0.1," << telnetPort_
      << "\n    options:\n      kickolduser: true\n      chardelay: false\n"
      << "    connector: serialdev," << servedPath_ << ",115200n81,local\n"
      << "connection: &raw\n    accepter: tcp,127.0.0.1," << rawPort_
      << "\n    options:\n      kickolduser: true\n      chardelay: false\n"
      << "    connector: serialdev," << servedPath_ << ",115200n81,local\n";
  ready_ = StartPair() && StartServer();
}

Ser2netLine::~Ser2netLine() {
  server_.Stop();
  pair_.Stop();
  std::system(("rm -rf " + dir_).c_str());
}

bool Ser2netLine::StartPair() {
  const std::string end = ",raw,echo=0,link=";
  unlink(servedPath_.c_str());
  unlink(boardPath_.c_str());
  if (!pair_.Start({"socat", "pty" + end + servedPath_, "pty" + end + boardPath_}, dir_ + "/socat.log") ||
      !WaitForFiles(dir_, {servedPath_, boardPath_}, StartLimitMs)) {
    problem_ = "socat made no pseudo-terminal pair";
    return false;
  }
  return true;
}

// The server writes its pid file once its ports listen.
bool Ser2netLine::StartServer() {
  const std::string pidFile = dir_ + "/ser2net.pid";
  unlink(pidFile.c_str());
  if (!server_.Start({"ser2net", "-n", "-d", "-u", "-c", dir_ + "/ser2net.yaml", "-P", pidFile},
                     dir_ + "/ser2net.log") ||
      !WaitForFiles(dir_, {pidFile}, StartLimitMs) || !Listening(telnetPort_) || !Listening(rawPort_)) {
    problem_ = "ser2net did not listen on ports " + std::to_string(telnetPort_) + " and " +
               std::to_string(rawPort_);
    return false;
  }
  return true;
}

int Ser2netLine::OpenBoard(bool Blocking) const {
  const int fd = open(boardPath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | (Blocking ? 0 : O_NONBLOCK));
  termios raw;
  if (fd >= 0 && tcgetattr(fd, &raw) == 0) {
    cfmakeraw(&raw);
    tcsetattr(fd, TCSANOW, &raw);
  }
  return fd;
}

bool Ser2netLine::ReadServedSettings(LineReadBack& Out) const {
  const int fd = open(servedPath_.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  const bool read = fd >= 0 && ReadLineSettings(fd, Out);
  if (fd >= 0) close(fd);
  return read;
}
