// SPDX-License-Identifier: GPL-3.0-or-later
// The application object: the exception report, the full stop, and main-thread calls
// from other threads delivered through the event loop.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>
#include <thread>

#include "ScriptedDialogs.h"
#include "app/Handlers.h"
#include "framework/Exceptions.h"
#include "framework/ExceptionReport.h"
#include "framework/Threads.h"

namespace {

// An object whose event handler fails. (A toolkit input event is not used here: the
// toolkit's own input handling does not clean up behind an exception passing through it,
// which is why every handler of the windows is guarded where it is bound.)
class ThrowingObject : public QObject {
 protected:
  bool event(QEvent* Event) override {
    if (Event->type() == QEvent::User) throw Exception("Thrown from an event handler");
    return QObject::event(Event);
  }
};

TEST(Application, HandlerFailureIsReportedWithAFullStop) {
  ScriptedDialogs dialogs;
  QPushButton busy, dot;
  Bind(&busy, &QPushButton::clicked, &busy, [] { throw Exception("Port is busy"); });
  Bind(&dot, &QPushButton::clicked, &dot, [] { throw Exception("Ends with a dot."); });
  busy.click();
  dot.click();
  EXPECT_EQ(dialogs.Reports, (QStringList{"Port is busy.", "Ends with a dot."}));
}

TEST(Application, SilentAbortIsNotReported) {
  ScriptedDialogs dialogs;
  QPushButton button;
  Bind(&button, &QPushButton::clicked, &button, [] { throw EAbort(); });
  button.click();
  EXPECT_TRUE(dialogs.Reports.isEmpty());
}

TEST(Application, ExceptionLeavingAnEventIsCaughtByTheApplication) {
  ScriptedDialogs dialogs;
  ThrowingObject object;
  QEvent event(QEvent::User);
  EXPECT_FALSE(QCoreApplication::sendEvent(&object, &event));
  EXPECT_EQ(dialogs.Reports, QStringList{"Thrown from an event handler."});
}

TEST(Application, FrameworkReportsGoThroughTheSeam) {
  ScriptedDialogs dialogs;
  ReportException(Exception("Error reading modem state (5), Input/output error"));
  EXPECT_EQ(dialogs.Reports, QStringList{"Error reading modem state (5), Input/output error."});
}

TEST(Application, SynchronizeFromAThreadRunsInTheEventLoop) {
  QEventLoop loop;
  bool ranOnMain = false;
  std::thread worker([&] {
    Synchronize([&] {
      ranOnMain = IsMainThread();
      loop.quit();
    });
  });
  QTimer::singleShot(10000, &loop, &QEventLoop::quit);  // a safety net only
  loop.exec();
  worker.join();
  EXPECT_TRUE(ranOnMain);
}

TEST(Application, ReportFromAnotherThreadIsShownOnTheMainThread) {
  ScriptedDialogs dialogs;
  QEventLoop loop;
  std::thread worker([] { ReportException(Exception("Reported by a worker")); });
  worker.join();
  EXPECT_TRUE(dialogs.Reports.isEmpty());  // not shown on the worker
  QTimer::singleShot(0, &loop, &QEventLoop::quit);
  loop.exec();
  EXPECT_EQ(dialogs.Reports, QStringList{"Reported by a worker."});
}

}  // namespace
