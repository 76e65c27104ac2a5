// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/Crc16.h"

namespace crc16 {

namespace {

constexpr uint16_t Polynomial = 0x1021;

constexpr std::array<uint16_t, 256> BuildTable() {
  std::array<uint16_t, 256> table{};
  for (int i = 0; i < 256; ++i) {
    uint16_t crc = static_cast<uint16_t>(i << 8);
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ Polynomial : crc << 1);
    table[i] = crc;
  }
  return table;
}

constexpr std::array<uint16_t, 256> table = BuildTable();

}  // namespace

const std::array<uint16_t, 256>& Table() { return table; }

uint16_t Compute(const uint8_t* Data, size_t Count) {
  uint16_t crc = 0;
  for (size_t i = 0; i < Count; ++i) crc = Update(crc, Data[i]);
  return crc;
}

}  // namespace crc16
