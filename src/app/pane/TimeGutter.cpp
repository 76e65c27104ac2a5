// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pane/TimeGutter.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTextBlock>

#include "app/pane/LineTimes.h"
#include "app/pane/TerminalEdit.h"

namespace {

constexpr int Padding = 4;

// The times in the pane's colours, fainter than its text.
QColor Faded(const QColor& Text, const QColor& Back) {
  return QColor((Text.red() + Back.red()) / 2, (Text.green() + Back.green()) / 2, (Text.blue() + Back.blue()) / 2);
}

}  // namespace

TimeGutter::TimeGutter(TerminalEdit* Pane) : QWidget(Pane), pane_(Pane), viewport_(Pane->viewport()) {
  setObjectName("gutTimes");
  setAccessibleName("Line times");
  hide();
  pane_->installEventFilter(this);
  viewport_->installEventFilter(this);  // resized after the pane's own resize
  connect(pane_, &QPlainTextEdit::updateRequest, this, [this](const QRect& Area, int Dy) {
    if (isHidden()) return;
    if (Dy) scroll(0, Dy);
    else update(0, Area.y(), width(), Area.height());
  });
}

int TimeGutter::ColumnWidth() const {
  return pane_->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00.000")) + 2 * Padding;
}

void TimeGutter::SetShown(bool Shown) {
  pane_->SetLeftColumn(Shown ? ColumnWidth() : 0);
  setVisible(Shown);
  if (Shown) Place();
}

void TimeGutter::Place() {
  const QRect view = viewport_->geometry();
  setGeometry(view.left() - ColumnWidth(), view.top(), ColumnWidth(), view.height());
}

bool TimeGutter::eventFilter(QObject* Watched, QEvent* Event) {
  if (isHidden()) return false;
  if (Watched == viewport_) {
    if (Event->type() == QEvent::Resize || Event->type() == QEvent::Move) Place();
  } else if (Event->type() == QEvent::FontChange) {
    pane_->SetLeftColumn(ColumnWidth());
    Place();
  } else if (Event->type() == QEvent::PaletteChange) {
    update();
  }
  return false;
}

void TimeGutter::paintEvent(QPaintEvent* Event) {
  QPainter painter(this);
  const QPalette colours = pane_->palette();
  painter.fillRect(Event->rect(), colours.color(QPalette::Base));
  painter.setPen(Faded(colours.color(QPalette::Text), colours.color(QPalette::Base)));
  painter.setFont(pane_->font());
  const int lineHeight = pane_->fontMetrics().height();
  for (QTextBlock line = pane_->FirstShownLine(); line.isValid(); line = line.next()) {
    const QRectF at = pane_->LineGeometry(line);
    if (at.top() > Event->rect().bottom()) break;
    const QString time = LineTimes::TextOf(line);
    if (!time.isEmpty() && at.bottom() >= Event->rect().top())
      painter.drawText(QRectF(0, at.top(), width() - Padding, lineHeight), Qt::AlignRight | Qt::AlignVCenter, time);
  }
}
