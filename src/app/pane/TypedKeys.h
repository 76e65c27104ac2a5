// SPDX-License-Identifier: GPL-3.0-or-later
// The character a key press produces in the terminal pane, as one byte: printable
// characters as typed (Latin-1; others as '?'), Enter 13, Backspace 8, Escape 27, Tab 9,
// Ctrl with a letter or one of @ [ \ ] ^ _ its control code, Ctrl+Enter 10 and
// Ctrl+Backspace 127. Keys that move or edit without producing a character (arrows,
// Delete, Page Up, function keys), modifiers alone and Alt or Meta combinations
// produce none.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "console/KeySequences.h"

class QKeyEvent;

std::optional<char> CharacterOfKey(const QKeyEvent& Event);
// One byte for a character of composed input (an input method's commit string).
char ByteOfCharacter(QChar Character);

// How keys become bytes beyond the plain rules above: the keys without a character as a
// console expects them (AnsiKeys), characters outside ASCII as UTF-8, and Enter.
struct KeyboardMode {
  bool AnsiKeys = false;
  bool ApplicationCursorKeys = false;
  bool Utf8 = false;
  TEnterSends Enter = esCR;
};

// The bytes of one key, or none (a modifier alone, a key the pane keeps for itself).
std::optional<std::string> KeystrokeOfKey(const QKeyEvent& Event, const KeyboardMode& Mode);

// A text typed out key by key: each line end (CR LF, LF or CR) as Enter sends it, every
// other character as ByteOfCharacter (or as UTF-8).
struct Keystroke {
  std::string Bytes;
  bool LineEnd = false;
};
std::vector<Keystroke> KeystrokesOfPaste(const QString& Text, const KeyboardMode& Mode);
