// SPDX-License-Identifier: GPL-3.0-or-later
// The serial device over a Linux tty (termios2, poll, the modem-control ioctls).
#pragma once

#include <memory>
#include <string>

#include "platform/SerialDevice.h"

// Opens Path exclusively (flock and TIOCEXCL); EBUSY when another holder has it, ENOENT
// when it does not exist, ENOTTY when it is no terminal.
std::unique_ptr<SerialDevice> OpenPosixSerialDevice(const std::string& Path, int& Error);
