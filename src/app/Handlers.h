// SPDX-License-Identifier: GPL-3.0-or-later
// Binds a control's signal to a handler of the window. A failure inside the handler ends
// the handler and is shown by the exception report; the program goes on.
#pragma once

#include <QObject>

#include "framework/ExceptionReport.h"

template <typename Sender, typename Signal, typename Handler>
void Bind(Sender* Control, Signal Sig, QObject* Window, Handler Fn) {
  QObject::connect(Control, Sig, Window, [Fn] { Guarded(Fn); });
}
