// SPDX-License-Identifier: GPL-3.0-or-later
// A log's file: bytes appended, and after them a tail that is replaced as a whole (a text
// log's lines not yet ended), so the file always reads as the log so far. Bytes are held
// until WriteOut or Flush; Flush also puts them on the medium and checks that the file is
// still there (a deleted file takes writes on Linux and loses them). Every failure raises
// an Exception whose message names the file and the system's reason; the file is closed
// then and takes nothing more.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class LogFile {
 public:
  // Creates the file, or empties it.
  explicit LogFile(std::string Path);
  // Writes what is held, ignoring failures (use Close to hear of them).
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  void Append(std::string_view Bytes) { held_ += Bytes; }
  void SetTail(std::string Tail);
  size_t Held() const { return held_.size(); }

  void WriteOut();
  void Flush();
  void Close();

  // As the file stands once what is held is written.
  uint64_t Size() const { return written_ + held_.size() + tail_.size(); }
  const std::string& Path() const { return path_; }

 private:
  void WriteAt(std::string_view Bytes, uint64_t Offset);
  void CloseQuietly();
  [[noreturn]] void Fail(const std::string& Reason);

  std::string path_;
  int fd_ = -1;
  std::string held_;
  std::string tail_;
  bool tailChanged_ = false;
  uint64_t written_ = 0;  // bytes on disk before the tail
  uint64_t length_ = 0;   // the file's length, the tail on disk included
  bool unsynced_ = false;
};
