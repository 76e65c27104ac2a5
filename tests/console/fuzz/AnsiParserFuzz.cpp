// SPDX-License-Identifier: GPL-3.0-or-later
// Random board output through the console parser. Whatever comes, it must not crash, hold
// more than its bounded length, keep a sequence for ever, or read the same bytes
// differently when they arrive cut into other pieces; text runs hold printable
// characters only.
//
// Input: one configuration byte, then the bytes received.
//   bit 0     UTF-8 (1) or Latin-1 (0)
//   bits 1-7  the size of the pieces of the second reading (1 to 128 bytes)
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "../ConsoleTranscript.h"

namespace {

void Check(bool Holds, const char* What) {
  if (!Holds) {
    std::fprintf(stderr, "%s\n", What);
    std::abort();
  }
}

// A transcript that also checks every run and action as it comes.
class CheckedTranscript : public ConsoleTranscript {
 public:
  void Text(std::u16string_view Run, const TextStyle& Style) override {
    Check(!Run.empty(), "an empty run");
    for (char16_t c : Run)
      Check(c >= 0x20 && c != 0x7F && (c < 0x80 || c >= 0xA0), "a control character in a run");
    ConsoleTranscript::Text(Run, Style);
  }
  void Act(const TermAction& Action) override {
    Check(Action.A >= 0 && Action.A <= 99999 && Action.B >= 0 && Action.B <= 99999,
          "a parameter out of range");
    ConsoleTranscript::Act(Action);
  }
};

std::string Read(std::string_view Bytes, bool Utf8, size_t Piece, AnsiParser& Parser) {
  Parser.SetUtf8(Utf8);
  CheckedTranscript out;
  for (size_t at = 0; at < Bytes.size(); at += Piece) {
    Parser.Feed(Bytes.substr(at, Piece), out);
    Check(Parser.Held() <= AnsiParser::StringLimit + 1, "more held than the limit");
  }
  // Printable characters that end no sequence: whatever was held is done or given up
  // by the time the longest limit has passed.
  Parser.Feed(std::string(AnsiParser::StringLimit + 1, '.'), out);
  Check(Parser.Held() == 0, "a sequence held for ever");
  return out.Take();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size == 0) return 0;
  const bool utf8 = Data[0] & 1;
  const size_t piece = 1 + (Data[0] >> 1);
  const std::string_view bytes(reinterpret_cast<const char*>(Data + 1), Size - 1);
  AnsiParser whole, pieces;
  Check(Read(bytes, utf8, bytes.size() + 1, whole) == Read(bytes, utf8, piece, pieces),
        "pieces read differently from the whole");
  return 0;
}
