// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SpecialChars.h"

namespace {

constexpr size_t MaxBytes = 100;

bool EndsNumber(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\0'; }

}  // namespace

std::string ConvertSpecialChars(const std::string& Text) {
  std::string out;
  size_t i = 0;
  while (i < Text.size()) {
    if (Text[i] != '#') {
      out += Text[i++];
      continue;
    }
    ++i;
    unsigned value = 0;
    for (; i < Text.size() && !EndsNumber(Text[i]); ++i)
      value = value * 10 + static_cast<unsigned>(static_cast<unsigned char>(Text[i]) - 48);
    out += static_cast<char>(value % 256);
  }
  out = out.substr(0, out.find('\0'));
  if (out.size() > MaxBytes) out.resize(MaxBytes);
  return out;
}
