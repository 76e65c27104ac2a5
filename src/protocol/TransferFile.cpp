// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/TransferFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

// How many numbered names are tried before creating gives up.
constexpr int MaxNumberedNames = 100000;

int CreateExclusive(const std::string& Name) {
  return open(Name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

}  // namespace

std::string NumberedFileName(const std::string& Name, int N) {
  const size_t slash = Name.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = Name.rfind('.');
  if (dot == std::string::npos || dot < nameStart) dot = Name.size();
  return Name.substr(0, dot) + "-" + std::to_string(N) + Name.substr(dot);
}

bool TTransferFile::Adopt(int Fd) {
  if (Fd < 0) return false;
  // Another opener holding the lock means the file is in use.
  if (flock(Fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    ::close(Fd);
    return false;
  }
  fd_ = Fd;
  return true;
}

bool TTransferFile::OpenExisting(const std::string& Name) {
  Close();
  return Adopt(open(Name.c_str(), O_RDWR | O_CLOEXEC));
}

bool TTransferFile::CreateNew(const std::string& Wanted, const std::string& FirstChoice,
                              std::string& Used) {
  Close();
  // The exclusive create is the existence test that counts: a name taken since it was
  // chosen makes the next numbered name the candidate.
  std::string candidate = FirstChoice;
  int fd = CreateExclusive(candidate);
  for (int n = 1; fd < 0 && errno == EEXIST && n <= MaxNumberedNames; ++n) {
    candidate = NumberedFileName(Wanted, n);
    fd = CreateExclusive(candidate);
  }
  if (!Adopt(fd)) return false;
  Used = candidate;
  return true;
}

void TTransferFile::Close() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
}

int TTransferFile::Read(void* Data, int Count) {
  auto* dest = static_cast<uint8_t*>(Data);
  int total = 0;
  while (total < Count) {
    const ssize_t n = ::read(fd_, dest + total, static_cast<size_t>(Count - total));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    total += static_cast<int>(n);
  }
  return total;
}

bool TTransferFile::Write(const void* Data, int Count) {
  const auto* src = static_cast<const uint8_t*>(Data);
  int total = 0;
  while (total < Count) {
    const ssize_t n = ::write(fd_, src + total, static_cast<size_t>(Count - total));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    total += static_cast<int>(n);
  }
  return true;
}

int64_t TTransferFile::Position() const {
  return fd_ < 0 ? 0 : static_cast<int64_t>(lseek(fd_, 0, SEEK_CUR));
}

int64_t TTransferFile::Size() const {
  struct stat st;
  if (fd_ < 0 || fstat(fd_, &st) != 0) return 0;
  return static_cast<int64_t>(st.st_size);
}
