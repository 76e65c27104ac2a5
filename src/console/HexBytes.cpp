// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/HexBytes.h"

#include <cctype>
#include <cstdio>

namespace {

bool IsSeparator(char C) { return C == ' ' || C == '\t' || C == ','; }

int DigitValue(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

// A character as the user can read it in a message: control bytes in the pane's notation.
std::string Readable(char C) {
  const unsigned char u = static_cast<unsigned char>(C);
  if (u >= 32 && u < 127) return std::string(1, C);
  char notation[5];
  std::snprintf(notation, sizeof notation, "[%02X]", u);
  return notation;
}

HexBytes Failed(std::string Error) { return HexBytes{{}, std::move(Error)}; }

std::string Column(size_t At) { return " at column " + std::to_string(At + 1); }

}  // namespace

HexBytes ParseHexBytes(std::string_view Text) {
  HexBytes parsed;
  size_t i = 0;
  while (i < Text.size()) {
    if (IsSeparator(Text[i])) {
      ++i;
      continue;
    }
    const size_t group = i;
    if (Text.substr(i, 2) == "0x" || Text.substr(i, 2) == "0X") i += 2;
    const size_t digits = i;
    for (; i < Text.size() && !IsSeparator(Text[i]); ++i)
      if (DigitValue(Text[i]) < 0)
        return Failed("\"" + Readable(Text[i]) + "\"" + Column(i) + " is no hexadecimal digit");
    const std::string_view pairs = Text.substr(digits, i - digits);
    if (pairs.empty() || pairs.size() % 2 != 0)
      return Failed("\"" + std::string(Text.substr(group, i - group)) + "\"" + Column(group) +
                    " is not whole pairs of hexadecimal digits");
    for (size_t p = 0; p < pairs.size(); p += 2)
      parsed.Bytes += static_cast<char>(DigitValue(pairs[p]) * 16 + DigitValue(pairs[p + 1]));
  }
  if (parsed.Bytes.empty()) return Failed("Nothing to send: type bytes as pairs of hexadecimal digits");
  return parsed;
}
