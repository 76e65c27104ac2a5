// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SettingsFile.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>

#include "app/FileNames.h"

namespace {
std::string overridePath;
}

std::string SettingsFilePath() {
  if (!overridePath.empty()) return overridePath;
#ifndef TARVIK_SETTINGS_IN_CONFIG_DIR  // set for the package build: /usr/bin is no place for it
  QString dir = QCoreApplication::applicationDirPath();
  QString beside = QDir(dir).filePath(SettingsFileName);
  if (QFileInfo::exists(beside) || access(FileSystemName(dir).c_str(), W_OK) == 0)
    return FileSystemName(beside);
#endif
  QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
  QDir().mkpath(config);
  return FileSystemName(QDir(config).filePath(SettingsFileName));
}

void SetSettingsFilePath(const std::string& Path) { overridePath = Path; }

std::string LocalDateTimeText() {
  QLocale locale;
  QDateTime now = QDateTime::currentDateTime();
  QString text = locale.toString(now.date(), QLocale::ShortFormat) + " " +
                 locale.toString(now.time(), QLocale::LongFormat);
  return text.toLocal8Bit().toStdString();
}
