// SPDX-License-Identifier: GPL-3.0-or-later
#include "framework/Exceptions.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

std::string FormatMessage(const char* Fmt, ...) {
  va_list args;
  va_start(args, Fmt);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, Fmt, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), Fmt, args);
    out.assign(buf.data(), static_cast<size_t>(n));
  }
  va_end(args);
  return out;
}
