// SPDX-License-Identifier: GPL-3.0-or-later
// A port set up as the terminal's port is (its queue sizes and events), for the tests and
// benchmarks that put it on a real line.
#pragma once

#include <string>

#include "serial/SerComm.h"

inline void ConfigureAsTerminal(TSerComm& Port, const std::string& Path, int Baud = 115200) {
  Port.SetDeviceName(Path);
  Port.SetUserBaudrate(Baud);
  Port.FlowControl().SetControlRts(rtsEnabled);
  Port.SetMonitorEvents(SerEvents({ceRxChar, ceTxEmpty}));
  Port.Buffers().SetReadSize(65536);
  Port.Buffers().SetWriteSize(232144);
  Port.SetWritePriority(tpNormal);
}
