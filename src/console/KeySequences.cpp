// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/KeySequences.h"

namespace {

// A modifier joins the sequence as a parameter: 1 + Shift 1 + Alt 2 + Ctrl 4.
std::string ModifierParam(KeyModifiers Modifiers) {
  return std::to_string(1 + (Modifiers.Shift ? 1 : 0) + (Modifiers.Alt ? 2 : 0) + (Modifiers.Ctrl ? 4 : 0));
}

// Keys sent as ESC [ final, or ESC O final in application form; with modifiers
// ESC [ 1 ; m final.
std::string FinalKey(char Final, KeyModifiers Modifiers, bool Application) {
  if (Modifiers.Any()) return "\x1b[1;" + ModifierParam(Modifiers) + Final;
  return std::string(Application ? "\x1bO" : "\x1b[") + Final;
}

// Keys sent as ESC [ n ~, with modifiers ESC [ n ; m ~.
std::string TildeKey(int Number, KeyModifiers Modifiers) {
  std::string sequence = "\x1b[" + std::to_string(Number);
  if (Modifiers.Any()) sequence += ";" + ModifierParam(Modifiers);
  return sequence + "~";
}

}  // namespace

std::string KeySequence(ConsoleKey Key, KeyModifiers Modifiers, bool ApplicationCursorKeys) {
  switch (Key) {
    case ConsoleKey::Up: return FinalKey('A', Modifiers, ApplicationCursorKeys);
    case ConsoleKey::Down: return FinalKey('B', Modifiers, ApplicationCursorKeys);
    case ConsoleKey::Right: return FinalKey('C', Modifiers, ApplicationCursorKeys);
    case ConsoleKey::Left: return FinalKey('D', Modifiers, ApplicationCursorKeys);
    case ConsoleKey::Home: return FinalKey('H', Modifiers, ApplicationCursorKeys);
    case ConsoleKey::End: return FinalKey('F', Modifiers, ApplicationCursorKeys);
    case ConsoleKey::F1: return FinalKey('P', Modifiers, true);
    case ConsoleKey::F2: return FinalKey('Q', Modifiers, true);
    case ConsoleKey::F3: return FinalKey('R', Modifiers, true);
    case ConsoleKey::F4: return FinalKey('S', Modifiers, true);
    case ConsoleKey::Insert: return TildeKey(2, Modifiers);
    case ConsoleKey::Delete: return TildeKey(3, Modifiers);
    case ConsoleKey::PageUp: return TildeKey(5, Modifiers);
    case ConsoleKey::PageDown: return TildeKey(6, Modifiers);
    case ConsoleKey::F5: return TildeKey(15, Modifiers);
    case ConsoleKey::F6: return TildeKey(17, Modifiers);
    case ConsoleKey::F7: return TildeKey(18, Modifiers);
    case ConsoleKey::F8: return TildeKey(19, Modifiers);
    case ConsoleKey::F9: return TildeKey(20, Modifiers);
    case ConsoleKey::F10: return TildeKey(21, Modifiers);
    case ConsoleKey::F11: return TildeKey(23, Modifiers);
    case ConsoleKey::F12: return TildeKey(24, Modifiers);
  }
  return {};
}

std::string EnterBytes(TEnterSends Enter) {
  switch (Enter) {
    case esLF: return "\n";
    case esCRLF: return "\r\n";
    case esCR: break;
  }
  return "\r";
}
