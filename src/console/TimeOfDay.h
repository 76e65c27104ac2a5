// SPDX-License-Identifier: GPL-3.0-or-later
// The local time of day to the millisecond, "HH:MM:SS.mmm", as the pane's time column
// shows when a line came.
#pragma once

#include <chrono>
#include <string>

// Milliseconds are cut, not rounded, so a time never shows a second it has not reached.
std::string TimeOfDay(std::chrono::system_clock::time_point At);
