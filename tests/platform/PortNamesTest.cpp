// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/PortDescription.h"
#include "platform/PortNames.h"
#include "platform/DeviceTestSupport.h"
#include "platform/SerialDevice.h"

namespace fs = std::filesystem;

namespace {

// A device tree of our own under a temporary root.
class PortNamesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tarvik-ports-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    fs::create_directories(root_ / "dev");
    SetDeviceRoot(root_.string());
  }
  void TearDown() override {
    SetDeviceRoot("/");
    fs::remove_all(root_);
  }
  void Link(const std::string& Name, const std::string& Target) {
    fs::create_symlink(Target, root_ / "dev" / Name);
  }
  void UartType(const std::string& Device, int Type) {
    struct stat st;
    ASSERT_EQ(stat(Device.c_str(), &st), 0);
    const fs::path dir = root_ / "sys/dev/char" /
                         (std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev)));
    fs::create_directories(dir);
    std::ofstream(dir / "type") << Type << "\n";
  }

  fs::path root_;
};

}  // namespace

TEST_F(PortNamesTest, UsbDeviceLinkedToAPtyIsCom33) {
  PtyPair pty;
  Link("ttyUSB0", pty.SlavePath);
  EXPECT_EQ(OtherPortNames(), std::vector<std::string>{"COM33"});
  EXPECT_EQ(DevicePathOfPort("COM33"), (root_ / "dev/ttyUSB0").string());
  int error = -1;
  auto device = OpenSerialDevice("COM33", error);
  ASSERT_TRUE(device) << error;
  ASSERT_TRUE(device->SetCommState(PlainDcb()));
  int written = 0, by = 0;
  EXPECT_EQ(device->WriteFile("hi", 2, written, 5000, {}, by), SerialDevice::wrDone);
  EXPECT_EQ(pty.Receive(2), "hi");
}

TEST_F(PortNamesTest, OnBoardNodesNeedAKnownUartType) {
  PtyPair a, b, c;
  Link("ttyS0", a.SlavePath);  // a pty has no UART type at all
  Link("ttyS4", b.SlavePath);
  Link("ttyS7", c.SlavePath);
  EXPECT_TRUE(OnBoardPortNames().empty());
  UartType(b.SlavePath, 4);  // 16550A
  UartType(c.SlavePath, 0);  // PORT_UNKNOWN: a node without hardware
  EXPECT_EQ(OnBoardPortNames(), std::vector<std::string>{"COM5"});
  EXPECT_TRUE(OtherPortNames().empty());
}

TEST_F(PortNamesTest, OtherDevicesAreSortedByNumberAndMustBeCharacterDevices) {
  PtyPair pty;
  for (const char* name : {"ttyUSB10", "ttyUSB2", "rfcomm0", "ttyAMA1", "ttyACM31"})
    Link(name, pty.SlavePath);
  Link("ttyUSB32", pty.SlavePath);   // beyond the table
  Link("ttyUSBx", pty.SlavePath);    // not a number
  Link("ttyACM0", "/nonexistent");   // dangling link
  std::ofstream(root_ / "dev/ttyACM1") << "plain file";
  fs::create_directory(root_ / "dev/ttyUSB3");
  const std::vector<std::string> expected{"COM35", "COM43", "COM96", "COM98", "COM129"};
  EXPECT_EQ(OtherPortNames(), expected);
}

TEST_F(PortNamesTest, NamesResolveThroughTheSameTable) {
  const std::string dev = (root_ / "dev").string();
  EXPECT_EQ(DevicePathOfPort("COM1"), dev + "/ttyS0");
  EXPECT_EQ(DevicePathOfPort("COM32"), dev + "/ttyS31");
  EXPECT_EQ(DevicePathOfPort("com65"), dev + "/ttyACM0");
  EXPECT_EQ(DevicePathOfPort("COM128"), dev + "/ttyAMA31");
  EXPECT_EQ(DevicePathOfPort("COM160"), dev + "/rfcomm31");
  EXPECT_EQ(DevicePathOfPort("COM1005"), "/dev/pts/5");
  EXPECT_EQ(DevicePathOfPort("/dev/ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(DevicePathOfPort("./relative/path"), "./relative/path");
  for (const char* unknown : {"COM0", "COM161", "COM999", "COM", "COMx", "COM-1", "COM01", "LPT1", ""})
    EXPECT_EQ(DevicePathOfPort(unknown), "") << unknown;
  SetDeviceRoot("/");
  EXPECT_EQ(DevicePathOfPort("COM33"), "/dev/ttyUSB0");
}

TEST_F(PortNamesTest, MissingDevicesAreNotFound) {
  int error = 0;
  EXPECT_FALSE(OpenSerialDevice("COM40", error));
  EXPECT_EQ(error, ENOENT);
  error = 0;
  EXPECT_FALSE(OpenSerialDevice("NOSUCHPORT", error));
  EXPECT_EQ(error, ENOENT);
  fs::remove_all(root_ / "dev");
  EXPECT_TRUE(OtherPortNames().empty());
  EXPECT_TRUE(OnBoardPortNames().empty());
}

// Two adapters told apart by their USB devices' strings: a serial converter (its tty's
// device is its port, two levels below the USB device) and a modem-class board (its tty's
// device is the interface, one level below) whose serial number sysfs does not give.
TEST_F(PortNamesTest, DescriptionsTellAdaptersApartBySysfs) {
  auto usb = [&](const std::string& Device, const std::string& Tty, const std::string& Below,
                 std::initializer_list<std::pair<const char*, const char*>> Strings) {
    const fs::path device = root_ / "sys/devices/usb1" / Device;
    fs::create_directories(device / Below);
    std::ofstream(device / "idVendor") << "0403\n";
    for (const auto& [name, value] : Strings) std::ofstream(device / name) << value << "\n";
    fs::create_directories(root_ / "sys/class/tty" / Tty);
    fs::create_symlink(device / Below, root_ / "sys/class/tty" / Tty / "device");
  };
  usb("1-1", "ttyUSB0", "1-1:1.0/ttyUSB0",
      {{"manufacturer", "FTDI"}, {"product", "FT232R UART\x01"}, {"serial", "A50285BI"}});
  usb("1-2", "ttyACM0", "1-2:1.0", {{"manufacturer", "Arduino"}, {"product", "Uno"}});
  fs::create_directories(root_ / "sys/class/tty/ttyS0/device");  // no USB device above it
  const std::string dev = (root_ / "dev").string();
  EXPECT_EQ(PortDescription("COM33"),
            dev + "/ttyUSB0\nManufacturer: FTDI\nProduct: FT232R UART\nSerial number: A50285BI");
  EXPECT_EQ(PortDescription("COM65"), dev + "/ttyACM0\nManufacturer: Arduino\nProduct: Uno");
  EXPECT_EQ(PortDescription("COM1"), dev + "/ttyS0");
  EXPECT_EQ(PortDescription("COM1005"), "/dev/pts/5");
}
