// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pane/LineTimes.h"

#include <QTextBlock>
#include <QTextDocument>

#include "console/TimeOfDay.h"

namespace {

using Time = std::chrono::system_clock::time_point;

// A line's time, or none for a line that was there before the times were switched on;
// its text is made when it is first drawn.
struct LineTime : QTextBlockUserData {
  explicit LineTime(std::optional<Time> When) : At(When) {}
  std::optional<Time> At;
  QString Text;
};

LineTime* DataOf(const QTextBlock& Line) { return static_cast<LineTime*>(Line.userData()); }

bool Begun(const QTextBlock& Line) { return Line.length() > 1 || Line.next().isValid(); }

}  // namespace

LineTimes::LineTimes(QTextDocument* Doc, QObject* Parent)
    : QObject(Parent), doc_(Doc), now_([] { return std::chrono::system_clock::now(); }) {
  connect(doc_, &QTextDocument::contentsChange, this,
          [this](int Position, int, int Added) { Stamp(Position, Added); });
}

void LineTimes::SetOn(bool On) {
  if (On && !on_)
    for (QTextBlock line = doc_->firstBlock(); line.isValid(); line = line.next())
      if (!line.userData() && Begun(line)) line.setUserData(new LineTime(std::nullopt));
  on_ = On;
}

void LineTimes::Stamp(int Position, int Added) {
  if (!on_) return;
  std::optional<Time> now;
  const int end = Position + Added;
  for (QTextBlock line = doc_->findBlock(Position); line.isValid() && line.position() <= end;
       line = line.next()) {
    if (line.userData() || !Begun(line)) continue;
    if (!now) now = now_();
    line.setUserData(new LineTime(now));
  }
}

std::optional<Time> LineTimes::TimeOf(const QTextBlock& Line) {
  const LineTime* data = DataOf(Line);
  return data ? data->At : std::nullopt;
}

QString LineTimes::TextOf(const QTextBlock& Line) {
  LineTime* data = DataOf(Line);
  if (!data || !data->At) return {};
  if (data->Text.isEmpty()) data->Text = QString::fromLatin1(TimeOfDay(*data->At));
  return data->Text;
}
