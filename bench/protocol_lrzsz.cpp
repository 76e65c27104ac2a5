// 4 MiB of random data with XMODEM-1K over a pseudo-terminal: our sender to rx, sx to our
// receiver, and sx to rx over the same kind of link, in one run.
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "LrzszPeer.h"
#include "platform/TickCount.h"
#include "protocol/SerProtocol.h"
#include "protocol_common.h"

namespace {

constexpr size_t FileSize = 4u << 20;
constexpr int Deadline = 300000;

// Copies bytes both ways between the master sides of two pseudo-terminals, so that each
// program has a terminal of its own, as with a socat pair.
class PtyRelay {
 public:
  PtyRelay(int A, int B) : a_(A), b_(B) {
    if (pipe(stop_) != 0) std::abort();
    thread_ = std::thread([this] { Run(); });
  }
  ~PtyRelay() {
    const char c = 0;
    if (write(stop_[1], &c, 1) != 1) std::abort();
    thread_.join();
    close(stop_[0]);
    close(stop_[1]);
  }

 private:
  void Run() {
    char buffer[65536];
    for (;;) {
      pollfd fds[3] = {{a_, POLLIN, 0}, {b_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
      if (poll(fds, 3, -1) < 0) continue;
      if (fds[2].revents) return;
      for (int i = 0; i < 2; ++i) {
        if (!(fds[i].revents & POLLIN)) continue;
        const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
        for (ssize_t at = 0; n > 0 && at < n;) {
          const ssize_t w = write(i == 0 ? b_ : a_, buffer + at, static_cast<size_t>(n - at));
          if (w <= 0) break;
          at += w;
        }
      }
    }
  }
  int a_, b_;
  int stop_[2];
  std::thread thread_;
};

void Reference(const std::string& What, bool OwnTerminals, const std::string& Dir,
               const std::string& Data) {
  PtyLink first, second;
  std::unique_ptr<PtyRelay> relay;
  if (OwnTerminals) relay = std::make_unique<PtyRelay>(first.Master(), second.Master());
  const int rxFd = OwnTerminals ? second.Slave() : first.Slave();
  const int sxFd = OwnTerminals ? first.Slave() : first.Master();
  const auto start = BenchClock::now();
  LineProgram rx({"rx", "-c", "sxrx.bin"}, rxFd, rxFd, Dir);
  LineProgram sx({"sx", "-k", "src.bin"}, sxFd, sxFd, Dir);
  if (!Pump([&] { return rx.Exited(); }, Deadline)) std::printf("sx to rx: rx did not end\n");
  const auto end = BenchClock::now();
  const bool ok = rx.ExitStatus() == 0 && ReadAll(Dir + "/sxrx.bin").compare(0, Data.size(), Data) == 0;
  PrintRate(What + (ok ? "" : " FAILED"), Data.size(), Seconds(start, end));
  std::remove((Dir + "/sxrx.bin").c_str());
}

struct OurEnd {
  PtyLink Link;
  TSerComm Port{nullptr};
  TSerXModem Xm{nullptr};
  int Ends = 0;
  int ExitCode = 0;
  OurEnd() {
    Port.SetDeviceName(Link.SlavePath());
    Port.Buffers().SetReadSize(65536);
    Port.Buffers().SetWriteSize(232144);
    Port.Open();
    Xm.SetComm(&Port);
    Xm.OnTransferEnd = [this](TObject*, int Code) {
      ++Ends;
      ExitCode = Code;
    };
  }
};

void OursToRx(const std::string& Dir, const std::string& Data) {
  OurEnd ours;
  std::unique_ptr<LineProgram> rx;
  BenchClock::time_point start;
  ours.Xm.SetFileName(Dir + "/src.bin");
  ours.Xm.SetTimeout(3000);
  ours.Xm.OnFileInfo = [&](TObject*, const std::string&, int) {
    rx = std::make_unique<LineProgram>(std::vector<std::string>{"rx", "-c", "ours-rx.bin"},
                                       ours.Link.Master(), ours.Link.Master(), Dir);
    // rx flushes its input just after its start byte and after each ACK; a reply faster
    // than that flush would be lost (a real line's byte time covers it).
    SleepMs(300);
    start = BenchClock::now();
  };
  ours.Xm.OnPacketEvent = [](TObject*, int, int) {
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  };
  ours.Xm.StartTransfer();
  if (!Pump([&] { return rx && rx->Exited(); }, Deadline)) std::printf("ours to rx: rx did not end\n");
  const auto end = BenchClock::now();
  // rx's final ACK is often lost as it flushes its line on exit.
  if (!Pump([&] { return ours.Ends > 0; }, 1000)) {
    ours.Xm.AbortTransfer();
    Pump([&] { return ours.Ends > 0; }, 10000);
  }
  const bool ok = rx->ExitStatus() == 0 &&
                  ReadAll(Dir + "/ours-rx.bin").compare(0, Data.size(), Data) == 0;
  PrintRate(std::string("our sender to rx -c (pty, 0.1 ms hold per block)") + (ok ? "" : " FAILED"),
            Data.size(), Seconds(start, end));
  std::remove((Dir + "/ours-rx.bin").c_str());
}

void SxToOurs(const std::string& Dir, const std::string& Data) {
  OurEnd ours;
  ours.Xm.SetMode(tmDownload);
  ours.Xm.SetProtocol(XModem1K);
  ours.Xm.SetFileName(Dir + "/sx-ours.bin");
  ours.Xm.SetTimeout(5000);
  const auto start = BenchClock::now();
  LineProgram sx({"sx", "-k", "src.bin"}, ours.Link.Master(), ours.Link.Master(), Dir);
  ours.Xm.StartTransfer();
  if (!Pump([&] { return ours.Ends > 0; }, Deadline)) std::printf("sx to ours: no end\n");
  const auto end = BenchClock::now();
  Pump([&] { return sx.Exited(); }, 10000);
  const bool ok = ours.ExitCode == 0 &&
                  ReadAll(Dir + "/sx-ours.bin").compare(0, Data.size(), Data) == 0;
  PrintRate(std::string("sx -k to our receiver (pty)") + (ok ? "" : " FAILED"), Data.size(),
            Seconds(start, end));
  std::remove((Dir + "/sx-ours.bin").c_str());
}

}  // namespace

int main() {
  if (!HaveProgram("sx") || !HaveProgram("rx")) {
    std::printf("lrzsz (sx, rx) is not installed\n");
    return 1;
  }
  const std::string dir = MakeBenchDir();
  const std::string data = WriteRandomFile(dir + "/src.bin", FileSize);
  std::printf("XMODEM-1K, 4 MiB of random data, one pseudo-terminal (includes rx's 1 s EOT wait)\n");
  // rx's input flushes meet incoming blocks now and then, costing its 10 s time-out: each
  // pairing runs three times.
  for (int run = 1; run <= 3; ++run) {
    Reference("sx -k to rx -c, one pty", false, dir, data);
    Reference("sx -k to rx -c, relayed pty pair", true, dir, data);
    OursToRx(dir, data);
    SxToOurs(dir, data);
  }
  std::system(("rm -rf " + dir).c_str());
  return 0;
}
