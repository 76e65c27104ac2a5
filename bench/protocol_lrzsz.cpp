// SPDX-License-Identifier: GPL-3.0-or-later
// XMODEM between our ends and lrzsz's sx and rx, in one run: 1 MiB of random data over a
// relayed pseudo-terminal pair that is not paced (the four pairings of the two senders and
// the two receivers, XMODEM-1K, five times each), and over the pseudo-terminal line paced at 115200 baud
// (sx to rx and our sender to rx with XMODEM-1K, our ends with XMODEM-1K and XMODEM-G), as
// shares of the line. Times run from the receiver's start to its end and include rx's
// 1 s wait before it acknowledges EOT.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "LrzszPeer.h"
#include "platform/TickCount.h"
#include "protocol/SerProtocol.h"
#include "protocol_common.h"
#include "support/PacedLine.h"
#include "support/TerminalPort.h"

namespace {

constexpr size_t FileSize = 1u << 20;
constexpr int Deadline = 300000;
constexpr int Baud = 115200;

enum Side { Ours, Lrzsz };

// Our component on one end of the link.
struct OurEnd {
  TSerComm Port{nullptr};
  TSerXModem Xm{nullptr};
  int Ends = 0;
  int ExitCode = 0;
  explicit OurEnd(const std::string& Path) {
    ConfigureAsTerminal(Port, Path, Baud);
    Port.Open();
    Xm.SetComm(&Port);
    Xm.SetTimeout(20000);
    Xm.OnTransferEnd = [this](TObject*, int Code) {
      ++Ends;
      ExitCode = Code;
    };
  }
};

// An lrzsz program on one end of the link.
std::unique_ptr<LineProgram> Launch(const std::vector<std::string>& Argv, const std::string& Path,
                                    const std::string& Dir) {
  const int fd = open(Path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  auto program = std::make_unique<LineProgram>(Argv, fd, fd, Dir);
  close(fd);
  return program;
}

std::string Name(Side S, bool Sending) {
  if (S == Lrzsz) return Sending ? "sx -k" : "rx -c";
  return Sending ? "our sender" : "our receiver";
}

// One transfer; its bytes a second, or 0 when it failed.
double Run(Side Sender, Side Receiver, double LineRate, TSerXProtocol Protocol, const std::string& Dir,
           const std::string& Data) {
  PacedLine link(LineRate);
  const std::string target = Dir + "/copy.bin";
  std::remove(target.c_str());
  std::optional<OurEnd> sender, receiver;
  std::unique_ptr<LineProgram> sx, rx;
  BenchClock::time_point start;
  if (Receiver == Ours) {
    receiver.emplace(link.FarPath());
    receiver->Xm.SetMode(tmDownload);
    receiver->Xm.SetProtocol(Protocol);
    receiver->Xm.SetFileName(target);
  }
  auto startReceiver = [&] {
    start = BenchClock::now();
    if (Receiver == Ours)
      receiver->Xm.StartTransfer();
    else
      rx = Launch({"rx", "-c", "copy.bin"}, link.FarPath(), Dir);
  };
  if (Sender == Ours) {
    sender.emplace(link.NearPath());
    sender->Xm.SetFileName(Dir + "/src.bin");
    // The receiver starts once the sender's start has purged the line; rx flushes its input
    // right after its start byte, so the sender answers only after that.
    sender->Xm.OnFileInfo = [&](TObject*, const std::string&, int) {
      startReceiver();
      if (Receiver == Lrzsz) {
        SleepMs(300);
        start = BenchClock::now();
      }
    };
    sender->Xm.StartTransfer();
  } else if (Receiver == Lrzsz) {
    // As with our sender: rx first, and the sender once rx has flushed after its start byte.
    startReceiver();
    SleepMs(300);
    start = BenchClock::now();
    sx = Launch({"sx", "-k", "src.bin"}, link.NearPath(), Dir);
  } else {
    sx = Launch({"sx", "-k", "src.bin"}, link.NearPath(), Dir);
    SleepMs(100);
    startReceiver();
  }
  auto received = [&] { return Receiver == Ours ? receiver->Ends > 0 : rx && rx->Exited(); };
  const bool ended = Pump(received, Deadline);
  // rx's end as its reaper saw it, not as the next look at it found it.
  const auto end = Receiver == Lrzsz && ended ? rx->ExitTime() : BenchClock::now();
  if (Sender == Ours && !Pump([&] { return sender->Ends > 0; }, 3000)) {
    sender->Xm.AbortTransfer();  // rx's last ACK is often lost as it flushes its line on exit
    Pump([&] { return sender->Ends > 0; }, 10000);
  }
  const bool ok = ended && (Receiver == Ours ? receiver->ExitCode == 0 : rx->ExitStatus() == 0) &&
                  ReadAll(target).compare(0, Data.size(), Data) == 0;
  const double rate = ok ? Data.size() / Seconds(start, end) : 0;
  const std::string what = Name(Sender, true) + " to " + Name(Receiver, false) +
                           (Protocol == XModemG ? ", XMODEM-G" : ", XMODEM-1K") + (ok ? "" : " FAILED");
  PrintRate(what, Data.size(), Seconds(start, end), LineRate);
  return rate;
}

double Median(std::vector<double> Values) {
  std::sort(Values.begin(), Values.end());
  return Values[Values.size() / 2];
}

// The rate of all runs together (0 when one of them failed).
double Together(const std::vector<double>& Rates) {
  double seconds = 0;
  for (double rate : Rates) {
    if (rate <= 0) return 0;
    seconds += FileSize / rate;
  }
  return Rates.size() * FileSize / seconds;
}

void Ratio(const char* What, double Ours, double Reference) {
  std::printf("  %-50s %.2fx\n", What, Reference > 0 ? Ours / Reference : 0);
}

}  // namespace

int main() {
  if (!HaveProgram("sx") || !HaveProgram("rx")) {
    std::printf("lrzsz (sx, rx) is not installed\n");
    return 1;
  }
  const std::string dir = MakeBenchDir();
  const std::string data = WriteRandomFile(dir + "/src.bin", FileSize);
  // rx's input flush meets an incoming block now and then and costs its 10 s time-out, and
  // a pseudo-terminal's speed varies from run to run: the unpaced pairings run five times
  // each, in turn, and are compared by their medians.
  std::printf("1 MiB of random data over a relayed pseudo-terminal pair, not paced\n");
  std::vector<double> sxRx, oursRx, sxOurs, oursOurs;
  for (int round = 0; round < 5; ++round) {
    sxRx.push_back(Run(Lrzsz, Lrzsz, 0, XModem1K, dir, data));
    oursRx.push_back(Run(Ours, Lrzsz, 0, XModem1K, dir, data));
    sxOurs.push_back(Run(Lrzsz, Ours, 0, XModem1K, dir, data));
    oursOurs.push_back(Run(Ours, Ours, 0, XModem1K, dir, data));
  }
  std::printf("medians: sx -k to rx -c %.0f B/s, our sender to rx -c %.0f B/s, sx -k to our receiver %.0f B/s, our ends %.0f B/s\n",
              Median(sxRx), Median(oursRx), Median(sxOurs), Median(oursOurs));
  Ratio("our sender to rx -c against sx -k to rx -c", Median(oursRx), Median(sxRx));
  Ratio("sx -k to our receiver against sx -k to rx -c", Median(sxOurs), Median(sxRx));
  Ratio("the same, five runs together: our sender to rx -c", Together(oursRx), Together(sxRx));
  Ratio("five runs together: sx -k to our receiver", Together(sxOurs), Together(sxRx));

  std::printf("\n1 MiB of random data over the pseudo-terminal line paced at %d baud\n", Baud);
  const double line = Baud / 10.0;
  // rx's input flush can still meet a block here: a failed run is tried again.
  auto untilDone = [&](Side Sender) {
    double rate = 0;
    for (int attempt = 0; attempt < 3 && rate == 0; ++attempt)
      rate = Run(Sender, Lrzsz, line, XModem1K, dir, data);
    return rate;
  };
  const double pacedSxRx = untilDone(Lrzsz);
  const double pacedOursRx = untilDone(Ours);
  Run(Ours, Ours, line, XModem1K, dir, data);
  Run(Ours, Ours, line, XModemG, dir, data);
  Ratio("our sender to rx -c against sx -k to rx -c", pacedOursRx, pacedSxRx);
  std::system(("rm -rf " + dir).c_str());
  return 0;
}
