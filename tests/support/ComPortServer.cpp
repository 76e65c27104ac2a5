// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ComPortServer.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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

std::vector<uint8_t> ComPortServer::Controls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<uint8_t> values;
  for (const Command& c : commands_)
    if (c.Code == 5 && c.Value.size() == 1) values.push_back(uint8_t(c.Value[0]));
  return values;
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
    if (client_ >= 0 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR))) {
      uint8_t buffer[4096];
      const ssize_t n = recv(client_, buffer, sizeof buffer, 0);
      if (n <= 0) {
        close(client_);
        client_ = -1;
      } else {
        Parse(buffer, size_t(n));
      }
    }
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
  state_ = Plain;
  const std::string hello = {char(IAC), char(WILL), 0, char(IAC), char(DO), 0, char(IAC), char(WILL), 3,
                             char(IAC), char(DO),   3, char(IAC), char(DO), char(COM_PORT)};
  const std::string all = hello + Notification(107, std::string(1, char(modemState_)));
  send(client_, all.data(), all.size(), MSG_NOSIGNAL);
}

void ComPortServer::Parse(const uint8_t* Bytes, size_t Count) {
  for (size_t i = 0; i < Count; ++i) {
    const uint8_t b = Bytes[i];
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
          Record(sb_);
          state_ = Plain;
        }
        break;
    }
  }
}

void ComPortServer::Record(const std::string& Subnegotiation) {
  if (Subnegotiation.size() < 2 || uint8_t(Subnegotiation[0]) != COM_PORT) return;
  const uint8_t code = uint8_t(Subnegotiation[1]);
  commands_.push_back({code, Subnegotiation.substr(2), std::chrono::steady_clock::now()});
  if (code == 0 && Subnegotiation.size() == 2) {
    const std::string answer = Notification(100, "fixture");
    send(client_, answer.data(), answer.size(), MSG_NOSIGNAL);
  }
}
