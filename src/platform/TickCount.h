// SPDX-License-Identifier: GPL-3.0-or-later
// The 32-bit millisecond tick count; it wraps every 49.7 days.
#pragma once

#include <cstdint>
#include <functional>

uint32_t GetTickCount();
// Tests set the source to check the wrap; an empty function restores the clock.
void SetTickSource(std::function<uint32_t()> Source);
// Blocks the calling thread for Ms milliseconds.
void SleepMs(int Ms);
