// SPDX-License-Identifier: GPL-3.0-or-later
// The serial device of a port shared on the network by a serial server (ser2net):
// "rfc2217://HOST:PORT" carries the bytes, the line settings and the modem lines over
// Telnet's COM port option; "socket://HOST:PORT" carries the bytes alone, its settings and
// lines kept here as a pseudo-terminal keeps them. Back-pressure is the socket's: the
// device takes what the socket takes, and what the socket has not sent is its output.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/SerialDevice.h"

// Opens a network port by its name within NetworkConnectLimitMs. Error: EINVAL for a
// malformed name, the system's reason (ECONNREFUSED, EHOSTUNREACH, ETIMEDOUT, a resolver
// code), ENOENT when the server says its device is missing, EBUSY when it says the port
// is in use, ECONNRESET when it closes the connection at once.
std::unique_ptr<SerialDevice> OpenNetworkSerialDevice(const std::string& Name, int& Error);

// Tests shorten the connect limit; 0 restores NetworkConnectLimitMs.
void SetNetworkConnectLimitMs(int LimitMs);

// What the server of a network port said of itself when the port was last open; empty
// until a server says something. The hook is told (on any thread) each time it changes.
std::string ServerSignatureOf(const std::string& PortName);
void SetServerSignatureHook(std::function<void(const std::string& PortName)> Hook);
