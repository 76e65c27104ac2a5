// SPDX-License-Identifier: GPL-3.0-or-later
#include "app_event_loop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

bool RunEventLoopUntil(const std::function<bool()>& Done, int TimeoutMs) {
  QElapsedTimer clock;
  clock.start();
  QTimer look;  // a child program's exit announces itself by no event
  look.start(20);
  while (!Done()) {
    if (clock.elapsed() > TimeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return true;
}
