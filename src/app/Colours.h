// SPDX-License-Identifier: GPL-3.0-or-later
// Colours as the settings file keeps them: red in bits 0-7, green 8-15, blue 16-23.
#pragma once

#include <QColor>

inline int ColourValue(const QColor& Colour) {
  return Colour.red() | (Colour.green() << 8) | (Colour.blue() << 16);
}

inline QColor ColourOfValue(int Value) {
  return QColor(Value & 0xFF, (Value >> 8) & 0xFF, (Value >> 16) & 0xFF);
}
