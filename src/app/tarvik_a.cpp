// SPDX-License-Identifier: GPL-3.0-or-later
// Program start: the application, the four windows in their order, the event loop.
#include "app/ProgramWindows.h"
#include "app/TarvikApplication.h"

int main(int argc, char** argv) {
  TarvikApplication app(argc, argv);
  ProgramWindows windows;
  windows.frmTerm->show();
  return app.exec();
}
