// SPDX-License-Identifier: GPL-3.0-or-later
// How a text is shaped before it reaches the terminal pane: control characters made
// visible, backspaces applied, line ends completed. Texts are bytes: one a character,
// or, with Utf8, whole UTF-8 characters.
#pragma once

#include <string>

// Every character below 32 or above 127 as "[hh]", scanning all but the last character.
// With Utf8 the characters above 127 are text and stay as they are.
std::string ShowControlChars(const std::string& Text, bool Utf8 = false);

// Drops each backspace with the character before it (with Utf8, all its bytes). True
// when a backspace found nothing before it in the text: then the pane's last character
// is to be replaced.
bool ApplyBackspaces(std::string& Text, bool Utf8 = false);

// An LF after every CR not followed by one (a CR at the end included).
std::string AddLineFeeds(const std::string& Text);
// A CR before every LF not preceded by one (an LF at the start included).
std::string AddCarriageReturns(const std::string& Text);

// Where a received text holds a clear-screen sequence: only its first ESC counts.
struct ClearScreenSplit {
  bool HasEscape = false;
  std::string Before;  // the text before the first ESC (all of it when there is none)
  bool Clears = false;  // that ESC starts ESC [ 2 J or ESC [ 1 J
  std::string After;   // what follows the sequence, or the lone ESC
};
ClearScreenSplit SplitAtClearScreen(const std::string& Text);
