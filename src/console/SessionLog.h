// SPDX-License-Identifier: GPL-3.0-or-later
// A log of the session on disk, in one of two forms: raw, every byte received exactly as
// it came and nothing else; or text, received and sent bytes as timed lines with the
// program's notes (TextLog). The owner calls Flush once a second, so that at most the
// last second is lost in a crash, and Close at the end. Every method but Size and Path
// may raise the file's failure (LogFile); the log is over then.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "console/LogFile.h"
#include "console/TextLog.h"

enum class LogForm { Raw, Text };

class SessionLog {
 public:
  using Clock = std::function<LogTime()>;
  // What is held is written out, without waiting for the next Flush, once it is this much.
  static constexpr size_t WriteOutAt = 64 * 1024;

  SessionLog(std::string Path, LogForm Form, Clock Now);

  void Received(std::string_view Bytes);
  void Sent(std::string_view Bytes);
  void Note(std::string_view Text);
  void Flush();
  void Close();

  LogForm Form() const { return form_; }
  uint64_t Size() const { return file_.Size(); }
  const std::string& Path() const { return file_.Path(); }

 private:
  void HandDone();

  LogFile file_;
  LogForm form_;
  Clock now_;
  TextLog text_;
};
