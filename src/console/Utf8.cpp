// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/Utf8.h"

bool Utf8Decoder::Start(unsigned char Byte) {
  low_ = 0x80;
  high_ = 0xBF;
  if (Byte >= 0xC2 && Byte <= 0xDF) {
    needed_ = 1;
    code_ = Byte & 0x1Fu;
  } else if (Byte >= 0xE0 && Byte <= 0xEF) {
    needed_ = 2;
    code_ = Byte & 0x0Fu;
    if (Byte == 0xE0) low_ = 0xA0;   // no over-long forms
    if (Byte == 0xED) high_ = 0x9F;  // no surrogates
  } else if (Byte >= 0xF0 && Byte <= 0xF4) {
    needed_ = 3;
    code_ = Byte & 0x07u;
    if (Byte == 0xF0) low_ = 0x90;
    if (Byte == 0xF4) high_ = 0x8F;  // nothing past U+10FFFF
  } else {
    return false;
  }
  return true;
}

std::string Utf8Decoder::WholeCharacters(std::string_view Bytes) {
  std::string out;
  out.reserve(Bytes.size());
  Decode(Bytes, [&out](char32_t Code) { AppendUtf8(out, Code); });
  return out;
}

void AppendUtf8(std::string& Out, char32_t Code) {
  if (Code > 0x10FFFF || (Code >= 0xD800 && Code <= 0xDFFF)) Code = ReplacementCharacter;
  if (Code < 0x80) {
    Out += static_cast<char>(Code);
  } else if (Code < 0x800) {
    Out += static_cast<char>(0xC0 | (Code >> 6));
    Out += static_cast<char>(0x80 | (Code & 0x3F));
  } else if (Code < 0x10000) {
    Out += static_cast<char>(0xE0 | (Code >> 12));
    Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Code & 0x3F));
  } else {
    Out += static_cast<char>(0xF0 | (Code >> 18));
    Out += static_cast<char>(0x80 | ((Code >> 12) & 0x3F));
    Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Code & 0x3F));
  }
}
