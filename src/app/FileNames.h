// SPDX-License-Identifier: GPL-3.0-or-later
// File names are bytes of the file system, not Latin-1 text: a name from a box, a dialog
// or the settings file reaches the file system in the local 8-bit encoding of file names,
// and comes back from it the same way.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <string>

inline std::string FileSystemName(const QString& Name) { return QFile::encodeName(Name).toStdString(); }

inline QString FileNameText(const std::string& Bytes) {
  return QFile::decodeName(QByteArray(Bytes.data(), static_cast<qsizetype>(Bytes.size())));
}
