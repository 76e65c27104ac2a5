// SPDX-License-Identifier: GPL-3.0-or-later
// XMODEM between our ends and lrzsz's sx and rx, in one run: 1 MiB of random data over a
// relayed pseudo-terminal pair that is not paced (the four pairings of the two senders and
// the two receivers, XMODEM-1K, five times each), and over the pseudo-terminal line paced at 115200 baud
// (sx to rx and our sender to rx with XMODEM-1K, our ends with XMODEM-1K and XMODEM-G), as
// shares of the line. Times run from the receiver's start to its end and include rx's
// 1 s wait before it acknowledges EOT. The relay also times each sender's answer to an
// ACK: from the ACK handed to the sender's side to the first byte of its next frame.
// The main thread runs the application's event loop, with its wake-up for deliveries.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "LrzszPeer.h"
#include "app_event_loop.h"
#include "app/TarvikApplication.h"
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
  BenchClock::time_point EndTime;
  explicit OurEnd(const std::string& Path) {
    ConfigureAsTerminal(Port, Path, Baud);
    Port.Open();
    Xm.SetComm(&Port);
    Xm.SetTimeout(20000);
    Xm.OnTransferEnd = [this](TObject*, int Code) {
      EndTime = BenchClock::now();
      ++Ends;
      ExitCode = Code;
    };
  }
};

// The sender's turnarounds as the relay sees them: an ACK handed on towards the sender,
// then the first bytes from the sender after it. A NAK or any other answer in between
// pairs nothing.
class Turnarounds {
 public:
  PacedLine::Observer Observer() {
    return [this](PacedLine::Direction D, const char* Data, size_t Count) {
      const auto now = BenchClock::now();
      std::lock_guard<std::mutex> lock(mutex_);
      if (D == PacedLine::FarToNear) {
        acked_ = Count > 0 && Data[Count - 1] == 0x06;
        ackedAt_ = now;
      } else if (acked_) {
        acked_ = false;
        micros_.push_back(std::chrono::duration<double, std::micro>(now - ackedAt_).count());
      }
    };
  }
  std::vector<double> Micros() {
    std::lock_guard<std::mutex> lock(mutex_);
    return micros_;
  }

 private:
  std::mutex mutex_;
  bool acked_ = false;
  BenchClock::time_point ackedAt_;
  std::vector<double> micros_;
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
           const std::string& Data, std::vector<double>* Answers = nullptr) {
  Turnarounds turnarounds;
  PacedLine link(LineRate, turnarounds.Observer());
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
  const bool ended = RunEventLoopUntil(received, Deadline);
  // rx's end as its reaper saw it, not as the next look at it found it.
  const auto end = !ended ? BenchClock::now() : Receiver == Lrzsz ? rx->ExitTime() : receiver->EndTime;
  if (Sender == Ours && !RunEventLoopUntil([&] { return sender->Ends > 0; }, 3000)) {
    sender->Xm.AbortTransfer();  // rx's last ACK is often lost as it flushes its line on exit
    RunEventLoopUntil([&] { return sender->Ends > 0; }, 10000);
  }
  const bool ok = ended && (Receiver == Ours ? receiver->ExitCode == 0 : rx->ExitStatus() == 0) &&
                  ReadAll(target).compare(0, Data.size(), Data) == 0;
  const double rate = ok ? Data.size() / Seconds(start, end) : 0;
  const std::string what = Name(Sender, true) + " to " + Name(Receiver, false) +
                           (Protocol == XModemG ? ", XMODEM-G" : ", XMODEM-1K") + (ok ? "" : " FAILED");
  PrintRate(what, Data.size(), Seconds(start, end), LineRate);
  if (Answers && ok) {
    const std::vector<double> micros = turnarounds.Micros();
    Answers->insert(Answers->end(), micros.begin(), micros.end());
  }
  return rate;
}

double Percentile(std::vector<double> Values, double Share) {
  if (Values.empty()) return 0;
  std::sort(Values.begin(), Values.end());
  return Values[std::min(Values.size() - 1, static_cast<size_t>(Share * Values.size()))];
}

double Median(const std::vector<double>& Values) { return Percentile(Values, 0.5); }

void PrintTurnaround(const char* Who, const std::vector<double>& Micros) {
  std::printf("  %-28s median %7.1f us, 99th percentile %7.1f us (%zu answers)\n", Who,
              Median(Micros), Percentile(Micros, 0.99), Micros.size());
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

int main(int argc, char** argv) {
  LineProgram::RunAhead = false;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  TarvikApplication app(argc, argv);
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
  std::vector<double> sxAnswers, ourAnswers;
  for (int round = 0; round < 5; ++round) {
    sxRx.push_back(Run(Lrzsz, Lrzsz, 0, XModem1K, dir, data, &sxAnswers));
    oursRx.push_back(Run(Ours, Lrzsz, 0, XModem1K, dir, data, &ourAnswers));
    sxOurs.push_back(Run(Lrzsz, Ours, 0, XModem1K, dir, data));
    oursOurs.push_back(Run(Ours, Ours, 0, XModem1K, dir, data));
  }
  std::printf("medians: sx -k to rx -c %.0f B/s, our sender to rx -c %.0f B/s, sx -k to our receiver %.0f B/s, our ends %.0f B/s\n",
              Median(sxRx), Median(oursRx), Median(sxOurs), Median(oursOurs));
  Ratio("our sender to rx -c against sx -k to rx -c", Median(oursRx), Median(sxRx));
  Ratio("sx -k to our receiver against sx -k to rx -c", Median(sxOurs), Median(sxRx));
  Ratio("the same, five runs together: our sender to rx -c", Together(oursRx), Together(sxRx));
  Ratio("five runs together: sx -k to our receiver", Together(sxOurs), Together(sxRx));
  Ratio("our ends against sx -k to rx -c", Median(oursOurs), Median(sxRx));
  std::printf("ACK to the sender's next frame, as the relay sees it, the runs to rx -c together:\n");
  PrintTurnaround("sx -k", sxAnswers);
  PrintTurnaround("our sender", ourAnswers);
  Ratio("sx's median answer time against ours (above 1: ours is quicker)", Median(sxAnswers),
        Median(ourAnswers));

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
