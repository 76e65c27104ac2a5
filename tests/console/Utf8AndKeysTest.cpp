// SPDX-License-Identifier: GPL-3.0-or-later
// UTF-8 both ways, and the keys' sequences. A character split between pieces is shown
// whole through the window (ConsoleTest), in both displays.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/KeySequences.h"
#include "console/Utf8.h"

namespace {

std::u32string Decoded(Utf8Decoder& Decoder, const std::string& Bytes) {
  std::u32string out;
  Decoder.Decode(Bytes, [&](char32_t C) { out += C; });
  return out;
}

TEST(Utf8, EachIllFormedPartIsOneReplacement) {
  const char32_t R = ReplacementCharacter;
  const struct {
    std::string Bytes;
    std::u32string Expected;
  } cases[] = {
      {"a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", U"a\u00e9\u20ac\U0001F600"},
      {"\x80\xbf", {R, R}},                // stray continuation bytes
      {"\xc0\xaf\xc1\x81", {R, R, R, R}},  // over-long two-byte forms
      {"\xe0\x80\xaf", {R, R, R}},         // over-long three-byte form
      {"\xed\xa0\x80", {R, R, R}},         // a surrogate
      {"\xf4\x90\x80\x80", {R, R, R, R}},  // past U+10FFFF
      {"\xe2\x82" "a\xf0\x9f\x98" "b", {R, 'a', R, 'b'}},  // cut short: one for the part
      {"\xf5\xff", {R, R}},
  };
  for (const auto& c : cases) {
    Utf8Decoder decoder;
    EXPECT_EQ(Decoded(decoder, c.Bytes), c.Expected) << c.Bytes;
    EXPECT_FALSE(decoder.Holding());
  }
}

TEST(Utf8, EncodesEveryLengthAndReplacesWhatIsNoCharacter) {
  std::string out;
  for (char32_t c : {U'A', U'\u00e9', U'\u20ac', U'\U0001F600', char32_t(0xD800), char32_t(0x110000)})
    AppendUtf8(out, c);
  EXPECT_EQ(out, "A\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\xef\xbf\xbd\xef\xbf\xbd");
}

TEST(KeySequences, AsConsolesExpectThem) {
  const KeyModifiers none, ctrl{false, false, true}, shiftAlt{true, true, false};
  const struct {
    ConsoleKey Key;
    KeyModifiers Mods;
    bool Application;
    std::string Expected;
  } cases[] = {
      {ConsoleKey::Up, none, false, "\x1b[A"},        {ConsoleKey::Down, none, false, "\x1b[B"},
      {ConsoleKey::Right, none, false, "\x1b[C"},     {ConsoleKey::Left, none, false, "\x1b[D"},
      {ConsoleKey::Home, none, false, "\x1b[H"},      {ConsoleKey::End, none, false, "\x1b[F"},
      {ConsoleKey::Insert, none, false, "\x1b[2~"},   {ConsoleKey::Delete, none, false, "\x1b[3~"},
      {ConsoleKey::PageUp, none, false, "\x1b[5~"},   {ConsoleKey::PageDown, none, false, "\x1b[6~"},
      {ConsoleKey::Left, ctrl, false, "\x1b[1;5D"},   {ConsoleKey::Right, ctrl, true, "\x1b[1;5C"},
      {ConsoleKey::Up, none, true, "\x1bOA"},         {ConsoleKey::End, shiftAlt, false, "\x1b[1;4F"},
      {ConsoleKey::Delete, ctrl, false, "\x1b[3;5~"}, {ConsoleKey::F1, none, false, "\x1bOP"},
      {ConsoleKey::F4, ctrl, false, "\x1b[1;5S"},     {ConsoleKey::F5, none, false, "\x1b[15~"},
      {ConsoleKey::F12, none, false, "\x1b[24~"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(KeySequence(c.Key, c.Mods, c.Application), c.Expected) << static_cast<int>(c.Key);
  EXPECT_EQ(EnterBytes(esCR) + EnterBytes(esLF) + EnterBytes(esCRLF), "\r\n\r\n");
}

}  // namespace
