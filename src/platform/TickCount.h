// SPDX-License-Identifier: GPL-3.0-or-later
// The 32-bit millisecond tick count; it wraps every 49.7 days.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

uint32_t GetTickCount();
// Tests set the source to check the wrap; an empty function restores the clock.
void SetTickSource(std::function<uint32_t()> Source);
// Blocks the calling thread for Ms milliseconds.
void SleepMs(int Ms);
// Milliseconds from now until When, rounded up, as a poll's timeout: 0 once it has passed.
int MsUntil(std::chrono::steady_clock::time_point When);
