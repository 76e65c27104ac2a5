// SPDX-License-Identifier: GPL-3.0-or-later
// UTF-8 both ways. A character split between pieces is shown whole through the window
// (ConsoleTest), in both displays; the keys' sequences are proved from the keyboard
// (ConsoleKeysTest).
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

}  // namespace
