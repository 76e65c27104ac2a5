// SPDX-License-Identifier: GPL-3.0-or-later
// CRC-16 of XMODEM blocks: polynomial 0x1021, initial value 0, most significant bit
// first, no reflection, no final exclusive-or. Computed byte by byte through a table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace crc16 {

// Entry i is the CRC of the single byte i from initial value 0.
const std::array<uint16_t, 256>& Table();

inline uint16_t Update(uint16_t Crc, uint8_t Byte) {
  return static_cast<uint16_t>(Table()[(Crc >> 8) ^ Byte] ^ (Crc << 8));
}

uint16_t Compute(const uint8_t* Data, size_t Count);

}  // namespace crc16
