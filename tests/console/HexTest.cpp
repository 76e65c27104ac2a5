// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "console/HexBytes.h"
#include "console/HexRows.h"

namespace {

// Good text gives its bytes; faulty text says what is wrong and gives none.
TEST(HexBytes, TakesWholePairsWithSpacesCommasAndPrefixes) {
  const struct {
    const char* Text;
    std::string Bytes;
    const char* Error;
  } cases[] = {
      {"48 65 6c 6c 6f 0d", "Hello\r", ""},
      {"48656c6c6f0d", "Hello\r", ""},
      {"0x48,0x65", "He", ""},
      {" 0X0a,\t00 FF ,", std::string("\n\0\xff", 3), ""},
      {"0x4865 6C", "Hel", ""},
      {"48 6", "", "\"6\" at column 4 is not whole pairs of hexadecimal digits"},
      {"48 656", "", "\"656\" at column 4 is not whole pairs of hexadecimal digits"},
      {"0x", "", "\"0x\" at column 1 is not whole pairs of hexadecimal digits"},
      {"48 6g", "", "\"g\" at column 5 is no hexadecimal digit"},
      {"48;65", "", "\";\" at column 3 is no hexadecimal digit"},
      {"0x0x48", "", "\"x\" at column 4 is no hexadecimal digit"},
      {"48\x01", "", "\"[01]\" at column 3 is no hexadecimal digit"},
      {" , ", "", "Nothing to send: type bytes as pairs of hexadecimal digits"},
  };
  for (const auto& c : cases) {
    const HexBytes parsed = ParseHexBytes(c.Text);
    EXPECT_EQ(parsed.Error, c.Error) << c.Text;
    EXPECT_EQ(parsed.Bytes, c.Bytes) << c.Text;
  }
}

// Rows as hexdump -C prints "ABCDEFGHIJKLMNOPQR\0\xff\x7f ~".
TEST(HexRows, APartialRowIsCompletedInPlace) {
  HexRows rows;
  std::vector<HexRow> put = rows.Add("ABCDEFGHIJ");
  ASSERT_EQ(put.size(), 1u);
  EXPECT_FALSE(put[0].ReplacesLast);
  EXPECT_EQ(put[0].Text, "00000000  41 42 43 44 45 46 47 48  49 4a                    |ABCDEFGHIJ|");

  put = rows.Add(std::string("KLMNOPQR\0\xff\x7f ~", 13));
  ASSERT_EQ(put.size(), 2u);
  EXPECT_TRUE(put[0].ReplacesLast);
  EXPECT_EQ(put[0].Text, "00000000  41 42 43 44 45 46 47 48  49 4a 4b 4c 4d 4e 4f 50  |ABCDEFGHIJKLMNOP|");
  EXPECT_FALSE(put[1].ReplacesLast);
  EXPECT_EQ(put[1].Text, "00000010  51 52 00 ff 7f 20 7e                              |QR... ~|");

  rows.Restart();  // a new row at offset 0; the partial one stays as it was
  put = rows.Add("!");
  ASSERT_EQ(put.size(), 1u);
  EXPECT_FALSE(put[0].ReplacesLast);
  EXPECT_EQ(put[0].Text.substr(0, 13), "00000000  21 ");
  EXPECT_EQ(HexRows::Format(0x123456789, "A").substr(0, 11), "123456789  ");
}

}  // namespace
