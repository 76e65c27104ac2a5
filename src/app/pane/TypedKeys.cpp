// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pane/TypedKeys.h"

#include <QKeyEvent>
#include <QStringView>

#include "console/Utf8.h"

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

std::optional<ConsoleKey> ConsoleKeyOf(int Key) {
  switch (Key) {
    case Qt::Key_Up: return ConsoleKey::Up;
    case Qt::Key_Down: return ConsoleKey::Down;
    case Qt::Key_Right: return ConsoleKey::Right;
    case Qt::Key_Left: return ConsoleKey::Left;
    case Qt::Key_Home: return ConsoleKey::Home;
    case Qt::Key_End: return ConsoleKey::End;
    case Qt::Key_Insert: return ConsoleKey::Insert;
    case Qt::Key_Delete: return ConsoleKey::Delete;
    case Qt::Key_PageUp: return ConsoleKey::PageUp;
    case Qt::Key_PageDown: return ConsoleKey::PageDown;
    default: break;
  }
  if (Key >= Qt::Key_F1 && Key <= Qt::Key_F12)
    return static_cast<ConsoleKey>(static_cast<int>(ConsoleKey::F1) + (Key - Qt::Key_F1));
  return std::nullopt;
}

// The pane keeps its clipboard keys (Shift+Insert, Ctrl+Insert, Shift+Delete) and
// scrolls its history with Shift+Page Up and Page Down.
bool PaneKeepsKey(int Key, Qt::KeyboardModifiers Mods) {
  const bool shift = Mods == Qt::ShiftModifier, ctrl = Mods == Qt::ControlModifier;
  return (Key == Qt::Key_Insert && (shift || ctrl)) || (Key == Qt::Key_Delete && shift) ||
         ((Key == Qt::Key_PageUp || Key == Qt::Key_PageDown) && shift);
}

std::optional<std::string> ConsoleKeySequence(const QKeyEvent& Event, const KeyboardMode& Mode) {
  const Qt::KeyboardModifiers mods = Event.modifiers() & ~Qt::KeypadModifier;
  const std::optional<ConsoleKey> key = ConsoleKeyOf(Event.key());
  if (!key || (mods & Qt::MetaModifier) || PaneKeepsKey(Event.key(), mods)) return std::nullopt;
  const KeyModifiers modifiers{(mods & Qt::ShiftModifier) != 0, (mods & Qt::AltModifier) != 0,
                               (mods & Qt::ControlModifier) != 0};
  return KeySequence(*key, modifiers, Mode.ApplicationCursorKeys);
}

bool IsEnterKey(const QKeyEvent& Event) {
  return (Event.key() == Qt::Key_Return || Event.key() == Qt::Key_Enter) &&
         !(Event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
}

std::string Utf8Of(char32_t Code) {
  std::string bytes;
  AppendUtf8(bytes, Code);
  return bytes;
}

}  // namespace

char ByteOfCharacter(QChar Character) {
  return Character.unicode() < 256 ? static_cast<char>(Character.unicode()) : '?';
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

std::optional<std::string> KeystrokeOfKey(const QKeyEvent& Event, const KeyboardMode& Mode) {
  const std::optional<char> character = CharacterOfKey(Event);
  if (!character) return Mode.AnsiKeys ? ConsoleKeySequence(Event, Mode) : std::nullopt;
  if (IsEnterKey(Event)) return EnterBytes(Mode.Enter);
  const QString text = Event.text();
  const bool typedCharacter = !(Event.modifiers() & Qt::ControlModifier) && !text.isEmpty();
  if (Mode.Utf8 && typedCharacter && text[0].unicode() >= 0x80)
    return Utf8Of(QStringView(text).toUcs4().value(0, ReplacementCharacter));
  return std::string(1, *character);
}

std::vector<Keystroke> KeystrokesOfPaste(const QString& Text, const KeyboardMode& Mode) {
  std::vector<Keystroke> keys;
  keys.reserve(static_cast<size_t>(Text.size()));
  const std::string enter = EnterBytes(Mode.Enter);
  for (qsizetype i = 0; i < Text.size(); ++i) {
    const QChar c = Text[i];
    if (c == u'\r' && i + 1 < Text.size() && Text[i + 1] == u'\n') ++i;
    if (c == u'\r' || c == u'\n') {
      keys.push_back({enter, true});
    } else if (Mode.Utf8 && c.unicode() >= 0x80) {
      const bool pair = c.isHighSurrogate() && i + 1 < Text.size() && Text[i + 1].isLowSurrogate();
      keys.push_back({Utf8Of(pair ? QChar::surrogateToUcs4(c, Text[++i]) : c.isSurrogate() ? ReplacementCharacter : c.unicode())});
    } else {
      keys.push_back({std::string(1, ByteOfCharacter(c))});
    }
  }
  return keys;
}
