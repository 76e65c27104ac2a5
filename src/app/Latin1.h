// SPDX-License-Identifier: GPL-3.0-or-later
// Texts are 8-bit: a byte is one character, shown as Latin-1.
#pragma once

#include <QString>
#include <string>

inline QString FromBytes(const std::string& Bytes) {
  return QString::fromLatin1(Bytes.data(), static_cast<qsizetype>(Bytes.size()));
}

inline std::string ToBytes(const QString& Text) { return Text.toLatin1().toStdString(); }
