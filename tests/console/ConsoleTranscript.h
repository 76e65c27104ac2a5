// SPDX-License-Identifier: GPL-3.0-or-later
// What the console parser gives, written down: text runs in quotes with their style,
// actions by their ECMA-48 names. Runs that follow each other in one style are joined,
// so that a transcript does not depend on how the input was cut into pieces.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "console/AnsiParser.h"

class ConsoleTranscript : public TerminalActions {
 public:
  std::string Take() {
    CloseRun();
    std::string all;
    all.swap(out_);
    return all;
  }

  void Text(std::u16string_view Run, const TextStyle& Style) override {
    if (!run_.empty() && !(Style == runStyle_)) CloseRun();
    runStyle_ = Style;
    for (char16_t c : Run) run_ += c < 0x80 ? std::string(1, static_cast<char>(c)) : Hex(c, "U+");
  }

  void Act(const TermAction& Action) override {
    CloseRun();
    // "#": the action's first parameter follows its name.
    static const char* const Names[] = {"CR", "LF", "IND", "RI", "BS", "HT", "CUU#", "CUD#", "CUF#", "CUB#",
                                        "CHA#", "VPA#", "CUP", "EL#", "ED#", "ICH#", "DCH#", "ECH#", "SC", "RC",
                                        "DSR5", "DSR6", "DA", "DECCKM#", "RIS", ""};
    std::string word = Names[static_cast<int>(Action.Op)];
    if (!word.empty() && word.back() == '#') {
      word.pop_back();
      word += std::to_string(Action.A);
    }
    if (Action.Op == TermOp::CursorPosition)
      word += "(" + std::to_string(Action.A) + "," + std::to_string(Action.B) + ")";
    if (Action.Op == TermOp::Unshown) word = "[" + Hex(static_cast<char32_t>(Action.A), "") + "]";
    Word(word);
  }

 private:
  static std::string Hex(char32_t C, const char* Prefix) {
    char text[16];
    std::snprintf(text, sizeof text, C < 0x100 && !*Prefix ? "%s%02X" : "%s%04X", Prefix,
                  static_cast<unsigned>(C));
    return text;
  }

  static std::string Colour(const char* Name, const TermColour& C) {
    if (C.Source == TermColour::Default) return "";
    if (C.Source == TermColour::Indexed) return std::string(Name) + std::to_string(C.Value) + ",";
    char rgb[16];
    std::snprintf(rgb, sizeof rgb, "#%06X,", static_cast<unsigned>(C.Value));
    return std::string(Name) + rgb;
  }

  void CloseRun() {
    if (run_.empty()) return;
    const TextStyle& s = runStyle_;
    std::string style = Colour("fg", s.Foreground) + Colour("bg", s.Background) + (s.Bold ? "b," : "") +
                        (s.Faint ? "f," : "") + (s.Italic ? "i," : "") + (s.Underline ? "u," : "") +
                        (s.Inverse ? "r," : "") + (s.Strike ? "s," : "");
    if (!style.empty()) style = "{" + style.substr(0, style.size() - 1) + "}";
    Word("'" + run_ + "'" + style);
    run_.clear();
  }

  void Word(const std::string& W) { out_ += (out_.empty() ? "" : " ") + W; }

  std::string out_;
  std::string run_;
  TextStyle runStyle_;
};
