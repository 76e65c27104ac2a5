// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pane/TypedKeys.h"

#include <QKeyEvent>

namespace {

std::optional<char> ControlCode(int Key) {
  if (Key >= Qt::Key_A && Key <= Qt::Key_Z) return static_cast<char>(Key - Qt::Key_A + 1);
  switch (Key) {
    case Qt::Key_At:
    case Qt::Key_Space:
      return '\0';
    case Qt::Key_BracketLeft:
      return '\x1b';
    case Qt::Key_Backslash:
      return '\x1c';
    case Qt::Key_BracketRight:
      return '\x1d';
    case Qt::Key_AsciiCircum:
      return '\x1e';
    case Qt::Key_Underscore:
      return '\x1f';
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return '\n';
    case Qt::Key_Backspace:
      return '\x7f';
    default:
      return std::nullopt;
  }
}

std::optional<char> EditingKeyCharacter(int Key) {
  switch (Key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return '\r';
    case Qt::Key_Backspace:
      return '\b';
    case Qt::Key_Escape:
      return '\x1b';
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return '\t';
    default:
      return std::nullopt;
  }
}

// Qt numbers the keys that have no character of their own from 0x01000000 on.
bool IsSpecialKey(int Key) { return Key >= Qt::Key_Escape && Key != Qt::Key_unknown; }

}  // namespace

char ByteOfCharacter(QChar Character) {
  return Character.unicode() < 256 ? static_cast<char>(Character.unicode()) : '?';
}

std::string KeystrokesOfText(const QString& Text) {
  std::string keys;
  keys.reserve(static_cast<size_t>(Text.size()));
  for (qsizetype i = 0; i < Text.size(); ++i) {
    if (Text[i] == u'\r' && i + 1 < Text.size() && Text[i + 1] == u'\n') ++i;
    keys += Text[i] == u'\n' ? '\r' : ByteOfCharacter(Text[i]);
  }
  return keys;
}

std::optional<char> CharacterOfKey(const QKeyEvent& Event) {
  const Qt::KeyboardModifiers mods = Event.modifiers();
  if (mods & (Qt::AltModifier | Qt::MetaModifier)) return std::nullopt;
  const int key = Event.key();
  if (mods & Qt::ControlModifier) return ControlCode(key);
  if (std::optional<char> editing = EditingKeyCharacter(key)) return editing;
  if (IsSpecialKey(key)) return std::nullopt;
  const QString text = Event.text();
  if (text.isEmpty() || text[0].unicode() < 32 || text[0].unicode() == 127) return std::nullopt;
  return ByteOfCharacter(text[0]);
}
