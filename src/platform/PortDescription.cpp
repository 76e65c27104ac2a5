// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PortDescription.h"

#include <cctype>
#include <filesystem>
#include <fstream>

#include "platform/PortNames.h"
#include "platform/network/NetworkAddress.h"
#include "platform/network/NetworkSerialDevice.h"

namespace fs = std::filesystem;

namespace {

// The tty's "device" is the USB serial port (ttyUSB) or the USB interface (ttyACM);
// the USB device with the strings is the first folder at or above it with an idVendor.
constexpr int LevelsToTheUsbDevice = 3;
constexpr size_t LongestValue = 128;

fs::path UsbDeviceOfNode(const std::string& NodeName) {
  std::error_code error;
  fs::path at = fs::canonical(fs::path(DeviceRoot()) / "sys/class/tty" / NodeName / "device", error);
  for (int level = 0; !error && level < LevelsToTheUsbDevice; ++level, at = at.parent_path())
    if (fs::exists(at / "idVendor", error)) return at;
  return {};
}

// The first line of a sysfs attribute, printable characters only; empty when unreadable.
std::string Attribute(const fs::path& Device, const char* Name) {
  std::ifstream in(Device / Name);
  std::string line;
  if (!std::getline(in, line)) return {};
  std::string value;
  for (char c : line.substr(0, LongestValue))
    if (std::isprint(static_cast<unsigned char>(c))) value += c;
  while (!value.empty() && value.back() == ' ') value.pop_back();
  return value;
}

}  // namespace

std::string PortDescription(const std::string& PortName) {
  if (IsNetworkPortName(PortName)) {
    const std::string signature = ServerSignatureOf(PortName);
    return signature.empty() ? PortName : PortName + "\nServer: " + signature;
  }
  const fs::path path = DevicePathOfPort(PortName);
  std::string text = path.string();
  if (path.empty() || path.parent_path() != fs::path(DeviceDirectory())) return text;
  const fs::path usb = UsbDeviceOfNode(path.filename().string());
  if (usb.empty()) return text;
  const std::pair<const char*, const char*> lines[] = {
      {"Manufacturer", "manufacturer"}, {"Product", "product"}, {"Serial number", "serial"}};
  for (const auto& [label, attribute] : lines) {
    const std::string value = Attribute(usb, attribute);
    if (!value.empty()) text += "\n" + std::string(label) + ": " + value;
  }
  return text;
}
