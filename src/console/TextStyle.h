// SPDX-License-Identifier: GPL-3.0-or-later
// How a run of received text is drawn, as the board's SGR sequences set it: colours
// (the pane's own, one of 256, or 24-bit) and the styles.
#pragma once

#include <cstdint>

struct TermColour {
  enum Kind : uint8_t { Default, Indexed, Rgb };
  Kind Source = Default;
  uint32_t Value = 0;  // the palette index, or 0xRRGGBB

  static TermColour Index(int N) { return {Indexed, static_cast<uint32_t>(N)}; }
  static TermColour FromRgb(int R, int G, int B) {
    return {Rgb, static_cast<uint32_t>((R & 0xFF) << 16 | (G & 0xFF) << 8 | (B & 0xFF))};
  }
  bool operator==(const TermColour&) const = default;
};

struct TextStyle {
  TermColour Foreground, Background;
  bool Bold = false, Faint = false, Italic = false, Underline = false, Inverse = false, Strike = false;
  bool operator==(const TextStyle&) const = default;
};

// 0xRRGGBB of a palette entry: the 8 colours, their bright forms, a 6x6x6 cube and 24
// greys.
uint32_t PaletteRgb(int Index);
