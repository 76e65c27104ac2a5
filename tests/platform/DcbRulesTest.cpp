// SPDX-License-Identifier: GPL-3.0-or-later
// Both devices refuse what Linux cannot do, with EINVAL, and take the rest.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <memory>

#include "platform/DeviceTestSupport.h"
#include "platform/SerialDevice.h"
#include "platform/VirtualLine.h"

namespace {

struct Refusal {
  const char* What;
  std::function<void(DCB&)> Change;
};

const Refusal refusals[] = {
    {"four data bits", [](DCB& d) { d.ByteSize = 4; }},
    {"nine data bits", [](DCB& d) { d.ByteSize = 9; }},
    {"one and a half stop bits", [](DCB& d) { d.StopBits = 1; }},
    {"unknown parity", [](DCB& d) { d.Parity = 5; }},
    {"DSR output flow", [](DCB& d) { d.Flags |= DCB_fOutxDsrFlow; }},
    {"DSR sensitivity", [](DCB& d) { d.Flags |= DCB_fDsrSensitivity; }},
    {"transmit on XOFF", [](DCB& d) { d.Flags |= DCB_fTXContinueOnXoff; }},
    {"DTR handshake", [](DCB& d) { d.Flags |= 2u << DCB_fDtrControlShift; }},
    {"RTS toggle", [](DCB& d) { d.Flags |= 3u << DCB_fRtsControlShift; }},
    {"rate 0", [](DCB& d) { d.BaudRate = 0; }},
    {"rate above 5000000", [](DCB& d) { d.BaudRate = 5000001; }},
};

// Blocks that must pass: every other setting Linux has.
const std::function<void(DCB&)> accepted[] = {
    [](DCB&) {},
    [](DCB& d) { d.ByteSize = 5; d.Parity = 3; d.StopBits = 2; },
    [](DCB& d) { d.ByteSize = 7; d.Parity = 4; },
    [](DCB& d) { d.Flags |= DCB_fOutxCtsFlow | (2u << DCB_fRtsControlShift); },
    [](DCB& d) { d.Flags |= DCB_fOutX | DCB_fInX | DCB_fParity | DCB_fErrorChar | DCB_fNull; },
    [](DCB& d) { d.Flags |= (1u << DCB_fDtrControlShift) | (1u << DCB_fRtsControlShift); },
    [](DCB& d) { d.BaudRate = 5000000; d.EofChar = 26; d.XonLim = 0; d.XoffLim = 65535; },
};

void CheckRules(SerialDevice& Device) {
  for (const Refusal& r : refusals) {
    DCB d = PlainDcb();
    r.Change(d);
    EXPECT_FALSE(Device.SetCommState(d)) << r.What;
    EXPECT_EQ(Device.LastError(), EINVAL) << r.What;
  }
  for (const auto& change : accepted) {
    DCB d = PlainDcb();
    change(d);
    EXPECT_TRUE(Device.SetCommState(d)) << "rate " << d.BaudRate << " flags " << d.Flags;
  }
}

}  // namespace

TEST(DcbRules, PosixDeviceRefusesWhatLinuxCannotDo) {
  PtyPair pty;
  int error = 0;
  auto device = OpenSerialDevice(pty.SlavePath, error);
  ASSERT_TRUE(device) << error;
  CheckRules(*device);
}

TEST(DcbRules, VirtualLineRefusesTheSameBlocks) {
  auto line = VirtualLine::Create("rules");
  int error = 0;
  auto device = OpenSerialDevice(line->Path(VirtualLine::A), error);
  ASSERT_TRUE(device) << error;
  CheckRules(*device);
  EXPECT_EQ(line->DcbWrites(VirtualLine::A), static_cast<int>(std::size(accepted)));
  EXPECT_EQ(line->LastDcb(VirtualLine::A).BaudRate, 5000000u);
}

TEST(DcbRules, RefusalTextIsThePlainSystemText) {
  EXPECT_EQ(SystemErrorText(EINVAL), "Invalid argument");
  EXPECT_EQ(SystemErrorText(ENOENT), "No such file or directory");
  EXPECT_EQ(SystemErrorText(EBUSY), "Device or resource busy");
  EXPECT_EQ(SystemErrorText(EIO), "Input/output error");
}
