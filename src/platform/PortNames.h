// SPDX-License-Identifier: GPL-3.0-or-later
// Port discovery and the COM numbering of serial devices.
#pragma once

#include <string>
#include <vector>

// The root under which discovery and resolution look ("/" normally); tests set it.
void SetDeviceRoot(const std::string& Root);
std::string DeviceRoot();

// First pass: the on-board UARTs (ttyS* with a known UART type), in device order.
std::vector<std::string> OnBoardPortNames();
// Second pass: every other serial device (ttyUSB*, ttyACM*, ttyAMA*, rfcomm*).
std::vector<std::string> OtherPortNames();

// The folder that discovery lists ("<root>/dev").
std::string DeviceDirectory();
// True for a node name of that folder that discovery can list (ttyUSB0, ttyS3, ...).
bool IsPortNode(const std::string& NodeName);

// "COM33" -> "<root>/dev/ttyUSB0" (root "/" gives "/dev/ttyUSB0"); "COM1005" ->
// "/dev/pts/5"; a name with a "/" as it stands; an unknown name -> empty.
std::string DevicePathOfPort(const std::string& Name);
