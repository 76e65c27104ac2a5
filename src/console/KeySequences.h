// SPDX-License-Identifier: GPL-3.0-or-later
// What the keys without a character of their own send to a console, in the VT220 and
// xterm forms boards expect, and what the Enter key sends.
#pragma once

#include <string>

enum class ConsoleKey {
  Up, Down, Right, Left, Home, End, Insert, Delete, PageUp, PageDown,
  F1, F2, F3, F4, F5, F6, F7, F8, F9, F10, F11, F12,
};

struct KeyModifiers {
  bool Shift = false, Alt = false, Ctrl = false;
  bool Any() const { return Shift || Alt || Ctrl; }
};

// ApplicationCursorKeys: the board asked for the arrows' application form (ESC O A).
std::string KeySequence(ConsoleKey Key, KeyModifiers Modifiers, bool ApplicationCursorKeys);

enum TEnterSends { esCR, esLF, esCRLF };
std::string EnterBytes(TEnterSends Enter);
