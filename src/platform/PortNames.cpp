// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PortNames.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <mutex>
#include <span>

namespace {

// One family of device nodes and the port numbers it owns.
struct Family {
  const char* Prefix;
  int FirstPort;
};
constexpr int PortsPerFamily = 32;
constexpr Family Families[] = {
    {"ttyS", 1}, {"ttyUSB", 33}, {"ttyACM", 65}, {"ttyAMA", 97}, {"rfcomm", 129}};
constexpr const Family& OnBoard = Families[0];
constexpr std::span<const Family> Others(Families + 1, std::size(Families) - 1);
constexpr int FirstPtyPort = 1000;

std::mutex rootMutex;
std::string root = "/";

std::string Under(const std::string& Root, const std::string& Relative) {
  return Root.empty() || Root.back() == '/' ? Root + Relative : Root + "/" + Relative;
}

// Parses digits only, no sign, no blanks; false when Text is anything else.
bool ParseNumber(const std::string& Text, int& Value) {
  if (Text.empty() || Text.size() > 9) return false;
  Value = 0;
  for (char c : Text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    Value = Value * 10 + (c - '0');
  }
  return true;
}

// The node's number within family F (ttyUSB7 -> 7); false for any other name.
bool NodeNumber(const std::string& Name, const Family& F, int& N) {
  const std::string prefix = F.Prefix;
  return Name.rfind(prefix, 0) == 0 && ParseNumber(Name.substr(prefix.size()), N) &&
         N < PortsPerFamily;
}

bool IsCharDevice(const std::string& Path, struct stat& St) {
  return stat(Path.c_str(), &St) == 0 && S_ISCHR(St.st_mode);  // follows links
}

// The UART type from sysfs when the root has one, so discovery opens no port (opening
// raises DTR, which resets some boards); else from TIOCGSERIAL.
bool HasKnownUart(const std::string& Root, const std::string& Path, const struct stat& St) {
  const std::string typeFile = Under(Root, "sys/dev/char/" + std::to_string(major(St.st_rdev)) +
                                               ":" + std::to_string(minor(St.st_rdev)) + "/type");
  std::ifstream in(typeFile);
  int type = 0;
  if (in >> type) return type != PORT_UNKNOWN;
  const int fd = open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  serial_struct info{};
  const bool known = ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
  close(fd);
  return known;
}

// Device numbers of the nodes of one family found under Root, sorted.
std::vector<int> FindNodes(const std::string& Root, const Family& F, bool NeedUart) {
  std::vector<int> found;
  const std::string dev = Under(Root, "dev");
  DIR* dir = opendir(dev.c_str());
  if (!dir) return found;
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    int n;
    if (!NodeNumber(name, F, n)) continue;
    const std::string path = dev + "/" + name;
    struct stat st;
    if (!IsCharDevice(path, st)) continue;
    if (NeedUart && !HasKnownUart(Root, path, st)) continue;
    found.push_back(n);
  }
  closedir(dir);
  std::sort(found.begin(), found.end());
  return found;
}

void AppendNames(std::vector<std::string>& Names, const Family& F, const std::vector<int>& Nodes) {
  for (int n : Nodes) Names.push_back("COM" + std::to_string(F.FirstPort + n));
}

}  // namespace

void SetDeviceRoot(const std::string& Root) {
  std::lock_guard<std::mutex> lock(rootMutex);
  root = Root.empty() ? "/" : Root;
}

std::string DeviceRoot() {
  std::lock_guard<std::mutex> lock(rootMutex);
  return root;
}

std::string DeviceDirectory() { return Under(DeviceRoot(), "dev"); }

bool IsPortNode(const std::string& NodeName) {
  int n;
  return std::any_of(std::begin(Families), std::end(Families),
                     [&](const Family& F) { return NodeNumber(NodeName, F, n); });
}

std::vector<std::string> OnBoardPortNames() {
  std::vector<std::string> names;
  AppendNames(names, OnBoard, FindNodes(DeviceRoot(), OnBoard, true));
  return names;
}

std::vector<std::string> OtherPortNames() {
  const std::string r = DeviceRoot();
  std::vector<std::string> names;
  for (const Family& f : Others) AppendNames(names, f, FindNodes(r, f, false));
  return names;
}

std::string DevicePathOfPort(const std::string& Name) {
  if (Name.find('/') != std::string::npos) return Name;
  if (Name.size() < 4) return {};
  std::string head = Name.substr(0, 3);
  std::transform(head.begin(), head.end(), head.begin(), ::toupper);
  int port;
  if (head != "COM" || !ParseNumber(Name.substr(3), port) || Name[3] == '0') return {};
  if (port >= FirstPtyPort) return "/dev/pts/" + std::to_string(port - FirstPtyPort);
  const std::string r = DeviceRoot();
  for (const Family& f : Families)
    if (port >= f.FirstPort && port < f.FirstPort + PortsPerFamily)
      return Under(r, "dev/" + std::string(f.Prefix) + std::to_string(port - f.FirstPort));
  return {};
}
