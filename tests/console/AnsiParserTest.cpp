// SPDX-License-Identifier: GPL-3.0-or-later
// The console parser on what boards send: each case is read whole and again one byte at
// a time (every sequence split between pieces), and must come out the same both ways.
#include <gtest/gtest.h>

#include "ConsoleTranscript.h"

namespace {

struct Case {
  const char* Name;
  std::string Input;
  std::string Expected;
  bool Utf8 = false;
};

void PrintTo(const Case& C, std::ostream* Out) { *Out << C.Name; }

std::string Read(const std::string& Input, bool Utf8, size_t Piece) {
  AnsiParser parser;
  parser.SetUtf8(Utf8);
  ConsoleTranscript out;
  for (size_t at = 0; at < Input.size(); at += Piece)
    parser.Feed(std::string_view(Input).substr(at, Piece), out);
  return out.Take();
}

class Parsed : public ::testing::TestWithParam<Case> {};

TEST_P(Parsed, WholeAndByteByByte) {
  const Case& c = GetParam();
  EXPECT_EQ(Read(c.Input, c.Utf8, c.Input.size() + 1), c.Expected) << "whole";
  EXPECT_EQ(Read(c.Input, c.Utf8, 1), c.Expected) << "byte by byte";
}

const std::string LongDigits(200, '7');
const std::string LongTitle(AnsiParser::StringLimit, 't');

INSTANTIATE_TEST_SUITE_P(
    Console, Parsed,
    ::testing::Values(
        // Colours and styles.
        Case{"EspIdfLogLine", "\x1b[0;32mI (312) cpu_start: Starting scheduler.\x1b[0m\r\n",
             "'I (312) cpu_start: Starting scheduler.'{fg2} CR LF"},
        Case{"BrightAndBackground", "\x1b[91;104ma\x1b[39mb\x1b[49mc", "'a'{fg9,bg12} 'b'{bg12} 'c'"},
        Case{"Styles", "\x1b[1;2;3;4;7;9mx\x1b[22;23;24;27;29my\x1b[4:0mz\x1b[21mw\x1b[mv",
             "'x'{b,f,i,u,r,s} 'yz' 'w'{u} 'v'"},
        Case{"Colours256And24Bit", "\x1b[38;5;208ma\x1b[48;2;1;2;3mb\x1b[38:2::10:20:30mc\x1b[38:5:99;1md",
             "'a'{fg208} 'b'{fg208,bg#010203} 'c'{fg#0A141E,bg#010203} 'd'{fg99,bg#010203,b}"},
        Case{"ExtendedColourCutShortIgnoresTheRest", "\x1b[38;5m\x1b[1;38;2;9;9mx", "'x'{b}"},
        // The line as a REPL redraws it.
        Case{"CursorMovesAndErases",
             "\x1b[5D\x1b[C\x1b[0C\x1b[12G\x1b[K\x1b[1K\x1b[2K\x1b[3A\x1b[B\x1b[2E\x1b[F",
             "CUB5 CUF1 CUF1 CHA11 EL0 EL1 EL2 CUU3 CUD1 CUD2 CR CUU1 CR"},
        Case{"ScreenAddressing", "\x1b[H\x1b[12;40H\x1b[;7f\x1b[5d\x1b[J\x1b[1J\x1b[2J\x1b[3J",
             "CUP(0,0) CUP(11,39) CUP(0,6) VPA4 ED0 ED1 ED2 ED3"},
        Case{"LineEditing", "\x1b[2@\x1b[P\x1b[3X\x1b[s\x1b" "7\x1b[u\x1b" "8\x1b" "D\x1b" "E\x1bM",
             "ICH2 DCH1 ECH3 SC SC RC RC IND CR IND RI"},
        Case{"Controls", std::string("a\rb\nc\bd\te\v\f\x07\x0e\x0f\x7f" "f\x01\0", 18),
             "'a' CR 'b' LF 'c' BS 'd' HT 'e' LF LF 'f' [01] [00]"},
        Case{"ReportsAndModes", "\x1b[5n\x1b[6n\x1b[c\x1b[0c\x1b[?1h\x1b[?25;1l\x1b" "c",
             "DSR5 DSR6 DA DA DECCKM1 DECCKM0 RIS"},
        // Understood and swallowed.
        Case{"Swallowed",
             "<\x1b]0;title\x07\x1b]8;;http://x/\x1b\\\x1b(B\x1b)0\x1b[?25l\x1b[>c\x1b[1;24r\x1b[!p\x1b[2 q"
             "\x1bP1$r\x1b\\\x1b_apc\x1b\\\x1b=\x1b>\x1b[4h\x1b[L\x1b[S\x1b[10;20s>",
             "'<>'"},
        Case{"ControlsActInsideASequence", "\x1b[1\r2\nm", "CR LF"},
        Case{"CancelledSequence", "\x1b[12\x18x\x1b]0;t\x1aw", "'xw'"},
        Case{"AStringEndedByANewSequence", "\x1b]0;title\x1b[31mx", "'x'{fg1}"},
        // Broken sequences are shown.
        Case{"EscapeEscape", "\x1b\x1bq", "[1B]"},  // the first given up, ESC q swallowed
        Case{"CharacterOutsideASCIIBreaksASequence", "\x1b[12\xe9" "a", "[1B] '[12U+00E9a'"},
        Case{"EscapeInterruptsASequence", "\x1b[12\x1b[1mb", "[1B] '[12' 'b'{b}"},
        Case{"OverlongSequenceIsGivenUp", "\x1b[" + LongDigits + "m", "[1B] '[" + LongDigits + "m'"},
        Case{"EndlessTitleIsGivenUp", "\x1b]" + LongTitle + "\r\n", "[1B] ']" + LongTitle + "' CR LF"},
        // Characters.
        Case{"Latin1", "caf\xe9 \x9b", "'cafU+00E9 ' [9B]"},
        Case{"Utf8", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "'cafU+00E9 U+20AC U+D83DU+DE00'", true},
        Case{"Utf8Invalid", "a\xff" "b\xc3" "c\xe2\x82\x1b[1md\xed\xa0\x80",
             "'aU+FFFDbU+FFFDcU+FFFD' 'dU+FFFDU+FFFDU+FFFD'{b}", true},
        Case{"Utf8C1IsAControl", "\xc2\x9b" "1m", "[9B] '1m'", true}),
    [](const ::testing::TestParamInfo<Case>& Info) { return std::string(Info.param.Name); });

TEST(AnsiParser, HoldsNothingOnceASequenceIsDoneOrGivenUp) {
  AnsiParser parser;
  ConsoleTranscript out;
  parser.Feed("\x1b]0;title", out);
  EXPECT_GT(parser.Held(), 0u);
  parser.Feed(std::string(AnsiParser::StringLimit, 'x'), out);
  EXPECT_EQ(parser.Held(), 0u);
  parser.Feed("\x1b[31", out);
  parser.Reset();
  EXPECT_EQ(parser.Held(), 0u);
  parser.Feed("x", out);
  out.Take();
  parser.Feed("y", out);
  EXPECT_EQ(out.Take(), "'y'");  // the style went with the reset
}

}  // namespace
