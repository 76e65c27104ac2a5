// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/KeySequences.h"

#include <iterator>

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

// Each key's final character (sent after ESC [ or ESC O), or its number (ESC [ n ~), in
// the order of ConsoleKey.
struct KeyForm {
  char Final;
  int Number;
};
constexpr KeyForm Forms[] = {
    {'A', 0}, {'B', 0}, {'C', 0}, {'D', 0}, {'H', 0}, {'F', 0}, {0, 2},  {0, 3},  {0, 5},  {0, 6},  {'P', 0},
    {'Q', 0}, {'R', 0}, {'S', 0}, {0, 15}, {0, 17}, {0, 18}, {0, 19}, {0, 20}, {0, 21}, {0, 23}, {0, 24},
};
static_assert(std::size(Forms) == static_cast<size_t>(ConsoleKey::F12) + 1);

}  // namespace

std::string KeySequence(ConsoleKey Key, KeyModifiers Modifiers, bool ApplicationCursorKeys) {
  const KeyForm form = Forms[static_cast<int>(Key)];
  if (form.Number != 0) return TildeKey(form.Number, Modifiers);
  // F1 to F4 are always in their ESC O form.
  return FinalKey(form.Final, Modifiers, ApplicationCursorKeys || Key >= ConsoleKey::F1);
}

std::string EnterBytes(TEnterSends Enter) {
  switch (Enter) {
    case esLF:
      return "\n";
    case esCRLF:
      return "\r\n";
    case esCR:
      break;
  }
  return "\r";
}
