// SPDX-License-Identifier: GPL-3.0-or-later
// What a board's console output asks of a terminal: bytes in (Latin-1 or UTF-8), runs of
// printable text in their style and cursor, erase and report actions out. Sequences are
// read as ECMA-48 shapes them (ESC, CSI, OSC and the other strings), so one split between
// received pieces is recognised whole. Those a line-oriented pane has no use for are
// swallowed; a sequence that breaks the shape, or grows past a bounded length, is given
// up and its characters shown as text.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "console/TextStyle.h"
#include "console/Utf8.h"

enum class TermOp : uint8_t {
  CarriageReturn,
  LineFeed,      // LF, VT, FF
  Index,         // down one line, the column kept (ESC D)
  ReverseIndex,  // up one line (ESC M)
  Backspace,
  Tab,
  CursorUp,        // A: count
  CursorDown,      // A: count
  CursorForward,   // A: count
  CursorBack,      // A: count
  CursorColumn,    // A: column, from 0
  CursorRow,       // A: row of the screen, from 0
  CursorPosition,  // A: row, B: column, from 0
  EraseInLine,     // A: 0 to the end, 1 from the start, 2 all
  EraseInDisplay,  // A: 0 below, 1 above, 2 all, 3 the lines scrolled off
  InsertBlanks,    // A: count
  DeleteChars,     // A: count
  EraseChars,      // A: count
  SaveCursor,
  RestoreCursor,
  ReportStatus,  // DSR 5: the board asks whether the terminal is well
  ReportCursor,  // DSR 6: the board asks where the cursor is
  ReportDevice,  // DA: the board asks what the terminal is
  CursorKeys,    // A: 1 when the arrow keys are to send their application form
  Reset,         // RIS
  Unshown,       // A: a control character that is not acted on (C0 or C1), or an ESC given up
};

struct TermAction {
  TermOp Op;
  int A = 0, B = 0;
  bool operator==(const TermAction&) const = default;
};

class TerminalActions {
 public:
  virtual ~TerminalActions() = default;
  // Printable characters, as UTF-16.
  virtual void Text(std::u16string_view Run, const TextStyle& Style) = 0;
  virtual void Act(const TermAction& Action) = 0;
};

class AnsiParser {
 public:
  // A control sequence or escape held longer than this is given up; a string (OSC,
  // DCS, SOS, PM, APC) too, at the longer limit.
  static constexpr size_t SequenceLimit = 128;
  static constexpr size_t StringLimit = 4096;

  void SetUtf8(bool Utf8);
  void Feed(std::string_view Bytes, TerminalActions& Out);
  // Forgets a sequence or character in progress and the style: a fresh start.
  void Reset();

  const TextStyle& Style() const { return style_; }
  // Characters held for a sequence or a split character not yet complete.
  size_t Held() const { return held_.size() + (decoder_.Holding() ? 1 : 0); }

 private:
  enum State : uint8_t { Ground, Escape, EscapeIntermediate, Csi, String, StringEscape };

  void Put(char32_t C, TerminalActions& Out);
  void Control(char32_t C, TerminalActions& Out);
  bool Interrupts(char32_t C, TerminalActions& Out);
  void StepEscape(char32_t C, TerminalActions& Out);
  void StepCsi(char32_t C, TerminalActions& Out);
  void StepString(char32_t C, TerminalActions& Out);
  void Begin(State S, char32_t C);
  bool Hold(char32_t C, size_t Limit, TerminalActions& Out);
  void GiveUp(TerminalActions& Out);
  void EscapeDispatch(char32_t Final, TerminalActions& Out);
  void CsiDispatch(char32_t Final, TerminalActions& Out);
  void PrivateModes(bool On, TerminalActions& Out);
  void PushParam();
  void SelectGraphicRendition();
  void ExtendedColour(size_t& I, TermColour& Colour);
  void Flush(TerminalActions& Out);
  void Emit(TerminalActions& Out, TermOp Op, int A = 0, int B = 0);
  void AppendText(char32_t C);

  // One parameter of a control sequence; Sub marks one joined to the one before by ':'.
  struct Param {
    int Value;  // -1 when left empty
    bool Sub;
  };
  static constexpr size_t MaxParams = 32;
  int ParamOr(size_t I, int Default) const;
  int CountParam(size_t I) const;  // a count: empty or 0 mean 1

  bool utf8_ = false;
  Utf8Decoder decoder_;
  State state_ = Ground;
  std::u32string held_;  // the sequence so far, from its ESC, while it is not complete
  std::array<Param, MaxParams> params_{};
  size_t paramCount_ = 0;
  int current_ = -1;         // the parameter being read
  bool currentSub_ = false;  // it follows a ':'
  bool paramText_ = false;   // digits or separators have come
  char32_t private_ = 0;     // '<', '=', '>' or '?' leading the parameters
  bool intermediates_ = false;
  bool malformed_ = false;  // a private marker after a parameter, or a parameter after an
                            // intermediate: read to its end and swallowed
  TextStyle style_;
  TextStyle saved_;
  std::u16string run_;
};
