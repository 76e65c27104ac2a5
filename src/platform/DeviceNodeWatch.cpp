// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DeviceNodeWatch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

constexpr uint32_t NodeNews = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB;

}  // namespace

DeviceNodeWatch::DeviceNodeWatch(const std::string& Folder) : folder_(Folder) {
  fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) return;
  if (inotify_add_watch(fd_, Folder.c_str(), NodeNews | IN_ONLYDIR) < 0) {
    close(fd_);
    fd_ = -1;
  }
}

DeviceNodeWatch::~DeviceNodeWatch() {
  if (fd_ >= 0) close(fd_);
}

DeviceNodeWatch::News DeviceNodeWatch::Take() {
  News news;
  if (fd_ < 0) return news;
  alignas(inotify_event) char buffer[16384];
  for (;;) {
    const ssize_t got = read(fd_, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;  // EAGAIN: all news taken
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->mask & IN_Q_OVERFLOW) news.Lost = true;
      if (event->len == 0) continue;  // news of the folder itself
      const std::string name = event->name;  // NUL-padded by the kernel
      if (std::find(news.Names.begin(), news.Names.end(), name) == news.Names.end())
        news.Names.push_back(name);
    }
  }
  return news;
}
