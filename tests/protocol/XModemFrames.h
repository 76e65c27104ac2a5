// SPDX-License-Identifier: GPL-3.0-or-later
// What a correct XMODEM peer puts on the line, computed independently of the engine
// (bit by bit rather than through a table), for scripted peers and checks.
#pragma once

#include <cstdint>
#include <string>

namespace frames {

constexpr char SOH = 0x01, STX = 0x02, EOT = 0x04, ACK = 0x06, NAK = 0x15, CAN = 0x18;

uint16_t BitwiseCrc(const std::string& Data);
uint8_t Sum(const std::string& Data);

// Header, number, complement, data and check. Complement < 0: 255 minus the number.
std::string Block(int Number, const std::string& Data, bool Crc, int Complement = -1);
// Data cut into blocks of Size (the last one filled with Fill), numbered from 1.
std::string Blocks(const std::string& Data, int Size, bool Crc, char Fill);
// Data followed by Fill up to a whole number of Size-byte blocks (one block when empty).
std::string Padded(const std::string& Data, int Size, char Fill);

std::string RandomBytes(size_t Count, unsigned Variant);

}  // namespace frames
