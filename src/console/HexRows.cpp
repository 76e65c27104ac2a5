// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/HexRows.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

std::vector<HexRow> HexRows::Add(std::string_view Bytes) {
  std::vector<HexRow> rows;
  rows.reserve(Bytes.size() / Width + 2);
  bool replaces = !partial_.empty();
  while (!Bytes.empty()) {
    const size_t take = std::min(Width - partial_.size(), Bytes.size());
    partial_.append(Bytes.substr(0, take));
    Bytes.remove_prefix(take);
    rows.push_back({replaces, Format(rowOffset_, partial_)});
    replaces = false;
    if (partial_.size() == Width) {
      rowOffset_ += Width;
      partial_.clear();
    }
  }
  return rows;
}

void HexRows::Restart() {
  rowOffset_ = 0;
  partial_.clear();
}

std::string HexRows::Format(uint64_t Offset, std::string_view Bytes) {
  static const char Digits[] = "0123456789abcdef";
  char offset[24];
  std::snprintf(offset, sizeof offset, "%08" PRIx64 "  ", Offset);
  std::string row(offset);
  row.reserve(row.size() + 3 * Width + 1 + 2 + Width + 2);
  for (size_t i = 0; i < Width; ++i) {
    if (i < Bytes.size()) {
      const unsigned char c = static_cast<unsigned char>(Bytes[i]);
      row += Digits[c >> 4];
      row += Digits[c & 15];
      row += ' ';
    } else {
      row += "   ";
    }
    if (i == Width / 2 - 1) row += ' ';
  }
  row += " |";
  for (char c : Bytes) row += c >= 32 && c <= 126 ? c : '.';
  row += '|';
  return row;
}
