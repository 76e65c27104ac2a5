// SPDX-License-Identifier: GPL-3.0-or-later
// The application object: every exception that leaves an event handler is shown by the
// exception report, and the framework's hooks (exception report, main-thread wake-up)
// lead into this application's dialogs and event loop.
#pragma once

#include <QApplication>
#include <atomic>
#include <functional>
#include <string>

class ActivationTracker;

class TarvikApplication : public QApplication {
 public:
  TarvikApplication(int& Argc, char** Argv);
  ~TarvikApplication() override;

  bool notify(QObject* Receiver, QEvent* Event) override;

  // Runs Fn on the main thread as an ordinary event; callable from any thread.
  void Post(std::function<void()> Fn);

 protected:
  bool event(QEvent* Event) override;

  ActivationTracker* Tracker() const { return tracker_; }

 private:
  void WakeUp();

  ActivationTracker* tracker_;
  std::atomic<bool> wakeUpPending_{false};
};

// Shows Message as the exception report (error icon, full stop added, OK).
void ShowExceptionReport(const std::string& Message);
