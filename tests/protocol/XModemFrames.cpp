// SPDX-License-Identifier: GPL-3.0-or-later
#include "XModemFrames.h"

#include <random>

namespace frames {

uint16_t BitwiseCrc(const std::string& Data) {
  uint16_t crc = 0;
  for (unsigned char c : Data) {
    crc ^= static_cast<uint16_t>(c << 8);
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return crc;
}

uint8_t Sum(const std::string& Data) {
  unsigned sum = 0;
  for (unsigned char c : Data) sum += c;
  return static_cast<uint8_t>(sum);
}

std::string Block(int Number, const std::string& Data, bool Crc, int Complement) {
  const auto number = static_cast<uint8_t>(Number);
  std::string frame;
  frame += Data.size() == 128 ? SOH : STX;
  frame += static_cast<char>(number);
  frame += static_cast<char>(Complement < 0 ? 255 - number : Complement);
  frame += Data;
  if (Crc) {
    const uint16_t crc = BitwiseCrc(Data);
    frame += static_cast<char>(crc >> 8);
    frame += static_cast<char>(crc & 0xFF);
  } else {
    frame += static_cast<char>(Sum(Data));
  }
  return frame;
}

std::string Padded(const std::string& Data, int Size, char Fill) {
  size_t blocks = (Data.size() + Size - 1) / Size;
  if (blocks == 0) blocks = 1;
  std::string padded = Data;
  padded.resize(blocks * Size, Fill);
  return padded;
}

std::string Blocks(const std::string& Data, int Size, bool Crc, char Fill) {
  const std::string padded = Padded(Data, Size, Fill);
  std::string out;
  for (size_t at = 0, n = 1; at < padded.size(); at += Size, ++n)
    out += Block(static_cast<int>(n), padded.substr(at, Size), Crc);
  return out;
}

std::string RandomBytes(size_t Count, unsigned Variant) {
  std::mt19937 gen(0x7A51u * (Variant + 1));
  std::string out(Count, '\0');
  for (auto& c : out) c = static_cast<char>(gen() & 0xFF);
  return out;
}

}  // namespace frames
