// SPDX-License-Identifier: GPL-3.0-or-later
// Files that cannot be written, made without root's help: a folder of its own, a disk that
// is full past a size (the process's file-size limit, its signal ignored), and a folder
// the test may not write into although it runs as root (another file-system user).
#pragma once

#include <signal.h>
#include <stdlib.h>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarvik-XXXXXX").string();
    path_ = mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TempFolder() {
    std::error_code ignored;
    chmod(path_.c_str(), 0700);
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& Name) const { return path_ + "/" + Name; }

 private:
  std::string path_;
};

inline std::string FileBytes(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Writes past Bytes fail with EFBIG ("File too large"), as on a disk that is full there.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t Bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = Bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, SIG_DFL);
  }

 private:
  rlimit saved_{};
};

// Folder made read-only (0555); this thread checks permissions as another user meanwhile,
// since root would write there anyway.
class UnwritableFolder {
 public:
  explicit UnwritableFolder(const std::string& Path) : path_(Path) {
    chmod(path_.c_str(), 0555);
    if (geteuid() == 0) setfsuid(65534);
  }
  ~UnwritableFolder() {
    if (geteuid() == 0) setfsuid(0);
    chmod(path_.c_str(), 0700);
  }

 private:
  std::string path_;
};
