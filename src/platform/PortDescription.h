// SPDX-License-Identifier: GPL-3.0-or-later
// What the system knows of a port's device, so that two adapters can be told apart.
#pragma once

#include <string>

// The port's device path, then the USB device's manufacturer, product and serial number
// as sysfs (under the device root) gives them, one per line ("Product: FT232R USB UART").
// A line whose value sysfs does not give, or gives unreadable, is left out; a device
// that is no USB device, or a name that resolves to no path, gives its path alone. A
// network port gives its name, and what its server said of itself when it last spoke.
std::string PortDescription(const std::string& PortName);
