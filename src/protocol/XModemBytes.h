// SPDX-License-Identifier: GPL-3.0-or-later
// Control bytes of the XMODEM exchange and the block sizes.
#pragma once

#include <cstdint>

namespace xmodem {

constexpr uint8_t SOH = 0x01;  // header of a 128-byte block
constexpr uint8_t STX = 0x02;  // header of a 1024-byte block
constexpr uint8_t EOT = 0x04;  // end of transmission
constexpr uint8_t ACK = 0x06;
constexpr uint8_t NAK = 0x15;  // checksum start byte; block rejected
constexpr uint8_t CAN = 0x18;  // cancel, sent twice
constexpr uint8_t StartCrc = 'C';
constexpr uint8_t StartStreaming = 'G';

constexpr int ShortBlock = 128;
constexpr int LongBlock = 1024;
// Nothing but block numbers, EOT or ACKs can follow 10 times in a row.
constexpr int RetryLimit = 10;

inline bool IsStartByte(int Byte) {
  return Byte == NAK || Byte == StartCrc || Byte == StartStreaming;
}

}  // namespace xmodem
