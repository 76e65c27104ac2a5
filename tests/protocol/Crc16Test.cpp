// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "XModemFrames.h"
#include "protocol/Crc16.h"

namespace {

uint16_t TableCrc(const std::string& Data) {
  return crc16::Compute(reinterpret_cast<const uint8_t*>(Data.data()), Data.size());
}

TEST(Crc16, KnownCheckValues) {
  EXPECT_EQ(TableCrc("123456789"), 0x31C3);  // the CRC-16/XMODEM check value
  EXPECT_EQ(TableCrc(""), 0x0000);
  EXPECT_EQ(TableCrc(std::string(1024, '\0')), 0x0000);
  EXPECT_EQ(TableCrc("A"), 0x58E5);
}

TEST(Crc16, TableEntriesAreTheCrcOfTheirOwnByte) {
  for (int i = 0; i < 256; ++i)
    EXPECT_EQ(crc16::Table()[i], frames::BitwiseCrc(std::string(1, static_cast<char>(i)))) << i;
}

TEST(Crc16, AgreesWithTheBitwiseComputationOnBlocks) {
  for (unsigned variant = 0; variant < 20; ++variant) {
    const std::string block = frames::RandomBytes(variant % 2 ? 1024 : 128, variant);
    EXPECT_EQ(TableCrc(block), frames::BitwiseCrc(block)) << variant;
  }
}

}  // namespace
