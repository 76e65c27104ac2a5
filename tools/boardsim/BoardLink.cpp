// SPDX-License-Identifier: GPL-3.0-or-later
#include "boardsim/BoardLink.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {

void MakeRaw(int Fd) {
  termios t{};
  if (tcgetattr(Fd, &t) != 0) return;
  cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  tcsetattr(Fd, TCSANOW, &t);
}

// A descriptor-backed link: a pty master or a serial device.
class FdLink : public BoardLink {
 public:
  FdLink(int Fd, int KeepOpen) : fd_(Fd), keepOpen_(KeepOpen) {
    fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
  }
  ~FdLink() override {
    close(fd_);
    if (keepOpen_ >= 0) close(keepOpen_);
  }

  std::string Receive(int TimeoutMs) override {
    pollfd p{fd_, POLLIN, 0};
    int ready = poll(&p, 1, TimeoutMs);
    if (ready <= 0) return {};
    char buffer[4096];
    ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n > 0) return std::string(buffer, static_cast<size_t>(n));
    if (n < 0 && errno == EAGAIN) return {};
    if (n < 0 && errno == EIO && keepOpen_ >= 0) {
      // Nobody has the slave open at the moment; wait for Tarvik to come back.
      poll(nullptr, 0, TimeoutMs);
      return {};
    }
    throw std::runtime_error(n == 0 ? "line closed" : std::strerror(errno));
  }

  void Send(const std::string& Bytes) override {
    size_t done = 0;
    while (done < Bytes.size()) {
      ssize_t n = write(fd_, Bytes.data() + done, Bytes.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
      } else if (n < 0 && errno == EAGAIN) {
        pollfd p{fd_, POLLOUT, 0};
        poll(&p, 1, 1000);
      } else {
        return;  // the other side is gone; what it did not take is lost as on a wire
      }
    }
  }

  bool SetClearToSend(bool On) override {
    int bits = TIOCM_RTS;
    return ioctl(fd_, On ? TIOCMBIS : TIOCMBIC, &bits) == 0;
  }

 private:
  int fd_;
  int keepOpen_;  // a pty slave held open so that the master never reads EIO
};

class VirtualLink : public BoardLink {
 public:
  explicit VirtualLink(std::shared_ptr<VirtualLine> Line) : line_(std::move(Line)) {}
  std::string Receive(int TimeoutMs) override { return line_->TakeAtLeast(VirtualLine::B, 1, TimeoutMs); }
  void Send(const std::string& Bytes) override { line_->Send(VirtualLine::B, Bytes); }
  bool SetClearToSend(bool On) override {
    line_->SetRts(VirtualLine::B, On);
    return true;
  }

 private:
  std::shared_ptr<VirtualLine> line_;
};

}  // namespace

std::unique_ptr<BoardLink> BoardLink::NewPty(std::string& SlavePath) {
  int master = -1, slave = -1;
  char name[256];
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
    throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
  MakeRaw(slave);
  MakeRaw(master);
  SlavePath = name;
  return std::make_unique<FdLink>(master, slave);
}

std::unique_ptr<BoardLink> BoardLink::FromPtyMaster(int MasterFd) {
  MakeRaw(MasterFd);
  return std::make_unique<FdLink>(MasterFd, -1);
}

std::unique_ptr<BoardLink> BoardLink::OpenDevice(const std::string& Path) {
  int fd = open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) throw std::runtime_error(Path + ": " + std::strerror(errno));
  MakeRaw(fd);
  return std::make_unique<FdLink>(fd, -1);
}

std::unique_ptr<BoardLink> BoardLink::OnVirtualLine(std::shared_ptr<VirtualLine> Line) {
  return std::make_unique<VirtualLink>(std::move(Line));
}

std::string PortNameForPath(const std::string& Path) {
  const std::string pts = "/dev/pts/";
  if (Path.rfind(pts, 0) == 0) return "COM" + std::to_string(1000 + std::stoi(Path.substr(pts.size())));
  return Path;
}
