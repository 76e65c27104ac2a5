// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/TextStyle.h"

namespace {

// Black, red, green, yellow, blue, magenta, cyan, white; then the bright forms.
constexpr uint32_t Basic[16] = {0x000000, 0xCD0000, 0x00CD00, 0xCDCD00, 0x0000EE, 0xCD00CD,
                                0x00CDCD, 0xE5E5E5, 0x7F7F7F, 0xFF0000, 0x00FF00, 0xFFFF00,
                                0x5C5CFF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

constexpr uint32_t CubeLevel[6] = {0x00, 0x5F, 0x87, 0xAF, 0xD7, 0xFF};

}  // namespace

uint32_t PaletteRgb(int Index) {
  if (Index < 0 || Index > 255) return 0;
  if (Index < 16) return Basic[Index];
  if (Index < 232) {
    const int n = Index - 16;
    return CubeLevel[n / 36] << 16 | CubeLevel[n / 6 % 6] << 8 | CubeLevel[n % 6];
  }
  const uint32_t grey = 8 + 10 * static_cast<uint32_t>(Index - 232);
  return grey << 16 | grey << 8 | grey;
}
