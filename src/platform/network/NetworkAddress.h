// SPDX-License-Identifier: GPL-3.0-or-later
// Port names that reach a serial port shared on the network: "rfc2217://HOST:PORT" (the
// Telnet COM port option: bytes, line settings and modem lines) and "socket://HOST:PORT"
// (bytes only). HOST may be a name, an IPv4 address or an IPv6 address in brackets.
#pragma once

#include <optional>
#include <string>

struct NetworkAddress {
  bool Telnet = true;  // rfc2217://; false for socket://
  std::string Host;
  std::string Service;  // the port number as text, for the resolver
};

// True when Name starts with one of the two schemes (in any letter case).
bool IsNetworkPortName(const std::string& Name);
// The address a network port name stands for; nothing when it is malformed. An option
// part after "?" is ignored.
std::optional<NetworkAddress> ParseNetworkPortName(const std::string& Name);
