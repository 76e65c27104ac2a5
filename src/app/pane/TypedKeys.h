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

class QKeyEvent;

std::optional<char> CharacterOfKey(const QKeyEvent& Event);
// One byte for a character of composed input (an input method's commit string).
char ByteOfCharacter(QChar Character);
// The bytes the keyboard would give for a text typed out: each line end (CR LF, LF or CR)
// as Enter gives it, every other character as ByteOfCharacter.
std::string KeystrokesOfText(const QString& Text);
