// SPDX-License-Identifier: GPL-3.0-or-later
// An idle Tarvik, offscreen: the real main window connected to an adapter (a
// pseudo-terminal placed as ttyUSB0, COM33, under a device root of its own, so the window
// watches that device folder), left alone for 5 s; then the adapter is pulled (the far end
// closes) and the window is left alone for 5 s more, waiting for it to come back. Prints,
// for each 5 s, every thread's voluntary context switches (one per wake-up) and CPU time.
// The main thread's own timers wake it: Timer1's 1 s tick, the caret's blink, and the
// single timer that ends each 5 s; no other thread should wake at all.
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <unistd.h>

#include "app/ProgramWindows.h"
#include "app/SettingsFile.h"
#include "app/TarvikApplication.h"
#include "platform/PortNames.h"
#include "support/PtyPair.h"
#include "support/Usage.h"

namespace {

void RunEventsFor(int Ms) {
  QEventLoop loop;
  QTimer::singleShot(Ms, &loop, &QEventLoop::quit);
  loop.exec();
}

void Measure(const char* What, const TfrmTerm& Term) {
  const int ticks = Term.WaitTicks;
  const auto before = SwitchesByThread();
  const double cpuBefore = CpuSeconds();
  RunEventsFor(5000);
  const auto since = SwitchesSince(before);
  std::printf("%s, 5 s: %.3f CPU s in all; Timer1 ticked %d times\n", What,
              CpuSeconds() - cpuBefore, Term.WaitTicks - ticks);
  long others = 0;
  for (const auto& [tid, thread] : since) {
    const bool main = tid == getpid();
    if (!main) others += thread.Voluntary;
    std::printf("  %-6s %-16s %4ld wake-ups  %.4f CPU s\n", main ? "main" : "other",
                thread.Name.c_str(), thread.Voluntary, thread.CpuSeconds);
  }
  std::printf("  threads other than the main one: %ld wake-ups\n", others);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  TarvikApplication app(argc, argv);
  QTemporaryDir root, settings;
  QDir(root.path()).mkpath("dev");
  SetDeviceRoot(root.path().toStdString());
  SetSettingsFilePath(QDir(settings.path()).filePath("tarvik-33.ini").toStdString());
  PtyPair adapter;
  QFile::link(QString::fromStdString(adapter.SlavePath), QDir(root.path()).filePath("dev/ttyUSB0"));

  ProgramWindows w;
  TfrmTerm* term = w.frmTerm.get();
  term->show();
  RunEventsFor(300);
  if (term->FirstActivation) term->FormActivate();
  term->spdConnect->click();
  if (!term->SerComm1->Active()) {
    std::fprintf(stderr, "COM33 did not open\n");
    return 1;
  }
  RunEventsFor(500);
  Measure("Connected to COM33, idle", *term);

  adapter.CloseMaster();
  for (int i = 0; i < 20 && term->SerComm1->Active(); ++i) RunEventsFor(100);
  if (term->SerComm1->Active()) {
    std::fprintf(stderr, "the hang-up was not noticed\n");
    return 1;
  }
  RunEventsFor(500);
  Measure("COM33 unplugged, waiting for it to come back", *term);
  return 0;
}
