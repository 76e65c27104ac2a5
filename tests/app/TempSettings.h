// SPDX-License-Identifier: GPL-3.0-or-later
// A temporary directory holding the settings file, with the program pointed at it.
#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <string>

#include "app/SettingsFile.h"

class TempSettings {
 public:
  TempSettings() { SetSettingsFilePath(Path()); }
  ~TempSettings() {
    SetSettingsFilePath("");
    QFile::setPermissions(QString::fromStdString(Path()), QFile::ReadOwner | QFile::WriteOwner);
  }

  std::string Path() const { return QDir(dir_.path()).filePath("tarvik-33.ini").toStdString(); }
  std::string Dir() const { return dir_.path().toStdString(); }

  void Write(const std::string& Text) const {
    QFile file(QString::fromStdString(Path()));
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(Text.data(), static_cast<qint64>(Text.size()));
  }

  std::string Read() const {
    QFile file(QString::fromStdString(Path()));
    if (!file.open(QIODevice::ReadOnly)) return "";
    return file.readAll().toStdString();
  }

 private:
  QTemporaryDir dir_;
};
