// SPDX-License-Identifier: GPL-3.0-or-later
// The main thread of the benchmarks that run against lrzsz with the application.
#pragma once

#include <functional>

// Runs the application's event loop, as the program does, until Done holds or TimeoutMs
// passes; false on the timeout.
bool RunEventLoopUntil(const std::function<bool()>& Done, int TimeoutMs);
