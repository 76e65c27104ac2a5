// SPDX-License-Identifier: GPL-3.0-or-later
// Exception classes: what() is the exact message the user sees.
#pragma once

#include <exception>
#include <string>

class Exception : public std::exception {
 public:
  explicit Exception(std::string Message) : message_(std::move(Message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const { return message_; }

 private:
  std::string message_;
};

class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// A silent exception: it unwinds an operation and is never reported.
class EAbort : public Exception {
 public:
  EAbort() : Exception("") {}
};

// printf-style formatting of a message with %s and %d placeholders.
std::string FormatMessage(const char* Fmt, ...) __attribute__((format(printf, 1, 2)));
