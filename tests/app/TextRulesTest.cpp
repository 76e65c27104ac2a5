// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "app/SpecialChars.h"
#include "app/TextLines.h"

using Lines = std::vector<std::string>;

TEST(TextLines, SplitsAtEveryKindOfLineEnd) {
  EXPECT_EQ(SplitTextLines("a\rb\nc\r\nd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitTextLines("a\n\rb"), (Lines{"a", "", "b"}));  // LF CR is two line ends
  EXPECT_EQ(SplitTextLines("a\r\n"), (Lines{"a"}));           // no extra empty last line
  EXPECT_EQ(SplitTextLines("a\r\n\r\n"), (Lines{"a", ""}));
  EXPECT_EQ(SplitTextLines("\n"), (Lines{""}));
  EXPECT_EQ(SplitTextLines(""), Lines{});
  EXPECT_EQ(SplitTextLines(std::string("10 PRINT\n20 END\0\nignored", 23)), (Lines{"10 PRINT", "20 END"}));
}

TEST(TextLines, KeysCompareTheLastThreeCharactersWithoutCase) {
  EXPECT_EQ(FileExtensionKey("/home/u/prog.HeX"), "HEX");
  EXPECT_EQ(PatternKey("*.hex"), "HEX");
  EXPECT_EQ(FileExtensionKey("/home/u/prog.basic"), "SIC");
  EXPECT_EQ(FileExtensionKey("/home/u/a.c"), ".C");  // a one-letter extension keeps its dot
  EXPECT_NE(PatternKey("*.c"), FileExtensionKey("/x/a.c"));
  EXPECT_EQ(PatternKey(".c"), FileExtensionKey("/x/a.c"));
  EXPECT_EQ(FileExtensionKey("/home/u.dir/Makefile"), "");  // the dot is in a folder name
  EXPECT_EQ(PatternKey(""), FileExtensionKey("/x/noext"));
  EXPECT_EQ(FileExtensionKey("/x/prog.fth1"), "TH1");
}

TEST(SpecialChars, FoldsCodesUntilAStopperAndCopiesTheStopper) {
  EXPECT_EQ(ConvertSpecialChars("ATZ#13"), "ATZ\r");
  EXPECT_EQ(ConvertSpecialChars("#65 #66"), "A B");
  EXPECT_EQ(ConvertSpecialChars("#7"), "\x07");
  EXPECT_EQ(ConvertSpecialChars("#255"), "\xFF");
  EXPECT_EQ(ConvertSpecialChars("#300"), ",");      // 300 modulo 256 is 44
  EXPECT_EQ(ConvertSpecialChars("#65#66"), "\x16");  // back to back: one number, 65#66 folded
  EXPECT_EQ(ConvertSpecialChars("#13\nx"), "\r\nx");
}

TEST(SpecialChars, EndsAtTheFirstNulAndKeepsAtMostAHundredBytes) {
  EXPECT_EQ(ConvertSpecialChars("abc#"), "abc");
  EXPECT_EQ(ConvertSpecialChars("a#0 b"), "a");
  EXPECT_EQ(ConvertSpecialChars("a#0b"), "a2");  // the letter folds into the code: 0 * 10 + 50
  EXPECT_EQ(ConvertSpecialChars("a# b"), "a");
  EXPECT_EQ(ConvertSpecialChars(""), "");
  EXPECT_EQ(ConvertSpecialChars(std::string(150, 'x')), std::string(100, 'x'));
  EXPECT_EQ(ConvertSpecialChars(std::string(99, 'x') + "#65 tail"), std::string(99, 'x') + "A");
}
