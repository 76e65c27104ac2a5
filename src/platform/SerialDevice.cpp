// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SerialDevice.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netdb.h>

#include "platform/PortNames.h"
#include "platform/PosixSerialDevice.h"
#include "platform/VirtualLine.h"
#include "platform/network/NetworkAddress.h"
#include "platform/network/NetworkSerialDevice.h"

std::unique_ptr<SerialDevice> OpenSerialDevice(const std::string& Path, int& Error) {
  if (Path.rfind("vline:", 0) == 0) return OpenVirtualLineEnd(Path, Error);
  if (IsNetworkPortName(Path)) return OpenNetworkSerialDevice(Path, Error);
  const std::string device = DevicePathOfPort(Path);
  if (device.empty()) {
    Error = ENOENT;
    return nullptr;
  }
  return OpenPosixSerialDevice(device, Error);
}

SerialDevice::WriteOutcome SerialDevice::WriteFile(const void* Data, int Count, int& Written,
                                                   int TimeoutMs,
                                                   std::initializer_list<const WaitEvent*> Cancel,
                                                   int& CancelledBy) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs);
  const auto* bytes = static_cast<const uint8_t*>(Data);
  Written = 0;
  CancelledBy = -1;
  while (Written < Count) {
    int taken = 0;
    if (!WriteSome(bytes + Written, Count - Written, taken)) return wrFailed;
    Written += taken;
    if (taken > 0) continue;
    int wait = -1;
    if (TimeoutMs >= 0) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      wait = static_cast<int>(std::max<long long>(left.count(), 0));
    }
    const WriteOutcome outcome = WaitWritable(wait, Cancel, CancelledBy);
    if (outcome != wrDone) return outcome;
  }
  return wrDone;
}

int LineTimeMs(int Bytes, uint32_t Rate) {
  const long long rate = Rate > 0 ? Rate : 9600;
  return static_cast<int>(std::clamp<long long>(Bytes * 10 * 1000LL / rate + 1, 1, 1000));
}

std::string SystemErrorText(int Error) {
  if (Error < 0) return gai_strerror(Error);
  char buffer[256];
  // The GNU strerror_r returns the text, which need not be in buffer.
  std::string text = strerror_r(Error, buffer, sizeof buffer);
  while (!text.empty() && (text.back() == '.' || text.back() == '\n' || text.back() == '\r'))
    text.pop_back();
  return text;
}
