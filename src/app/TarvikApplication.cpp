// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/TarvikApplication.h"

#include <QEvent>

#include "app/ActivationTracker.h"
#include "app/DialogSeam.h"
#include "app/Latin1.h"
#include "app/ToolImages.h"
#include "framework/ExceptionReport.h"
#include "framework/Threads.h"

namespace {

// A call handed to the main thread. The event queue passes it over under its own lock.
class CallEvent : public QEvent {
 public:
  static const QEvent::Type Kind;
  explicit CallEvent(std::function<void()> Fn) : QEvent(Kind), Call(std::move(Fn)) {}
  std::function<void()> Call;
};

const QEvent::Type CallEvent::Kind = static_cast<QEvent::Type>(QEvent::registerEventType());

}  // namespace

void ShowExceptionReport(const std::string& Message) {
  auto* app = dynamic_cast<TarvikApplication*>(QCoreApplication::instance());
  if (!IsMainThread() && app) {
    app->Post([Message] { ShowExceptionReport(Message); });
    return;
  }
  Dialogs().ExceptionReport(FromBytes(ExceptionReportText(Message)));
}

TarvikApplication::TarvikApplication(int& Argc, char** Argv) : QApplication(Argc, Argv) {
  setApplicationName("tarvik");
  setApplicationDisplayName("Tarvik");
  setApplicationVersion("0.31a");
  setDesktopFileName("tarvik");
  setWindowIcon(ProgramIcon());
  SetMainThread(std::this_thread::get_id());
  tracker_ = new ActivationTracker(this);
  SetExceptionReportHook([](const std::string& Message) { ShowExceptionReport(Message); });
  SetSynchronizeWakeUp([this] { WakeUp(); });
}

TarvikApplication::~TarvikApplication() {
  SetSynchronizeWakeUp(nullptr);
  SetExceptionReportHook(nullptr);
}

// Called on any thread when a call waits for the main thread: one queued call at a time
// runs the waiting calls as an ordinary event.
void TarvikApplication::WakeUp() {
  if (wakeUpPending_.exchange(true)) return;
  Post([this] {
    wakeUpPending_ = false;
    CheckSynchronize(0);
  });
}

void TarvikApplication::Post(std::function<void()> Fn) {
  QCoreApplication::postEvent(this, new CallEvent(std::move(Fn)));
}

bool TarvikApplication::event(QEvent* Event) {
  if (Event->type() != CallEvent::Kind) return QApplication::event(Event);
  static_cast<CallEvent*>(Event)->Call();
  return true;
}

bool TarvikApplication::notify(QObject* Receiver, QEvent* Event) {
  try {
    return QApplication::notify(Receiver, Event);
  } catch (...) {
    ReportCurrentException();
    return false;
  }
}
