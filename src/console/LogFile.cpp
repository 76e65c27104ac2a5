// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/LogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "framework/Exceptions.h"

LogFile::LogFile(std::string Path) : path_(std::move(Path)) {
  fd_ = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0)
    throw Exception(FormatMessage("Cannot log to \"%s\". %s", path_.c_str(), std::strerror(errno)));
}

LogFile::~LogFile() {
  if (fd_ < 0) return;
  try {
    WriteOut();
  } catch (const Exception&) {
    return;  // closed by the failure
  }
  CloseQuietly();
}

void LogFile::SetTail(std::string Tail) {
  if (Tail == tail_) return;
  tail_ = std::move(Tail);
  tailChanged_ = true;
}

void LogFile::WriteOut() {
  if (fd_ < 0 || (held_.empty() && !tailChanged_)) return;
  WriteAt(held_, written_);
  written_ += held_.size();
  held_.clear();
  WriteAt(tail_, written_);
  tailChanged_ = false;
  const uint64_t length = written_ + tail_.size();
  if (length < length_ && ftruncate(fd_, static_cast<off_t>(length)) != 0) Fail(std::strerror(errno));
  length_ = length;
  unsynced_ = true;
}

void LogFile::Flush() {
  WriteOut();
  if (fd_ < 0) return;
  // A file that cannot be synced (a pipe, /dev/null) has nothing to lose to a power cut.
  if (unsynced_ && fdatasync(fd_) != 0 && errno != EINVAL) Fail(std::strerror(errno));
  unsynced_ = false;
  struct stat info{};
  if (fstat(fd_, &info) != 0) Fail(std::strerror(errno));
  if (info.st_nlink == 0) Fail("The file was deleted");
}

void LogFile::Close() {
  Flush();
  if (fd_ < 0) return;
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0 && errno != EINTR) Fail(std::strerror(errno));
}

void LogFile::WriteAt(std::string_view Bytes, uint64_t Offset) {
  while (!Bytes.empty()) {
    const ssize_t put = pwrite(fd_, Bytes.data(), Bytes.size(), static_cast<off_t>(Offset));
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) Fail(std::strerror(errno));
    Bytes.remove_prefix(static_cast<size_t>(put));
    Offset += static_cast<uint64_t>(put);
  }
}

void LogFile::CloseQuietly() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

void LogFile::Fail(const std::string& Reason) {
  CloseQuietly();
  held_.clear();
  throw Exception(FormatMessage("Logging to \"%s\" stopped. %s", path_.c_str(), Reason.c_str()));
}
