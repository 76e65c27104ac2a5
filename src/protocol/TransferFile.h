// SPDX-License-Identifier: GPL-3.0-or-later
// The file of one transfer: opened for the length of the transfer, read and write access,
// not shared with other openers (an exclusive advisory lock).
#pragma once

#include <cstdint>
#include <string>

class TTransferFile {
 public:
  TTransferFile() = default;
  ~TTransferFile() { Close(); }
  TTransferFile(const TTransferFile&) = delete;
  TTransferFile& operator=(const TTransferFile&) = delete;

  // Opens an existing file.
  bool OpenExisting(const std::string& Name);
  // Creates a file that did not exist, never opening an existing one: FirstChoice is tried
  // first, then Wanted's numbered names (stem-1.ext, stem-2.ext, ...) until one can be
  // created. Used receives the name of the file created.
  bool CreateNew(const std::string& Wanted, const std::string& FirstChoice, std::string& Used);
  bool IsOpen() const { return fd_ >= 0; }
  void Close();

  // Reads up to Count bytes; fewer only at the end of the file. -1 on failure.
  int Read(void* Data, int Count);
  // Writes all Count bytes, or fails.
  bool Write(const void* Data, int Count);
  int64_t Position() const;
  int64_t Size() const;

 private:
  bool Adopt(int Fd);

  int fd_ = -1;
};

// Name's numbered variant N: directory, stem, "-", N, extension.
std::string NumberedFileName(const std::string& Name, int N);
