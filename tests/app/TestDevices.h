// SPDX-License-Identifier: GPL-3.0-or-later
// Port discovery under a temporary root, and pseudo-terminals placed there as devices.
#pragma once

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <string>

#include "platform/PortNames.h"

// Discovery and resolution look under an empty temporary root, so the machine's own
// serial devices play no part.
class TestDeviceRoot {
 public:
  TestDeviceRoot() {
    QDir(dir_.path()).mkpath("dev");
    SetDeviceRoot(dir_.path().toStdString());
  }
  ~TestDeviceRoot() { SetDeviceRoot("/"); }

  // dev/<Node> becomes a link to Target.
  void Link(const std::string& Node, const std::string& Target) const {
    QFile::link(QString::fromStdString(Target), NodePath(Node));
  }
  // dev/<Node> goes, as an unplugged adapter's node does.
  void Unlink(const std::string& Node) const { QFile::remove(NodePath(Node)); }

 private:
  QString NodePath(const std::string& Node) const {
    return QDir(dir_.path()).filePath(QString::fromStdString("dev/" + Node));
  }
  QTemporaryDir dir_;
};

// A pseudo-terminal; the slave stays open here so the line never hangs up.
struct TestPty {
  int Master = -1;
  int Slave = -1;
  std::string SlavePath;

  TestPty() {
    char name[128];
    if (openpty(&Master, &Slave, name, nullptr, nullptr) != 0) return;
    SlavePath = name;
    termios t;
    tcgetattr(Slave, &t);
    cfmakeraw(&t);
    tcsetattr(Slave, TCSANOW, &t);
  }
  ~TestPty() {
    if (Slave >= 0) close(Slave);
    if (Master >= 0) close(Master);
  }
};

// The rate the line runs at, as the driver took it (TCGETS2 through the master).
int PtyOutputSpeed(int MasterFd);
