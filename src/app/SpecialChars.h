// SPDX-License-Identifier: GPL-3.0-or-later
// The "#n" notation of the XMODEM window's open and close strings.
#pragma once

#include <string>

// A "#" and the decimal number after it stand for the byte with that code (modulo 256).
// The number runs until a space, LF, CR or NUL, which is copied as an ordinary
// character; every other character counts as a digit (its code minus 48). The result is
// cut at its first NUL byte and holds at most 100 bytes.
std::string ConvertSpecialChars(const std::string& Text);
