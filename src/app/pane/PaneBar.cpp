// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pane/PaneBar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QToolButton>

PaneBar::PaneBar(QWidget* Pane, QWidget* Parent, const char* Name, const QString& AccessibleName)
    : QWidget(Parent), pane_(Pane), row_(new QHBoxLayout(this)) {
  setObjectName(Name);
  setAccessibleName(AccessibleName);
  row_->setContentsMargins(2, 1, 2, 1);
  hide();
}

void PaneBar::Close() {
  hide();
  pane_->setFocus();
}

QToolButton* PaneBar::AddCloseButton(const char* Name, const QString& Hint, const QString& AccessibleName) {
  auto* button = new QToolButton(this);
  button->setObjectName(Name);
  button->setText(QString(QChar(0x2715)));
  button->setToolTip(Hint);
  button->setAccessibleName(AccessibleName);
  button->setAutoRaise(true);
  row_->addWidget(button);
  connect(button, &QToolButton::clicked, this, [this] { Close(); });
  return button;
}

// Escape reaches the bar from any of its controls.
void PaneBar::keyPressEvent(QKeyEvent* Event) {
  if (Event->key() == Qt::Key_Escape) {
    Close();
    return;
  }
  QWidget::keyPressEvent(Event);
}
