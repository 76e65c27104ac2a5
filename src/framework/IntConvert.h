// SPDX-License-Identifier: GPL-3.0-or-later
// The integer conversion used for every number typed into a box.
#pragma once

#include <optional>
#include <string>

// Optional leading blanks, an optional sign, then decimal digits or hexadecimal digits
// after "$", "x", "X", "0x" or "0X"; nothing may follow; the value must fit 32 bits.
std::optional<int> TryStrToInt(const std::string& Text);

// As TryStrToInt; raises EConvertError "'%s' is not a valid integer value".
int StrToInt(const std::string& Text);
