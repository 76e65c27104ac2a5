// SPDX-License-Identifier: GPL-3.0-or-later
// Bytes typed by their hexadecimal codes, as the Send Hex box takes them: "48 65 6c 0d",
// "48656c0d" or "0x48,0x65". Spaces, tabs and commas part groups; a group may start with
// 0x and holds whole pairs of hexadecimal digits.
#pragma once

#include <string>
#include <string_view>

struct HexBytes {
  std::string Bytes;
  std::string Error;  // what is wrong, with its column; empty when the whole text is good
  bool Ok() const { return Error.empty(); }
};

// Nothing is taken from a text with a fault: Bytes is then empty.
HexBytes ParseHexBytes(std::string_view Text);
