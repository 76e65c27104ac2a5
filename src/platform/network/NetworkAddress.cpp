// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/network/NetworkAddress.h"

#include <strings.h>

#include <algorithm>
#include <cctype>

namespace {

constexpr const char* TelnetScheme = "rfc2217://";
constexpr const char* RawScheme = "socket://";

bool StartsWith(const std::string& Text, const char* Prefix) {
  const size_t n = std::char_traits<char>::length(Prefix);
  return Text.size() >= n && strncasecmp(Text.c_str(), Prefix, n) == 0;
}

bool ValidPortNumber(const std::string& Text) {
  if (Text.empty() || Text.size() > 5) return false;
  if (!std::all_of(Text.begin(), Text.end(), [](unsigned char c) { return std::isdigit(c); }))
    return false;
  const int port = std::stoi(Text);
  return port >= 1 && port <= 65535;
}

}  // namespace

bool IsNetworkPortName(const std::string& Name) {
  return StartsWith(Name, TelnetScheme) || StartsWith(Name, RawScheme);
}

std::optional<NetworkAddress> ParseNetworkPortName(const std::string& Name) {
  NetworkAddress address;
  std::string rest;
  if (StartsWith(Name, TelnetScheme)) {
    rest = Name.substr(std::char_traits<char>::length(TelnetScheme));
  } else if (StartsWith(Name, RawScheme)) {
    address.Telnet = false;
    rest = Name.substr(std::char_traits<char>::length(RawScheme));
  } else {
    return std::nullopt;
  }
  rest = rest.substr(0, rest.find('?'));
  if (!rest.empty() && rest.back() == '/') rest.pop_back();
  size_t colon;
  if (!rest.empty() && rest.front() == '[') {
    const size_t close = rest.find(']');
    if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':')
      return std::nullopt;
    address.Host = rest.substr(1, close - 1);
    colon = close + 1;
  } else {
    colon = rest.rfind(':');
    if (colon == std::string::npos) return std::nullopt;
    address.Host = rest.substr(0, colon);
    if (address.Host.find(':') != std::string::npos) return std::nullopt;  // IPv6 needs brackets
  }
  address.Service = rest.substr(colon + 1);
  const bool hostOk = !address.Host.empty() &&
                      std::none_of(address.Host.begin(), address.Host.end(), [](unsigned char c) {
                        return std::isspace(c) || c == '/' || c == '@';
                      });
  if (!hostOk || !ValidPortNumber(address.Service)) return std::nullopt;
  return address;
}
