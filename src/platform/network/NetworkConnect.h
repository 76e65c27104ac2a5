// SPDX-License-Identifier: GPL-3.0-or-later
// Reaching a network port's server: name resolution and the connection, within a limit,
// on a thread of their own so that the opener only waits.
#pragma once

#include <chrono>
#include <functional>

#include "platform/WaitEvent.h"
#include "platform/network/NetworkAddress.h"

constexpr int NetworkConnectLimitMs = 5000;

// Resolves Address and connects to the first of its addresses that answers, by Deadline
// or until Cancel is set. Returns a connected non-blocking socket, set up for a serial
// line's small exchanges, or -1 with Error: an errno value (ETIMEDOUT at the deadline), or
// the resolver's own (negative) code, which SystemErrorText also knows.
int ConnectSocket(const NetworkAddress& Address, std::chrono::steady_clock::time_point Deadline,
                  const WaitEvent& Cancel, int& Error);

// How an opener waits for its connection: until Done is set or TimeoutMs has passed. The
// program sets a wait that keeps its windows painted on the main thread meanwhile; the
// default simply blocks.
using NetworkOpenWait = std::function<void(const WaitEvent& Done, int TimeoutMs)>;
void SetNetworkOpenWait(NetworkOpenWait Wait);
void WaitForNetworkOpen(const WaitEvent& Done, int TimeoutMs);
