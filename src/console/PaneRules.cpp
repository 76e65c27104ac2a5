// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/PaneRules.h"

#include <cstdio>

std::string ShowControlChars(const std::string& Text, bool Utf8) {
  std::string out;
  out.reserve(Text.size());
  const size_t last = Text.empty() ? 0 : Text.size() - 1;
  for (size_t i = 0; i < Text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(Text[i]);
    if (i < last && (c < 32 || (c > 127 && !Utf8))) {
      char notation[5];
      std::snprintf(notation, sizeof notation, "[%02X]", c);
      out += notation;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// Taking the first backspace again and again comes to the same as one pass with the
// text kept so far as a stack.
bool ApplyBackspaces(std::string& Text, bool Utf8) {
  if (Text.find('\b') == std::string::npos) return false;
  bool replaceLast = false;
  std::string out;
  out.reserve(Text.size());
  for (char c : Text) {
    if (c != '\b') {
      out += c;
    } else if (!out.empty()) {
      if (Utf8)
        while (out.size() > 1 && (static_cast<unsigned char>(out.back()) & 0xC0) == 0x80) out.pop_back();
      out.pop_back();
    } else {
      replaceLast = true;
    }
  }
  Text.swap(out);
  return replaceLast;
}

std::string AddLineFeeds(const std::string& Text) {
  std::string out;
  out.reserve(Text.size() + Text.size() / 16);
  for (size_t i = 0; i < Text.size(); ++i) {
    out += Text[i];
    if (Text[i] == '\r' && (i + 1 == Text.size() || Text[i + 1] != '\n')) out += '\n';
  }
  return out;
}

std::string AddCarriageReturns(const std::string& Text) {
  std::string out;
  out.reserve(Text.size() + Text.size() / 16);
  for (size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] == '\n' && (i == 0 || Text[i - 1] != '\r')) out += '\r';
    out += Text[i];
  }
  return out;
}

ClearScreenSplit SplitAtClearScreen(const std::string& Text) {
  ClearScreenSplit split;
  const size_t esc = Text.find('\x1b');
  if (esc == std::string::npos) {
    split.Before = Text;
    return split;
  }
  split.HasEscape = true;
  split.Before = Text.substr(0, esc);
  split.Clears = Text.compare(esc + 1, 3, "[2J") == 0 || Text.compare(esc + 1, 3, "[1J") == 0;
  split.After = Text.substr(esc + (split.Clears ? 4 : 1));
  return split;
}
