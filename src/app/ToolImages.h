// SPDX-License-Identifier: GPL-3.0-or-later
// The tool button images, the connect button's glyph and the program icon, drawn at
// run time so the program carries no image files of its own.
#pragma once

#include <QIcon>

// The image list's pictures by index: 0 send text, 1 send again, 2 text settings,
// 3 reset, 22 XMODEM, 23 send binary again, 24 send binary.
QIcon ToolImage(int Index);
// Released: a plug apart; pressed: plugged in. Disabled states come from Qt.
QIcon ConnectGlyph();
QIcon ProgramIcon();
