// SPDX-License-Identifier: GPL-3.0-or-later
// The time each line of the pane came: the local time its first character was put in
// the pane, kept as data of the line's block. The data goes wherever the pane's own
// editing takes the block (the trim, a backspace, Clear screen, a console's overwrites
// and cursor moves), so times stay with their lines without books of their own.
// While switched on, every edit stamps the lines it touched that have no time yet and
// hold text or are ended; an empty last line waits for its first character. Lines that
// were there when it was switched on get none.
#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <optional>

class QTextBlock;
class QTextDocument;

class LineTimes : public QObject {
 public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;

  LineTimes(QTextDocument* Doc, QObject* Parent);

  void SetOn(bool On);
  bool On() const { return on_; }
  // Where the time comes from (the system clock unless a test sets its own).
  void SetClock(Clock Now) { now_ = std::move(Now); }

  static std::optional<std::chrono::system_clock::time_point> TimeOf(const QTextBlock& Line);
  // "HH:MM:SS.mmm", or empty for a line without a time.
  static QString TextOf(const QTextBlock& Line);

 private:
  void Stamp(int Position, int Added);

  QTextDocument* doc_;
  bool on_ = false;
  Clock now_;
};
