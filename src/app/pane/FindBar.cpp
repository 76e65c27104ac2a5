// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pane/FindBar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

namespace {

// New text is searched again at most this often while it streams in.
constexpr int SearchAgainMs = 100;

const QColor MatchBackground(0xB0, 0x60, 0x00);

QToolButton* AddButton(QWidget* Bar, QHBoxLayout* Row, const char* Name, const QString& Caption,
                       const QString& Hint) {
  auto* button = new QToolButton(Bar);
  button->setObjectName(Name);
  button->setText(Caption);
  button->setToolTip(Hint);
  button->setAccessibleName(Hint);
  button->setAutoRaise(true);
  Row->addWidget(button);
  return button;
}

}  // namespace

FindBar::FindBar(QPlainTextEdit* Pane, QWidget* Parent)
    : PaneBar(Pane, Parent, "barFind", "Find"), pane_(Pane) {
  QHBoxLayout* row = Row();
  txtFind = new QLineEdit(this);
  txtFind->setObjectName("txtFind");
  txtFind->setAccessibleName("Find");
  txtFind->setPlaceholderText("Find");
  txtFind->installEventFilter(this);
  row->addWidget(txtFind, 1);
  chkFindRegExp = new QCheckBox("Regular e&xpression", this);
  chkFindRegExp->setObjectName("chkFindRegExp");
  row->addWidget(chkFindRegExp);
  chkFindCase = new QCheckBox("Match c&ase", this);
  chkFindCase->setObjectName("chkFindCase");
  row->addWidget(chkFindCase);
  btnFindPrevious = AddButton(this, row, "btnFindPrevious", QString(QChar(0x25B2)), "Previous match (Shift+Enter)");
  btnFindNext = AddButton(this, row, "btnFindNext", QString(QChar(0x25BC)), "Next match (Enter)");
  lblFindMatches = new QLabel(this);
  lblFindMatches->setObjectName("lblFindMatches");
  lblFindMatches->setAccessibleName("Matches");
  row->addWidget(lblFindMatches);
  btnFindClose = AddCloseButton("btnFindClose", "Close the find bar (Escape)", "Close the find bar (Escape)");

  paneChanged_ = new QTimer(this);
  paneChanged_->setSingleShot(true);
  paneChanged_->setInterval(SearchAgainMs);
  connect(paneChanged_, &QTimer::timeout, this, [this] { Search(); });
  connect(pane_->document(), &QTextDocument::contentsChanged, this, [this] {
    if (isVisible() && !paneChanged_->isActive()) paneChanged_->start();
  });
  connect(pane_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
    if (isVisible()) Mark();
  });
  connect(txtFind, &QLineEdit::textChanged, this, [this] { Search(); });
  connect(chkFindRegExp, &QCheckBox::toggled, this, [this] { Search(); });
  connect(chkFindCase, &QCheckBox::toggled, this, [this] { Search(); });
  connect(btnFindNext, &QToolButton::clicked, this, [this] { FindNext(); });
  connect(btnFindPrevious, &QToolButton::clicked, this, [this] { FindPrevious(); });
}

void FindBar::Open() {
  show();
  txtFind->setFocus();
  txtFind->selectAll();
  Search();
}

void FindBar::Close() {
  paneChanged_->stop();
  matches_.clear();
  currentIndex_ = -1;
  current_ = QTextCursor();
  pane_->setExtraSelections({});
  PaneBar::Close();
}

void FindBar::FindNext() { Step(+1); }

void FindBar::FindPrevious() { Step(-1); }

bool FindBar::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched != txtFind || Event->type() != QEvent::KeyPress) return false;
  const auto* key = static_cast<QKeyEvent*>(Event);
  if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
  Step(key->modifiers() & Qt::ShiftModifier ? -1 : +1);
  return true;
}

void FindBar::Search() {
  paneChanged_->stop();
  matches_.clear();
  error_.clear();
  const QString wanted = txtFind->text();
  QRegularExpression expression(
      chkFindRegExp->isChecked() ? wanted : QRegularExpression::escape(wanted),
      chkFindCase->isChecked() ? QRegularExpression::NoPatternOption
                               : QRegularExpression::CaseInsensitiveOption);
  if (!wanted.isEmpty() && !expression.isValid()) error_ = expression.errorString();
  if (!wanted.isEmpty() && error_.isEmpty()) {
    for (QTextBlock block = pane_->document()->begin(); block.isValid(); block = block.next()) {
      QRegularExpressionMatchIterator found = expression.globalMatch(block.text());
      while (found.hasNext()) {
        const QRegularExpressionMatch match = found.next();
        if (match.capturedLength() > 0)  // an empty match marks nothing
          matches_.push_back({block.position() + static_cast<int>(match.capturedStart()),
                              static_cast<int>(match.capturedLength())});
      }
    }
  }
  // The current match stays current while it is still a match where it stands.
  currentIndex_ = -1;
  if (current_.hasSelection()) {
    const Match at{current_.selectionStart(), current_.selectionEnd() - current_.selectionStart()};
    auto same = std::find_if(matches_.begin(), matches_.end(), [&at](const Match& M) {
      return M.Start == at.Start && M.Length == at.Length;
    });
    if (same != matches_.end()) currentIndex_ = static_cast<int>(same - matches_.begin());
  }
  if (currentIndex_ < 0) current_ = QTextCursor();
  Mark();
  ShowCount();
}

void FindBar::SearchIfStale() {
  if (paneChanged_->isActive()) Search();
}

// From the current match on; without one, from what the pane shows.
void FindBar::Step(int Direction) {
  SearchIfStale();
  if (matches_.empty()) return;
  const int count = MatchCount();
  int next;
  if (currentIndex_ >= 0) {
    next = (currentIndex_ + Direction + count) % count;
  } else if (Direction > 0) {
    const int top = ViewTop();
    auto at = std::find_if(matches_.begin(), matches_.end(), [top](const Match& M) { return M.Start >= top; });
    next = at == matches_.end() ? 0 : static_cast<int>(at - matches_.begin());
  } else {
    const int bottom = ViewBottom();
    auto at = std::find_if(matches_.rbegin(), matches_.rend(), [bottom](const Match& M) { return M.Start < bottom; });
    next = at == matches_.rend() ? count - 1 : static_cast<int>(matches_.rend() - at) - 1;
  }
  GoTo(next);
}

void FindBar::GoTo(int Index) {
  const Match& match = matches_[static_cast<size_t>(Index)];
  current_ = QTextCursor(pane_->document());
  current_.setPosition(match.Start);
  current_.setPosition(match.Start + match.Length, QTextCursor::KeepAnchor);
  currentIndex_ = Index;
  pane_->setTextCursor(current_);  // selected, and scrolled into view
  Mark();
  ShowCount();
}

// Only the matches in view are marked, so a pane full of them stays quick to draw; the
// marks are made again as the pane scrolls.
void FindBar::Mark() {
  QList<QTextEdit::ExtraSelection> marks;
  const int top = ViewTop();
  const int bottom = ViewBottom();
  auto from = std::lower_bound(matches_.begin(), matches_.end(), top,
                               [](const Match& M, int Position) { return M.Start + M.Length <= Position; });
  for (auto m = from; m != matches_.end() && m->Start <= bottom; ++m) {
    QTextEdit::ExtraSelection mark;
    mark.cursor = QTextCursor(pane_->document());
    mark.cursor.setPosition(m->Start);
    mark.cursor.setPosition(m->Start + m->Length, QTextCursor::KeepAnchor);
    mark.format.setBackground(MatchBackground);
    marks << mark;
  }
  if (current_.hasSelection()) {
    QTextEdit::ExtraSelection mark;
    mark.cursor = current_;
    mark.format.setBackground(pane_->palette().color(QPalette::Highlight));
    mark.format.setForeground(pane_->palette().color(QPalette::HighlightedText));
    marks << mark;
  }
  pane_->setExtraSelections(marks);
}

void FindBar::ShowCount() {
  if (!error_.isEmpty()) {
    lblFindMatches->setText("Bad expression: " + error_);
  } else if (txtFind->text().isEmpty()) {
    lblFindMatches->clear();
  } else if (matches_.empty()) {
    lblFindMatches->setText("No matches");
  } else if (currentIndex_ >= 0) {
    lblFindMatches->setText(QString("%1 of %2").arg(currentIndex_ + 1).arg(matches_.size()));
  } else {
    lblFindMatches->setText(matches_.size() == 1 ? QString("1 match") : QString("%1 matches").arg(matches_.size()));
  }
}

int FindBar::ViewTop() const { return pane_->cursorForPosition(QPoint(0, 0)).block().position(); }

int FindBar::ViewBottom() const {
  const QTextBlock last = pane_->cursorForPosition(QPoint(0, pane_->viewport()->height())).block();
  return last.position() + last.length();
}
