// SPDX-License-Identifier: GPL-3.0-or-later
// Saves a picture of a window as it looks after the main window's first activation with
// no settings file: app_screenshot <file.png> [frmTerm|frmTransfer|frmXModem|AboutBox].
// Run under a display server (xvfb-run).
#include <QEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "app/ProgramWindows.h"
#include "app/SettingsFile.h"
#include "app/TarvikApplication.h"

namespace {

class GrabWhenPainted : public QObject {
 public:
  GrabWhenPainted(QWidget* Window, QString File) : window_(Window), file_(std::move(File)) {
    Window->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject*, QEvent* Event) override {
    if (Event->type() == QEvent::Paint && !done_) {
      done_ = true;
      QTimer::singleShot(300, this, [this] {
        bool saved = window_->grab().save(file_, "PNG");
        std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(file_));
        QCoreApplication::exit(saved ? 0 : 1);
      });
    }
    return false;
  }

 private:
  QWidget* window_;
  QString file_;
  bool done_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: app_screenshot <file.png> [window]\n");
    return 2;
  }
  TarvikApplication app(argc, argv);
  QTemporaryDir scratch;  // a settings file of its own: defaults, nothing written
  SetSettingsFilePath(scratch.filePath("tarvik-33.ini").toStdString());
  ProgramWindows windows;
  QString name = argc > 2 ? argv[2] : "frmTerm";
  QWidget* window = windows.frmTerm.get();
  if (name == "frmTransfer") window = windows.frmTransfer.get();
  if (name == "frmXModem") window = windows.frmXModem.get();
  if (name == "AboutBox") window = windows.AboutBox.get();
  GrabWhenPainted grab(window, argv[1]);
  windows.frmTerm->show();
  windows.frmTerm->activateWindow();
  if (window != windows.frmTerm.get()) window->show();
  return app.exec();
}
