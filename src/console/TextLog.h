// SPDX-License-Identifier: GPL-3.0-or-later
// The text form of a session log: what arrived and what was sent, as lines. Each line
// starts with the local time its first byte came, "YYYY-MM-DD HH:MM:SS.mmm "; a lone CR, a
// lone LF and CR LF each end a line; other control bytes and bytes above 126 are written
// as the pane writes them, "[1B]". Sent lines carry "[sent] " after the time, notes of the
// program (a port unplugged) "[note] ". Both directions fill lines of their own at once
// (an echoing board answers each typed key), and lines are written in the order they
// began, so both directions read in order.
#pragma once

#include <chrono>
#include <ctime>
#include <deque>
#include <string>
#include <string_view>

using LogTime = std::chrono::system_clock::time_point;

class TextLog {
 public:
  // Lines not yet written are ended as they stand once they hold this much text together:
  // what is held stays small however long a board goes without a line end.
  static constexpr size_t HeldLimit = 64 * 1024;

  void Received(std::string_view Bytes, LogTime At) { Add(received_, Bytes, At); }
  void Sent(std::string_view Bytes, LogTime At) { Add(sent_, Bytes, At); }
  // On a line of its own; lines begun before it are ended as they stand.
  void Note(std::string_view Text, LogTime At);
  // Every line begun is ended as it stands: the end of the log.
  void EndLines();

  // The lines done since the last call, each with its line end, in the order they began.
  std::string TakeDone();
  // The lines begun after them and not yet written, as they stand, each with a line end:
  // what a file shows after the done lines until they are done too.
  std::string Unfinished() const;

  // "YYYY-MM-DD HH:MM:SS.mmm " in local time.
  std::string TimeStamp(LogTime At) const;

 private:
  struct Line {
    LogTime At;
    const char* Mark;
    std::string Text;
    bool Ended = false;
  };
  struct Direction {
    const char* Mark;
    Line* Filling = nullptr;  // its line being filled
    bool AfterCr = false;     // its last byte was a CR: an LF now belongs to it
  };

  void Add(Direction& From, std::string_view Bytes, LogTime At);
  Line& Begin(Direction& From, LogTime At);
  void MoveDoneLines();
  void Put(const Line& L, std::string& Out) const;

  Direction received_{""}, sent_{"[sent] "};
  std::deque<Line> lines_;  // begun and not yet taken, in the order they began
  size_t heldSize_ = 0;      // the text of lines_
  std::string done_;
  mutable std::time_t stampSecond_ = -1;
  mutable std::string stampPrefix_;  // the date and time to the second of stampSecond_
};
