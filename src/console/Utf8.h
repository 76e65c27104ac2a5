// SPDX-License-Identifier: GPL-3.0-or-later
// UTF-8 for what the board sends and what is typed to it. A character split between two
// received pieces is kept until its rest arrives; each maximal ill-formed part of the
// input (a stray continuation byte, a sequence cut short, an over-long or surrogate
// form) becomes one U+FFFD, as Unicode recommends.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

constexpr char32_t ReplacementCharacter = 0xFFFD;

class Utf8Decoder {
 public:
  // Calls Emit(char32_t) for every character completed by Bytes.
  template <typename Fn>
  void Decode(std::string_view Bytes, Fn&& Emit) {
    for (char byte : Bytes) Step(static_cast<unsigned char>(byte), Emit);
  }

  // The characters completed by Bytes, as well-formed UTF-8.
  std::string WholeCharacters(std::string_view Bytes);

  // A character's first bytes are waiting for the rest.
  bool Holding() const { return needed_ != 0; }
  void Reset() { needed_ = 0; }

 private:
  template <typename Fn>
  void Step(unsigned char Byte, Fn& Emit) {
    if (needed_ != 0) {
      if (Byte >= low_ && Byte <= high_) {
        code_ = (code_ << 6) | (Byte & 0x3Fu);
        low_ = 0x80;
        high_ = 0xBF;
        if (--needed_ == 0) Emit(code_);
        return;
      }
      needed_ = 0;  // cut short: the part so far is one bad character, Byte starts afresh
      Emit(ReplacementCharacter);
    }
    if (Byte < 0x80) {
      Emit(static_cast<char32_t>(Byte));
    } else if (!Start(Byte)) {
      Emit(ReplacementCharacter);
    }
  }

  // A lead byte: how many continuation bytes follow and the range the first must be in.
  bool Start(unsigned char Byte);

  int needed_ = 0;
  char32_t code_ = 0;
  unsigned char low_ = 0x80, high_ = 0xBF;
};

// Appends the UTF-8 form of Code (a surrogate or a value past U+10FFFF as U+FFFD).
void AppendUtf8(std::string& Out, char32_t Code);
