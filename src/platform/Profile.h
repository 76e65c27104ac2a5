// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file: a small INI layer with the platform's profile rules.
// Names match without regard to case; a written key replaces its old line in place,
// new sections and keys are appended, every other line is kept. Values are read back
// with at most 2047 characters and without surrounding blanks. Each write reaches the
// file at once, atomically (written beside it and renamed over it), and never replaces
// a file the user made read-only.
#pragma once

#include <string>

#include "framework/Exceptions.h"

// Raised when the file cannot be written: "Unable to write to %s" with the full path.
class EProfileError : public Exception {
 public:
  using Exception::Exception;
};

class Profile {
 public:
  static constexpr size_t MaxValueLength = 2047;

  explicit Profile(std::string Path) : path_(std::move(Path)) {}

  const std::string& Path() const { return path_; }

  // Reading never fails: an absent file, section or key gives Default.
  std::string ReadString(const std::string& Section, const std::string& Key,
                         const std::string& Default) const;
  // Decimal, or hexadecimal after "0x", "0X" or "$"; text that is no number gives Default.
  int ReadInteger(const std::string& Section, const std::string& Key, int Default) const;
  // Read as an integer: non-zero is true.
  bool ReadBool(const std::string& Section, const std::string& Key, bool Default) const;

  void WriteString(const std::string& Section, const std::string& Key, const std::string& Value);
  void WriteInteger(const std::string& Section, const std::string& Key, int Value);
  void WriteBool(const std::string& Section, const std::string& Key, bool Value);

 private:
  std::string path_;
};
