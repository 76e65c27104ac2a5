// SPDX-License-Identifier: GPL-3.0-or-later
// The file transfer protocols: the protocol component, its worker, the XMODEM engine.
#pragma once

#include "protocol/SerProtocolBase.h"
#include "protocol/SerXModem.h"
#include "protocol/TransferCodes.h"
