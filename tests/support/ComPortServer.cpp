// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ComPortServer.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

constexpr uint8_t IAC = 255, SB = 250, SE = 240, WILL = 251, DO = 253, COM_PORT = 44;

std::string Notification(uint8_t Code, const std::string& Value) {
  std::string out = {char(IAC), char(SB), char(COM_PORT), char(Code)};
  for (char c : Value) {
    out += c;
    if (uint8_t(c) == IAC) out += c;
  }
  return out + std::string{char(IAC), char(SE)};
}

// The kernel's time of arrival (wall clock) as a steady time; now when none came along.
std::chrono::steady_clock::time_point ArrivalOf(msghdr& Message) {
  const auto now = std::chrono::steady_clock::now();
  for (cmsghdr* c = CMSG_FIRSTHDR(&Message); c; c = CMSG_NXTHDR(&Message, c)) {
    if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS) continue;
    timespec arrived, wall;
    std::memcpy(&arrived, CMSG_DATA(c), sizeof arrived);
    clock_gettime(CLOCK_REALTIME, &wall);
    const auto age = std::chrono::seconds(wall.tv_sec - arrived.tv_sec) +
                     std::chrono::nanoseconds(wall.tv_nsec - arrived.tv_nsec);
    return now - std::chrono::duration_cast<std::chrono::steady_clock::duration>(age);
  }
  return now;
}

}  // namespace

ComPortServer::ComPortServer(uint8_t ModemState) : modemState_(ModemState) {
  listen_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(listen_, 4);
  getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &length);
  port_ = ntohs(a.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

ComPortServer::~ComPortServer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.Set();
  thread_.join();
  if (client_ >= 0) close(client_);
  close(listen_);
}

bool ComPortServer::WaitFor(
    const std::function<bool(const std::vector<Command>&, const std::string&)>& Done, int TimeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(TimeoutMs), [&] { return Done(commands_, data_); });
}

void ComPortServer::SetOnChange(std::function<void()> Hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  onChange_ = std::move(Hook);
}

std::vector<ComPortServer::Command> ComPortServer::Commands() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return commands_;
}

std::string ComPortServer::Data() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return data_;
}

void ComPortServer::NotifyModemState(uint8_t State) { SendRaw(Notification(107, std::string(1, char(State)))); }

void ComPortServer::SendRaw(const std::string& Bytes) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    outgoing_ += Bytes;
  }
  wake_.Set();
}

void ComPortServer::Serve() {
  for (;;) {
    pollfd fds[] = {{wake_.Fd(), POLLIN, 0}, {listen_, POLLIN, 0}, {client_, POLLIN, 0}};
    poll(fds, client_ >= 0 ? 3 : 2, -1);
    std::unique_lock<std::mutex> lock(mutex_);
    if (stop_) return;
    if (fds[0].revents & POLLIN) {
      wake_.Reset();
      if (client_ >= 0 && !outgoing_.empty()) send(client_, outgoing_.data(), outgoing_.size(), MSG_NOSIGNAL);
      outgoing_.clear();
    }
    if (fds[1].revents & POLLIN) Accept();
    if (client_ >= 0 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR))) ReadClient();
    changed_.notify_all();
    const std::function<void()> hook = onChange_;
    lock.unlock();
    if (hook) hook();
  }
}

// As ser2net does: its requests, then the modem lines as they stand.
void ComPortServer::Accept() {
  if (client_ >= 0) close(client_);
  client_ = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
  const int on = 1;
  setsockopt(client_, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
  state_ = Plain;
  const std::string hello = {char(IAC), char(WILL), 0, char(IAC), char(DO), 0, char(IAC), char(WILL), 3,
                             char(IAC), char(DO),   3, char(IAC), char(DO), char(COM_PORT)};
  const std::string all = hello + Notification(107, std::string(1, char(modemState_)));
  send(client_, all.data(), all.size(), MSG_NOSIGNAL);
}

// A byte at a time, each with the time the kernel took in its segment: when this thread
// runs late, two commands sent 200 ms apart must not read as one moment.
void ComPortServer::ReadClient() {
  for (;;) {
    uint8_t byte;
    iovec part{&byte, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t n = recvmsg(client_, &message, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) {
      close(client_);
      client_ = -1;
      return;
    }
    Parse(byte, ArrivalOf(message));
  }
}

void ComPortServer::Parse(uint8_t b, std::chrono::steady_clock::time_point Arrived) {
  switch (state_) {
    case Plain:
      if (b == IAC) state_ = Iac;
      else data_ += char(b);
      break;
    case Iac:
      if (b == IAC) {
        data_ += char(b);
        state_ = Plain;
      } else if (b == SB) {
        sb_.clear();
        state_ = InSb;
      } else {
        state_ = b >= WILL ? Verb : Plain;
      }
      break;
    case Verb: state_ = Plain; break;
    case InSb:
      if (b == IAC) state_ = SbIac;
      else sb_ += char(b);
      break;
    case SbIac:
      if (b == IAC) {
        sb_ += char(b);
        state_ = InSb;
      } else {
        Record(sb_, Arrived);
        state_ = Plain;
      }
      break;
  }
}

void ComPortServer::Record(const std::string& Subnegotiation, std::chrono::steady_clock::time_point Arrived) {
  if (Subnegotiation.size() < 2 || uint8_t(Subnegotiation[0]) != COM_PORT) return;
  const uint8_t code = uint8_t(Subnegotiation[1]);
  commands_.push_back({code, Subnegotiation.substr(2), Arrived});
  if (code == 0 && Subnegotiation.size() == 2) {
    const std::string answer = Notification(100, "fixture");
    send(client_, answer.data(), answer.size(), MSG_NOSIGNAL);
  }
}
