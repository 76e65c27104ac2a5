// A pseudo-terminal pair for the port benchmarks: the port opens the slave by its path,
// the benchmark plays the far end on the master.
#pragma once

#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

struct PtyPair {
  int master = -1, slave = -1;
  std::string path;
  PtyPair() {
    termios raw;
    cfmakeraw(&raw);
    if (openpty(&master, &slave, nullptr, &raw, nullptr) != 0) {
      std::perror("openpty");
      std::exit(1);
    }
    path = ttyname(slave);
  }
  ~PtyPair() {
    if (master >= 0) close(master);
    close(slave);
  }
  // Closing the master hangs the slave up, as an unplugged adapter does.
  void HangUp() {
    close(master);
    master = -1;
  }
};

inline double CpuSeconds() {
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
