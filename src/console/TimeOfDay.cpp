// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/TimeOfDay.h"

#include <cstdio>
#include <ctime>

std::string TimeOfDay(std::chrono::system_clock::time_point At) {
  using namespace std::chrono;
  const sys_time<milliseconds> ms = floor<milliseconds>(At);
  const sys_seconds second = floor<seconds>(ms);
  const std::time_t t = system_clock::to_time_t(second);
  std::tm local{};
  localtime_r(&t, &local);
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>((ms - second).count()));
  return text;
}
