// SPDX-License-Identifier: GPL-3.0-or-later
// Shared pieces of the protocol benchmarks.
#pragma once

#include <chrono>
#include <functional>
#include <string>

using BenchClock = std::chrono::steady_clock;

// Runs main-thread deliveries until Done holds or TimeoutMs passes.
bool Pump(const std::function<bool()>& Done, int TimeoutMs);
std::string MakeBenchDir();
// Count bytes of random data written to Path; the data.
std::string WriteRandomFile(const std::string& Path, size_t Count);
std::string ReadAll(const std::string& Path);
double Seconds(BenchClock::time_point From, BenchClock::time_point To);
void PrintRate(const std::string& What, size_t Bytes, double Seconds, double LineLimit = 0);
