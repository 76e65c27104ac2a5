// SPDX-License-Identifier: GPL-3.0-or-later
// Received bytes as rows of 16 in hexdump -C's layout, so that a view of them compares
// with hexdump -C of a file: the offset, the bytes in hexadecimal (an extra space after
// the eighth), and the bytes as text between bars, "." for anything outside 32 to 126.
// A partial last row is completed in place as more bytes come.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct HexRow {
  bool ReplacesLast = false;  // replaces the row put last: that row was partial
  std::string Text;           // one row, without a line end
};

class HexRows {
 public:
  static constexpr size_t Width = 16;

  // The rows to put for Bytes, in order: the partial row left before, completed further,
  // then new rows, the last of them perhaps partial again.
  std::vector<HexRow> Add(std::string_view Bytes);
  // Offsets count from 0 again from the next byte on, in a row of their own.
  void Restart();

  // One row of 1 to 16 bytes starting at Offset.
  static std::string Format(uint64_t Offset, std::string_view Bytes);

 private:
  uint64_t rowOffset_ = 0;  // of the row being filled
  std::string partial_;     // its bytes so far (fewer than Width)
};
