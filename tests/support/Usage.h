// SPDX-License-Identifier: GPL-3.0-or-later
// What the process uses: CPU seconds, and the context switches of each of its threads
// (a thread that sleeps until something happens switches once per wake-up).
#pragma once

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <string>

inline double CpuSeconds() {
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct ThreadSwitches {
  std::string Name;
  long Voluntary = 0;
  double CpuSeconds = 0;
};

// Every thread of the process by its id.
inline std::map<int, ThreadSwitches> SwitchesByThread() {
  std::map<int, ThreadSwitches> threads;
  DIR* dir = opendir("/proc/self/task");
  if (!dir) return threads;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream status(std::string("/proc/self/task/") + entry->d_name + "/status");
    ThreadSwitches t;
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("Name:", 0) == 0) t.Name = line.substr(line.find_first_not_of(" \t", 5));
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0) t.Voluntary = std::stol(line.substr(24));
    }
    std::ifstream schedstat(std::string("/proc/self/task/") + entry->d_name + "/schedstat");
    long long onCpuNs = 0;
    if (schedstat >> onCpuNs) t.CpuSeconds = onCpuNs / 1e9;
    threads[std::stoi(entry->d_name)] = t;
  }
  closedir(dir);
  return threads;
}

// Switches and CPU between two readings, for the threads that lived through both.
inline std::map<int, ThreadSwitches> SwitchesSince(const std::map<int, ThreadSwitches>& Before) {
  std::map<int, ThreadSwitches> now = SwitchesByThread();
  for (auto it = now.begin(); it != now.end();) {
    auto before = Before.find(it->first);
    if (before == Before.end()) {
      it = now.erase(it);
      continue;
    }
    it->second.Voluntary -= before->second.Voluntary;
    it->second.CpuSeconds -= before->second.CpuSeconds;
    ++it;
  }
  return now;
}

// Wake-ups since Before of every thread but the main one (which waits in a loop of its own
// while it measures).
inline long OtherThreadsWakeups(const std::map<int, ThreadSwitches>& Before) {
  long wakeups = 0;
  for (const auto& [tid, thread] : SwitchesSince(Before))
    if (tid != getpid()) wakeups += thread.Voluntary;
  return wakeups;
}
