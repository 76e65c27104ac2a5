// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "framework/Exceptions.h"
#include "framework/IntConvert.h"

TEST(IntConvert, AcceptsDecimalHexadecimalSignsAndLeadingBlanks) {
  EXPECT_EQ(StrToInt("100"), 100);
  EXPECT_EQ(StrToInt("   100"), 100);
  EXPECT_EQ(StrToInt("$40"), 64);
  EXPECT_EQ(StrToInt("0x0D"), 13);
  EXPECT_EQ(StrToInt("X1f"), 31);
  EXPECT_EQ(StrToInt("-$10"), -16);
  EXPECT_EQ(StrToInt("+7"), 7);
  EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
  EXPECT_EQ(StrToInt("2147483647"), INT32_MAX);
}

TEST(IntConvert, RefusesWithTheMessageQuotingTheText) {
  for (const char* bad : {"", " ", "100 ", "12a", "$", "0x", "2147483648", "- 1", "1.5", "$1G"}) {
    try {
      StrToInt(bad);
      ADD_FAILURE() << "'" << bad << "' converted";
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), std::string("'") + bad + "' is not a valid integer value");
    }
  }
}
