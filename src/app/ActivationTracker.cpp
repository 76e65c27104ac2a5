// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ActivationTracker.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

#include "app/DialogSeam.h"
#include "framework/ExceptionReport.h"

namespace {
ActivationTracker* instance = nullptr;

QWidget* WidgetOfWindow(QWindow* Window) {
  if (!Window) return nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->windowHandle() == Window) return w;
  return nullptr;
}
}  // namespace

ActivationTracker::ActivationTracker(QObject* Parent) : QObject(Parent) {
  instance = this;
  connect(qApp, &QGuiApplication::focusWindowChanged, this,
          [this](QWindow* w) { FocusWindowChanged(w); });
  qApp->installEventFilter(this);
}

ActivationTracker* ActivationTracker::Instance() { return instance; }

void ShowInFront(QWidget* Window) {
  Window->show();
  Window->raise();
  Window->activateWindow();
}

void ActivationTracker::FocusWindowChanged(QWindow* Window) {
  QWidget* widget = WidgetOfWindow(Window);
  FocusMovedTo(widget ? widget->window() : nullptr);
}

void ActivationTracker::FocusMovedTo(QWidget* Window) {
  if (IsOutsideActivation(Window)) Window = nullptr;
  // Focus with another program (or the exception report), or back from there to the
  // window that had it: no change of activation.
  if (!Window || Window == active_) return;
  QWidget* previous = active_;
  active_ = Window;
  if (previous) Deactivate(previous);
  Activate(Window);
}

// Sees every event of the application first; only the showing and hiding of windows count.
bool ActivationTracker::eventFilter(QObject* Watched, QEvent* Event) {
  if (Event->type() == QEvent::Show && Watched->isWidgetType())
    WindowShown(static_cast<QWidget*>(Watched));
  else if (Event->type() == QEvent::Hide && Watched == active_.data())
    ActiveWindowHidden();
  return QObject::eventFilter(Watched, Event);
}

// The focus may follow later or never; when it does come, the window is already active.
void ActivationTracker::WindowShown(QWidget* Window) {
  const Qt::WindowType type = Window->windowType();
  if (active_ || !Window->isWindow() || (type != Qt::Window && type != Qt::Dialog)) return;
  FocusMovedTo(Window);
}

void ActivationTracker::ActiveWindowHidden() {
  QWidget* hidden = active_;
  active_ = nullptr;
  Deactivate(hidden);
}

void ActivationTracker::Deactivate(QWidget* Window) {
  if (auto* aware = dynamic_cast<ActivationAware*>(Window)) Guarded([&] { aware->FormDeactivate(); });
}

void ActivationTracker::Activate(QWidget* Window) {
  if (auto* aware = dynamic_cast<ActivationAware*>(Window)) Guarded([&] { aware->FormActivate(); });
}
