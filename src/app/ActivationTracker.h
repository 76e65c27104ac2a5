// SPDX-License-Identifier: GPL-3.0-or-later
// Turns the toolkit's focus changes into the program's own window activation: a window
// is activated when it is shown while none of ours is active (the desktop may never give
// a new program the focus), or when the focus comes to it from none of our windows for
// the first time or from another of our windows; it is deactivated when the focus leaves
// it for another of ours (or when it is hidden). Focus going to another program and
// coming back to the same window does neither.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class QWindow;

// A window that wants to hear about its activation.
class ActivationAware {
 public:
  virtual ~ActivationAware() = default;
  virtual void FormActivate() = 0;
  virtual void FormDeactivate() = 0;
};

// Shows Window, or brings it to the front when it is already shown, and asks for the
// focus; its activation follows from that.
void ShowInFront(QWidget* Window);

class ActivationTracker : public QObject {
 public:
  // Follows the application's focus window and the showing of its windows from now on.
  explicit ActivationTracker(QObject* Parent = nullptr);

  static ActivationTracker* Instance();

  // The focus moved to Window (a top-level widget), or to no window of ours (nullptr).
  void FocusMovedTo(QWidget* Window);
  QWidget* ActiveWindow() const { return active_; }

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void FocusWindowChanged(QWindow* Window);
  void WindowShown(QWidget* Window);
  void ActiveWindowHidden();
  void Deactivate(QWidget* Window);
  void Activate(QWidget* Window);

  // The window of ours that had the focus last; kept while another program has it.
  QPointer<QWidget> active_;
};
