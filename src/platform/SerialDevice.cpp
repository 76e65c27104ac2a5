#include "platform/SerialDevice.h"

#include <cerrno>
#include <cstring>

#include "platform/PortNames.h"
#include "platform/PosixSerialDevice.h"
#include "platform/VirtualLine.h"

std::unique_ptr<SerialDevice> OpenSerialDevice(const std::string& Path, int& Error) {
  if (Path.rfind("vline:", 0) == 0) return OpenVirtualLineEnd(Path, Error);
  const std::string device = DevicePathOfPort(Path);
  if (device.empty()) {
    Error = ENOENT;
    return nullptr;
  }
  return OpenPosixSerialDevice(device, Error);
}

std::string SystemErrorText(int Error) {
  char buffer[256];
  // The GNU strerror_r returns the text, which need not be in buffer.
  std::string text = strerror_r(Error, buffer, sizeof buffer);
  while (!text.empty() && (text.back() == '.' || text.back() == '\n' || text.back() == '\r'))
    text.pop_back();
  return text;
}
