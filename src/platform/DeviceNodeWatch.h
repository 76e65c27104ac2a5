// SPDX-License-Identifier: GPL-3.0-or-later
// News of the device nodes in one folder, as the kernel reports it (inotify): a node
// created, removed, renamed, or its owner or mode changed (udev sets them just after a
// node appears). Reads and writes on the nodes are no news. The descriptor becomes
// readable when there is news, so an event loop waits on it and nothing polls.
#pragma once

#include <string>
#include <vector>

class DeviceNodeWatch {
 public:
  // Watching starts at once; a folder that is missing or cannot be watched gives a watch
  // that never has news (Fd() is -1).
  explicit DeviceNodeWatch(const std::string& Folder);
  ~DeviceNodeWatch();
  DeviceNodeWatch(const DeviceNodeWatch&) = delete;
  DeviceNodeWatch& operator=(const DeviceNodeWatch&) = delete;

  const std::string& Folder() const { return folder_; }
  int Fd() const { return fd_; }

  struct News {
    std::vector<std::string> Names;  // each once, in the order of its first change
    bool Lost = false;               // the kernel dropped news: any node may have changed
  };
  // What changed since the last call; nothing when there is no news. Once the folder
  // itself is removed there is no more news.
  News Take();

 private:
  std::string folder_;
  int fd_ = -1;
};
