// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/AnsiParser.h"

#include <algorithm>

namespace {

constexpr char32_t Esc = 0x1B;
constexpr char32_t Can = 0x18;
constexpr char32_t Sub = 0x1A;
constexpr char32_t Bel = 0x07;
constexpr char32_t Del = 0x7F;
constexpr int MaxParamValue = 99999;

bool IsPrintable(char32_t C) { return C >= 0x20 && C != Del && (C < 0x80 || C >= 0xA0); }
bool IsC0(char32_t C) { return C < 0x20; }
bool IsIntermediate(char32_t C) { return C >= 0x20 && C <= 0x2F; }

}  // namespace

void AnsiParser::SetUtf8(bool Utf8) {
  if (Utf8 == utf8_) return;
  utf8_ = Utf8;
  decoder_.Reset();
}

void AnsiParser::Reset() {
  state_ = Ground;
  held_.clear();
  decoder_.Reset();
  style_ = saved_ = TextStyle{};
  run_.clear();
}

void AnsiParser::Feed(std::string_view Bytes, TerminalActions& Out) {
  if (utf8_) {
    decoder_.Decode(Bytes, [&](char32_t C) {
      if (state_ == Ground && IsPrintable(C)) {
        AppendText(C);
      } else {
        Put(C, Out);
      }
    });
  } else {
    for (char byte : Bytes) {
      const char32_t c = static_cast<unsigned char>(byte);
      if (state_ == Ground && IsPrintable(c)) {
        run_ += static_cast<char16_t>(c);
      } else {
        Put(c, Out);
      }
    }
  }
  Flush(Out);
}

void AnsiParser::AppendText(char32_t C) {
  if (C >= 0x10000) {
    run_ += static_cast<char16_t>(0xD800 + ((C - 0x10000) >> 10));
    run_ += static_cast<char16_t>(0xDC00 + ((C - 0x10000) & 0x3FF));
  } else {
    run_ += static_cast<char16_t>(C);
  }
}

void AnsiParser::Flush(TerminalActions& Out) {
  if (run_.empty()) return;
  Out.Text(run_, style_);
  run_.clear();
}

void AnsiParser::Emit(TerminalActions& Out, TermOp Op, int A, int B) {
  Flush(Out);
  Out.Act({Op, A, B});
}

void AnsiParser::Put(char32_t C, TerminalActions& Out) {
  switch (state_) {
    case Ground:
      if (IsPrintable(C)) {
        AppendText(C);
      } else if (C == Esc) {
        Flush(Out);
        Begin(Escape, C);
      } else if (C != Del) {
        Control(C, Out);
      }
      return;
    case Escape:
    case EscapeIntermediate:
      StepEscape(C, Out);
      return;
    case Csi:
      StepCsi(C, Out);
      return;
    case String:
    case StringEscape:
      StepString(C, Out);
      return;
  }
}

// C0 controls act wherever they come, also inside a sequence (as a VT100 does).
void AnsiParser::Control(char32_t C, TerminalActions& Out) {
  switch (C) {
    case '\r':
      Emit(Out, TermOp::CarriageReturn);
      return;
    case '\n':
    case '\v':
    case '\f':
      Emit(Out, TermOp::LineFeed);
      return;
    case '\b':
      Emit(Out, TermOp::Backspace);
      return;
    case '\t':
      Emit(Out, TermOp::Tab);
      return;
    case Bel:
    case 0x0E:  // SO and SI choose character sets
    case 0x0F:
      return;
    default:
      Emit(Out, TermOp::Unshown, static_cast<int>(C));
  }
}

void AnsiParser::Begin(State S, char32_t C) {
  if (S == Escape) held_.assign(1, Esc);
  if (S == Csi) {
    paramCount_ = 0;
    current_ = -1;
    currentSub_ = false;
    paramText_ = false;
    private_ = 0;
    intermediates_ = false;
    malformed_ = false;
  }
  if (S != Escape) held_ += C;
  state_ = S;
}

// False when the sequence grew past Limit and was given up.
bool AnsiParser::Hold(char32_t C, size_t Limit, TerminalActions& Out) {
  held_ += C;
  if (held_.size() <= Limit) return true;
  GiveUp(Out);
  return false;
}

// The ESC is not shown (as a lone ESC never is); what followed it is, as text and
// controls, so nothing of a broken sequence is lost from sight. What is held holds no
// further ESC, so this never starts a sequence again.
void AnsiParser::GiveUp(TerminalActions& Out) {
  std::u32string held;
  held.swap(held_);
  state_ = Ground;
  Emit(Out, TermOp::Unshown, static_cast<int>(Esc));
  for (size_t i = 1; i < held.size(); ++i) Put(held[i], Out);
  Flush(Out);  // in the style it came in, before a sequence that follows changes it
}

// What any escape or control sequence does with a character outside its own shape:
// CAN and SUB cancel it, an ESC gives it up for a new one, other controls act, DEL is
// ignored and a character outside ASCII breaks it. False for the sequence's own.
bool AnsiParser::Interrupts(char32_t C, TerminalActions& Out) {
  if (C == Can || C == Sub) {
    held_.clear();
    state_ = Ground;
  } else if (C == Esc) {
    GiveUp(Out);
    Begin(Escape, C);
  } else if (IsC0(C)) {
    Control(C, Out);
  } else if (C >= 0x80) {
    GiveUp(Out);
    Put(C, Out);
  } else if (C != Del) {
    return false;
  }
  return true;
}

void AnsiParser::StepEscape(char32_t C, TerminalActions& Out) {
  if (Interrupts(C, Out)) return;
  if (IsIntermediate(C)) {
    if (Hold(C, SequenceLimit, Out)) state_ = EscapeIntermediate;
  } else if (state_ == EscapeIntermediate) {
    held_.clear();
    state_ = Ground;  // character set designations and the like
  } else if (C == '[') {
    Begin(Csi, C);
  } else if (C == ']' || C == 'P' || C == 'X' || C == '^' || C == '_') {
    Begin(String, C);
  } else {
    held_.clear();
    state_ = Ground;
    EscapeDispatch(C, Out);
  }
}

void AnsiParser::EscapeDispatch(char32_t Final, TerminalActions& Out) {
  switch (Final) {
    case '7':
      saved_ = style_;
      Emit(Out, TermOp::SaveCursor);
      return;
    case '8':
      style_ = saved_;
      Emit(Out, TermOp::RestoreCursor);
      return;
    case 'D':
      Emit(Out, TermOp::Index);
      return;
    case 'E':
      Emit(Out, TermOp::CarriageReturn);
      Emit(Out, TermOp::Index);
      return;
    case 'M':
      Emit(Out, TermOp::ReverseIndex);
      return;
    case 'c':
      style_ = saved_ = TextStyle{};
      Emit(Out, TermOp::Reset);
      return;
    default:
      return;  // keypad modes, tab stops, a stray string terminator
  }
}

void AnsiParser::StepCsi(char32_t C, TerminalActions& Out) {
  if (Interrupts(C, Out) || !Hold(C, SequenceLimit, Out)) return;
  if (C >= 0x40) {
    if (paramText_) PushParam();
    held_.clear();
    state_ = Ground;
    if (!malformed_) CsiDispatch(C, Out);
    return;
  }
  if (IsIntermediate(C)) {
    intermediates_ = true;
    return;
  }
  if (intermediates_) {
    malformed_ = true;
    return;
  }
  if (C >= 0x3C) {  // < = > ?
    if (paramText_ || private_ != 0) malformed_ = true;
    private_ = C;
    return;
  }
  paramText_ = true;
  if (C == ';' || C == ':') {
    PushParam();
    currentSub_ = C == ':';
    return;
  }
  current_ = std::min(MaxParamValue, std::max(0, current_) * 10 + static_cast<int>(C - '0'));
}

// Parameters past the last that is kept are dropped.
void AnsiParser::PushParam() {
  if (paramCount_ < MaxParams) params_[paramCount_++] = {current_, currentSub_};
  current_ = -1;
  currentSub_ = false;
}

int AnsiParser::ParamOr(size_t I, int Default) const {
  return I < paramCount_ && params_[I].Value >= 0 ? params_[I].Value : Default;
}

int AnsiParser::CountParam(size_t I) const { return std::max(1, ParamOr(I, 1)); }

void AnsiParser::CsiDispatch(char32_t Final, TerminalActions& Out) {
  if (intermediates_) return;  // soft reset, cursor style and the like
  if (private_ == '?') {
    if (Final == 'h' || Final == 'l') PrivateModes(Final == 'h', Out);
    return;
  }
  if (private_ != 0) return;  // secondary device attributes, key modifier options
  switch (Final) {
    case 'm':
      SelectGraphicRendition();
      return;
    case 'A':
      Emit(Out, TermOp::CursorUp, CountParam(0));
      return;
    case 'B':
    case 'e':
      Emit(Out, TermOp::CursorDown, CountParam(0));
      return;
    case 'C':
    case 'a':
      Emit(Out, TermOp::CursorForward, CountParam(0));
      return;
    case 'D':
      Emit(Out, TermOp::CursorBack, CountParam(0));
      return;
    case 'E':
      Emit(Out, TermOp::CursorDown, CountParam(0));
      Emit(Out, TermOp::CarriageReturn);
      return;
    case 'F':
      Emit(Out, TermOp::CursorUp, CountParam(0));
      Emit(Out, TermOp::CarriageReturn);
      return;
    case 'G':
    case '`':
      Emit(Out, TermOp::CursorColumn, CountParam(0) - 1);
      return;
    case 'd':
      Emit(Out, TermOp::CursorRow, CountParam(0) - 1);
      return;
    case 'H':
    case 'f':
      Emit(Out, TermOp::CursorPosition, CountParam(0) - 1, CountParam(1) - 1);
      return;
    case 'J':
      if (ParamOr(0, 0) <= 3) Emit(Out, TermOp::EraseInDisplay, ParamOr(0, 0));
      return;
    case 'K':
      if (ParamOr(0, 0) <= 2) Emit(Out, TermOp::EraseInLine, ParamOr(0, 0));
      return;
    case '@':
      Emit(Out, TermOp::InsertBlanks, CountParam(0));
      return;
    case 'P':
      Emit(Out, TermOp::DeleteChars, CountParam(0));
      return;
    case 'X':
      Emit(Out, TermOp::EraseChars, CountParam(0));
      return;
    case 's':
      if (paramCount_ != 0) return;  // with parameters it sets margins
      saved_ = style_;
      Emit(Out, TermOp::SaveCursor);
      return;
    case 'u':
      style_ = saved_;
      Emit(Out, TermOp::RestoreCursor);
      return;
    case 'n':
      if (ParamOr(0, 0) == 5) Emit(Out, TermOp::ReportStatus);
      if (ParamOr(0, 0) == 6) Emit(Out, TermOp::ReportCursor);
      return;
    case 'c':
      if (ParamOr(0, 0) == 0) Emit(Out, TermOp::ReportDevice);
      return;
    default:
      return;  // scrolling regions, lines inserted or deleted, modes, tab stops, window ops
  }
}

void AnsiParser::PrivateModes(bool On, TerminalActions& Out) {
  for (size_t i = 0; i < paramCount_; ++i)
    if (!params_[i].Sub && params_[i].Value == 1) Emit(Out, TermOp::CursorKeys, On ? 1 : 0);
}

// 38 and 48 take "5;n" or "2;r;g;b" after them, or the same joined by ':' (where "2"
// may be followed by a colour space before r, g and b). An empty value counts as 0.
void AnsiParser::ExtendedColour(size_t& I, TermColour& Colour) {
  const auto value = [this](size_t At) { return std::max(0, params_[At].Value); };
  if (I + 1 < paramCount_ && params_[I + 1].Sub) {
    size_t end = I + 1;
    while (end < paramCount_ && params_[end].Sub) ++end;
    const size_t subs = end - I - 1;
    if (value(I + 1) == 5 && subs >= 2 && value(I + 2) <= 255) Colour = TermColour::Index(value(I + 2));
    if (value(I + 1) == 2 && subs >= 4) {
      const size_t r = subs >= 5 ? I + 3 : I + 2;
      Colour = TermColour::FromRgb(value(r), value(r + 1), value(r + 2));
    }
    I = end - 1;
    return;
  }
  const int kind = I + 1 < paramCount_ ? value(I + 1) : -1;
  if (kind == 5 && I + 2 < paramCount_) {
    if (value(I + 2) <= 255) Colour = TermColour::Index(value(I + 2));
    I += 2;
  } else if (kind == 2 && I + 4 < paramCount_) {
    Colour = TermColour::FromRgb(value(I + 2), value(I + 3), value(I + 4));
    I += 4;
  } else {
    I = paramCount_;  // what follows cannot be told apart from the missing arguments
  }
}

void AnsiParser::SelectGraphicRendition() {
  if (paramCount_ == 0) {
    style_ = TextStyle{};
    return;
  }
  for (size_t i = 0; i < paramCount_; ++i) {
    if (params_[i].Sub) continue;
    const int code = std::max(0, params_[i].Value);
    const bool hasSub = i + 1 < paramCount_ && params_[i + 1].Sub;
    switch (code) {
      case 0: style_ = TextStyle{}; break;
      case 1: style_.Bold = true; break;
      case 2: style_.Faint = true; break;
      case 3: style_.Italic = true; break;
      case 4: style_.Underline = !hasSub || params_[i + 1].Value != 0; break;
      case 7: style_.Inverse = true; break;
      case 9: style_.Strike = true; break;
      case 21: style_.Underline = true; break;
      case 22: style_.Bold = style_.Faint = false; break;
      case 23: style_.Italic = false; break;
      case 24: style_.Underline = false; break;
      case 27: style_.Inverse = false; break;
      case 29: style_.Strike = false; break;
      case 38: ExtendedColour(i, style_.Foreground); break;
      case 39: style_.Foreground = TermColour{}; break;
      case 48: ExtendedColour(i, style_.Background); break;
      case 49: style_.Background = TermColour{}; break;
      default:
        if (code >= 30 && code <= 37) style_.Foreground = TermColour::Index(code - 30);
        else if (code >= 40 && code <= 47) style_.Background = TermColour::Index(code - 40);
        else if (code >= 90 && code <= 97) style_.Foreground = TermColour::Index(code - 90 + 8);
        else if (code >= 100 && code <= 107) style_.Background = TermColour::Index(code - 100 + 8);
        break;  // blink, conceal, fonts and the rest are not drawn
    }
  }
}

void AnsiParser::StepString(char32_t C, TerminalActions& Out) {
  if (state_ == StringEscape) {
    // ESC \ ends the string; an ESC followed by anything else ends it too and starts
    // a new sequence.
    held_.clear();
    state_ = Ground;
    if (C != '\\') {
      Begin(Escape, Esc);
      StepEscape(C, Out);
    }
    return;
  }
  if (C == Bel || C == Can || C == Sub) {
    held_.clear();
    state_ = Ground;
  } else if (C == Esc) {
    state_ = StringEscape;
  } else if (!IsC0(C) && C != Del) {
    Hold(C, StringLimit, Out);
  }
}
