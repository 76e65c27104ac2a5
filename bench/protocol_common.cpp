// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol_common.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#include "framework/Threads.h"

bool Pump(const std::function<bool()>& Done, int TimeoutMs) {
  const auto deadline = BenchClock::now() + std::chrono::milliseconds(TimeoutMs);
  while (!Done()) {
    if (BenchClock::now() >= deadline) return false;
    CheckSynchronize(20);
  }
  return true;
}

std::string MakeBenchDir() {
  char pattern[] = "/tmp/tarvik-bench-XXXXXX";
  return mkdtemp(pattern);
}

std::string WriteRandomFile(const std::string& Path, size_t Count) {
  std::mt19937 gen(12345);
  std::string data(Count, '\0');
  for (auto& c : data) c = static_cast<char>(gen() & 0xFF);
  std::ofstream(Path, std::ios::binary) << data;
  return data;
}

std::string ReadAll(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

double Seconds(BenchClock::time_point From, BenchClock::time_point To) {
  return std::chrono::duration<double>(To - From).count();
}

void PrintRate(const std::string& What, size_t Bytes, double Secs, double LineLimit) {
  const double rate = Bytes / Secs;
  if (LineLimit > 0)
    std::printf("%-52s %9zu bytes %8.2f s %11.0f B/s  %5.1f %% of the line (%0.f B/s)\n",
                What.c_str(), Bytes, Secs, rate, 100.0 * rate / LineLimit, LineLimit);
  else
    std::printf("%-52s %9zu bytes %8.2f s %11.0f B/s\n", What.c_str(), Bytes, Secs, rate);
  std::fflush(stdout);
}
