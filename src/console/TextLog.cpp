// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/TextLog.h"

#include <array>
#include <cstdio>

namespace {

const char* const NoteMark = "[note] ";

bool IsPrintable(char C) { return C >= 32 && C <= 126; }

// Each byte as the log writes it: printable ASCII as it is, the rest in the pane's notation.
const std::array<std::string, 256>& Visible() {
  static const std::array<std::string, 256> table = [] {
    std::array<std::string, 256> t;
    for (int c = 0; c < 256; ++c) {
      if (IsPrintable(static_cast<char>(c))) {
        t[c] = std::string(1, static_cast<char>(c));
      } else {
        char notation[5];
        std::snprintf(notation, sizeof notation, "[%02X]", c);
        t[c] = notation;
      }
    }
    return t;
  }();
  return table;
}

}  // namespace

TextLog::Line& TextLog::Begin(Direction& From, LogTime At) {
  lines_.push_back(Line{At, From.Mark, {}});
  From.Filling = &lines_.back();  // a deque keeps its elements in place as it grows
  return lines_.back();
}

void TextLog::Add(Direction& From, std::string_view Bytes, LogTime At) {
  const auto& visible = Visible();
  for (size_t i = 0; i < Bytes.size(); ++i) {
    const char c = Bytes[i];
    if (From.AfterCr) {
      From.AfterCr = false;
      if (c == '\n') continue;
    }
    if (c == '\r' || c == '\n') {
      Line& line = From.Filling ? *From.Filling : Begin(From, At);
      line.Ended = true;
      From.Filling = nullptr;
      From.AfterCr = c == '\r';
      continue;
    }
    Line& line = From.Filling ? *From.Filling : Begin(From, At);
    // Printable text goes in as a run: a flood is mostly that.
    size_t run = i;
    while (run < Bytes.size() && IsPrintable(Bytes[run])) ++run;
    if (run > i) {
      line.Text.append(Bytes.data() + i, run - i);
      heldSize_ += run - i;
      i = run - 1;
      continue;
    }
    const std::string& shown = visible[static_cast<unsigned char>(c)];
    line.Text += shown;
    heldSize_ += shown.size();
  }
  MoveDoneLines();
  if (heldSize_ > HeldLimit) EndLines();
}

void TextLog::Note(std::string_view Text, LogTime At) {
  EndLines();
  received_.AfterCr = sent_.AfterCr = false;
  done_ += TimeStamp(At);
  done_ += NoteMark;
  done_ += Text;
  done_ += '\n';
}

void TextLog::EndLines() {
  for (Line& line : lines_) line.Ended = true;
  received_.Filling = sent_.Filling = nullptr;
  MoveDoneLines();
}

void TextLog::MoveDoneLines() {
  while (!lines_.empty() && lines_.front().Ended) {
    Put(lines_.front(), done_);
    heldSize_ -= lines_.front().Text.size();
    lines_.pop_front();
  }
}

std::string TextLog::TakeDone() {
  std::string done;
  done.swap(done_);
  return done;
}

std::string TextLog::Unfinished() const {
  std::string text;
  for (const Line& line : lines_) Put(line, text);
  return text;
}

void TextLog::Put(const Line& L, std::string& Out) const {
  Out += TimeStamp(L.At);
  Out += L.Mark;
  Out += L.Text;
  Out += '\n';
}

std::string TextLog::TimeStamp(LogTime At) const {
  using namespace std::chrono;
  const auto sinceEpoch = At.time_since_epoch();
  const std::time_t second = duration_cast<seconds>(sinceEpoch).count();
  const auto ms = duration_cast<milliseconds>(sinceEpoch).count() % 1000;
  if (second != stampSecond_) {
    std::tm local{};
    localtime_r(&second, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    stampPrefix_ = text;
    stampSecond_ = second;
  }
  char millis[8];
  std::snprintf(millis, sizeof millis, ".%03d ", static_cast<int>(ms));
  return stampPrefix_ + millis;
}
