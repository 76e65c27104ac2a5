// SPDX-License-Identifier: GPL-3.0-or-later
#include "framework/IntConvert.h"

#include <cstdint>

#include "framework/Exceptions.h"

namespace {
int DigitValue(char c, int base) {
  int v = -1;
  if (c >= '0' && c <= '9') v = c - '0';
  else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
  return v < base ? v : -1;
}
}  // namespace

std::optional<int> TryStrToInt(const std::string& Text) {
  size_t i = 0;
  while (i < Text.size() && Text[i] == ' ') ++i;
  bool negative = false;
  if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) negative = Text[i++] == '-';
  int base = 10;
  if (i < Text.size() && Text[i] == '$') {
    base = 16, ++i;
  } else if (i < Text.size() && (Text[i] == 'x' || Text[i] == 'X')) {
    base = 16, ++i;
  } else if (i + 1 < Text.size() && Text[i] == '0' && (Text[i + 1] == 'x' || Text[i + 1] == 'X')) {
    base = 16, i += 2;
  }
  if (i >= Text.size()) return std::nullopt;
  int64_t value = 0;
  for (; i < Text.size(); ++i) {
    int d = DigitValue(Text[i], base);
    if (d < 0) return std::nullopt;
    value = value * base + d;
    if (value > 0x80000000LL) return std::nullopt;
  }
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int>(value);
}

int StrToInt(const std::string& Text) {
  if (auto v = TryStrToInt(Text)) return *v;
  throw EConvertError(FormatMessage("'%s' is not a valid integer value", Text.c_str()));
}
