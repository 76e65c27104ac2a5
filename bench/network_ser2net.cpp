// SPDX-License-Identifier: GPL-3.0-or-later
// Network ports through ser2net on 127.0.0.1 (the test's own server, no chardelay, serving
// one end of a socat pseudo-terminal pair whose other end is the board), each figure next
// to its anchor in the same run:
//   - throughput, 16 MiB each way, our port on the raw and the RFC 2217 port against socat
//     as the client of the raw port (fed and drained through pipes); medians of three;
//   - one byte's round trip to a board that echoes it, against socat the same way;
//   - XMODEM-1K, 1 MiB, our sender to rx -c against sx -k (its standard input and output a
//     TCP connection to the raw port) to rx -c; medians of three, rx's 1 s wait for EOT
//     included;
//   - the wake-ups of an idle open network port over 5 s.
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "LrzszPeer.h"
#include "framework/Threads.h"
#include "platform/TickCount.h"
#include "platform/WaitEvent.h"
#include "protocol/SerProtocol.h"
#include "protocol_common.h"
#include "support/Ser2netLine.h"
#include "support/TerminalPort.h"
#include "support/Usage.h"

extern char** environ;

namespace {

constexpr size_t Bulk = 16u << 20;
constexpr size_t XModemFile = 1u << 20;
constexpr int Rounds = 5;
constexpr int RoundTrips = 1000;

uint8_t PatternByte(size_t i) { return static_cast<uint8_t>((i * 131u + (i >> 12)) & 0xFF); }

double Median(std::vector<double> Values) {
  std::sort(Values.begin(), Values.end());
  return Values.empty() ? 0 : Values[Values.size() / 2];
}

int OpenBoard(const Ser2netLine& Line) {
  const int fd = open(Line.BoardPath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios raw;
  tcgetattr(fd, &raw);
  cfmakeraw(&raw);
  tcsetattr(fd, TCSANOW, &raw);
  return fd;
}

// socat as the client of the raw port: Input is its standard input, Output its standard output.
struct SocatClient {
  pid_t Pid = -1;
  int Input = -1, Output = -1;
  explicit SocatClient(int Port) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    const std::string target = "TCP:127.0.0.1:" + std::to_string(Port);
    char* argv[] = {const_cast<char*>("socat"), const_cast<char*>("-"), const_cast<char*>(target.c_str()), nullptr};
    posix_spawnp(&Pid, "socat", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    Input = in[1];
    Output = out[0];
  }
  ~SocatClient() {
    close(Input);
    kill(Pid, SIGTERM);
    waitpid(Pid, nullptr, 0);
    close(Output);
    SleepMs(100);  // the server lets the device go a little after the connection closes
  }
};

// Reads Count bytes from Fd, checking them against the pattern.
bool ReadPattern(int Fd, size_t Count) {
  std::vector<uint8_t> buffer(65536);
  bool intact = true;
  for (size_t got = 0; got < Count;) {
    const ssize_t n = read(Fd, buffer.data(), std::min(buffer.size(), Count - got));
    if (n <= 0) return false;
    for (ssize_t i = 0; i < n; ++i) intact &= buffer[i] == PatternByte(got + i);
    got += size_t(n);
  }
  return intact;
}

void WritePattern(int Fd, size_t Count) {
  std::vector<uint8_t> bulk(65536);
  for (size_t sent = 0; sent < Count;) {
    const size_t n = std::min(bulk.size(), Count - sent);
    for (size_t i = 0; i < n; ++i) bulk[i] = PatternByte(sent + i);
    for (size_t at = 0; at < n;) {
      const ssize_t w = write(Fd, bulk.data() + at, n - at);
      if (w <= 0) return;
      at += size_t(w);
    }
    sent += n;
  }
}

// Our port set up as the terminal's, collecting what it receives.
struct OurPort {
  TSerComm Port{nullptr};
  size_t Received = 0;
  bool Intact = true;
  explicit OurPort(const std::string& Url, bool Check = true) {
    ConfigureAsTerminal(Port, Url);
    Port.OnRxChar = [this, Check](TObject*, int) {
      const std::string text = Port.ReadText();
      if (Check)
        for (size_t i = 0; i < text.size(); ++i) Intact &= uint8_t(text[i]) == PatternByte(Received + i);
      Received += text.size();
    };
    Port.Open();
  }
  ~OurPort() {
    Port.OnRxChar = nullptr;
    Port.Close();
  }
};

// Bytes a second from our port (Url) or from socat (empty Url) to the board.
double ToBoard(const Ser2netLine& Line, const std::string& Url) {
  const int board = OpenBoard(Line);
  std::atomic<bool> done{false};
  bool intact = false;
  std::thread reader([&] {
    intact = ReadPattern(board, Bulk);
    done = true;
  });
  BenchClock::time_point start;
  if (Url.empty()) {
    SocatClient socat(Line.RawPort());
    start = BenchClock::now();
    WritePattern(socat.Input, Bulk);
    reader.join();
  } else {
    OurPort ours(Url);
    static const std::string bulk = [] {
      std::string b(Bulk, '\0');
      for (size_t i = 0; i < Bulk; ++i) b[i] = char(PatternByte(i));
      return b;
    }();
    start = BenchClock::now();
    for (size_t sent = 0; sent < Bulk; sent += 65536) ours.Port.WriteBuf(bulk.data() + sent, 65536);
    Pump([&] { return done.load(); }, 120000);
    reader.join();
  }
  const double seconds = Seconds(start, BenchClock::now());
  close(board);
  return intact ? Bulk / seconds : 0;
}

double FromBoard(const Ser2netLine& Line, const std::string& Url) {
  const int board = OpenBoard(Line);
  BenchClock::time_point start;
  bool intact;
  if (Url.empty()) {
    SocatClient socat(Line.RawPort());
    SleepMs(200);  // socat's connection is up before the board speaks
    start = BenchClock::now();
    std::thread writer([&] { WritePattern(board, Bulk); });
    intact = ReadPattern(socat.Output, Bulk);
    writer.join();
  } else {
    OurPort ours(Url);
    start = BenchClock::now();
    std::thread writer([&] { WritePattern(board, Bulk); });
    Pump([&] { return ours.Received >= Bulk; }, 120000);
    writer.join();
    intact = ours.Intact && ours.Received == Bulk;
  }
  const double seconds = Seconds(start, BenchClock::now());
  close(board);
  return intact ? Bulk / seconds : 0;
}

void Throughput(const Ser2netLine& Line) {
  struct Client {
    const char* Name;
    std::string Url;
  };
  const Client clients[] = {{"socat on the raw port (anchor)", ""},
                            {"ours, socket://", Line.RawUrl()},
                            {"ours, rfc2217://", Line.TelnetUrl()}};
  for (bool toBoard : {true, false}) {
    std::printf("\nThroughput %s the board, 16 MiB, median of %d taken in turn:\n", toBoard ? "to" : "from", Rounds);
    std::vector<double> rates[3];
    for (int r = 0; r < Rounds; ++r)
      for (int c = 0; c < 3; ++c)
        rates[c].push_back(toBoard ? ToBoard(Line, clients[c].Url) : FromBoard(Line, clients[c].Url));
    const double anchor = Median(rates[0]);
    for (int c = 0; c < 3; ++c)
      std::printf("  %-32s %7.2f MB/s  %.2fx socat\n", clients[c].Name, Median(rates[c]) / 1e6,
                  anchor > 0 ? Median(rates[c]) / anchor : 0);
  }
}

// The board echoes every byte until it is told to stop.
struct EchoingBoard {
  int Fd;
  WaitEvent Stop;
  std::thread Echo;
  explicit EchoingBoard(const Ser2netLine& Line) : Fd(OpenBoard(Line)) {
    Echo = std::thread([this] {
      for (;;) {
        pollfd fds[] = {{Fd, POLLIN, 0}, {Stop.Fd(), POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 || (fds[1].revents & POLLIN)) return;
        char c[64];
        const ssize_t n = read(Fd, c, sizeof c);
        if (n > 0) [[maybe_unused]] ssize_t w = write(Fd, c, size_t(n));
      }
    });
  }
  ~EchoingBoard() {
    Stop.Set();
    Echo.join();
    close(Fd);
  }
};

double RoundTripMicros(const Ser2netLine& Line, const std::string& Url) {
  EchoingBoard board(Line);
  std::vector<double> micros;
  if (Url.empty()) {
    SocatClient socat(Line.RawPort());
    for (int i = 0; i < RoundTrips; ++i) {
      const auto sent = BenchClock::now();
      char c = 'r';
      if (write(socat.Input, &c, 1) != 1 || read(socat.Output, &c, 1) != 1 || c != 'r') break;
      micros.push_back(Seconds(sent, BenchClock::now()) * 1e6);
    }
  } else {
    OurPort ours(Url, false);
    for (int i = 0; i < RoundTrips; ++i) {
      const size_t before = ours.Received;
      const auto sent = BenchClock::now();
      ours.Port.WriteChar('r');
      if (!Pump([&] { return ours.Received > before; }, 5000)) break;
      micros.push_back(Seconds(sent, BenchClock::now()) * 1e6);
    }
  }
  if (micros.size() != size_t(RoundTrips)) std::printf("  (only %zu round trips came back)\n", micros.size());
  return micros.size() == size_t(RoundTrips) ? Median(micros) : 0;
}

void RoundTrip(const Ser2netLine& Line) {
  std::printf("\nOne byte's round trip to an echoing board, median of %d:\n", RoundTrips);
  std::printf("  %-32s %7.0f us\n", "socat on the raw port (anchor)", RoundTripMicros(Line, ""));
  std::printf("  %-32s %7.0f us\n", "ours, socket://", RoundTripMicros(Line, Line.RawUrl()));
  std::printf("  %-32s %7.0f us\n", "ours, rfc2217://", RoundTripMicros(Line, Line.TelnetUrl()));
}

int ConnectRaw(int Port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(uint16_t(Port));
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  return fd;
}

// One XMODEM-1K transfer to rx -c on the board; bytes a second, 0 when it failed. rx
// flushes its input right after its start byte, so the sender begins after that.
double XModemToRx(const Ser2netLine& Line, const std::string& Url, const std::string& Dir,
                  const std::string& Data) {
  const std::string target = Dir + "/copy.bin";
  std::remove(target.c_str());
  const int board = OpenBoard(Line);
  std::unique_ptr<LineProgram> rx, sx;
  BenchClock::time_point start;
  auto startRx = [&] {
    rx = std::make_unique<LineProgram>(std::vector<std::string>{"rx", "-c", "copy.bin"}, board, board, Dir);
    SleepMs(300);
    start = BenchClock::now();
  };
  std::unique_ptr<TSerComm> port;
  std::unique_ptr<TSerXModem> xm;
  int socket = -1;
  if (Url.empty()) {
    startRx();
    socket = ConnectRaw(Line.RawPort());
    sx = std::make_unique<LineProgram>(std::vector<std::string>{"sx", "-k", "src.bin"}, socket, socket, Dir);
  } else {
    port = std::make_unique<TSerComm>(nullptr);
    ConfigureAsTerminal(*port, Url);
    port->Open();
    xm = std::make_unique<TSerXModem>(nullptr);
    xm->SetComm(port.get());
    xm->SetProtocol(XModem1K);
    xm->SetTimeout(20000);
    xm->SetFileName(Dir + "/src.bin");
    xm->OnFileInfo = [&](TObject*, const std::string&, int) { startRx(); };
    xm->StartTransfer();
  }
  const bool ended = Pump([&] { return rx && rx->Exited(); }, 300000);
  const auto end = ended ? rx->ExitTime() : BenchClock::now();
  if (xm && xm->Busy()) {
    Pump([&] { return !xm->Busy(); }, 3000);
    if (xm->Busy()) xm->AbortTransfer();  // rx's last ACK is often lost as it flushes its line
    Pump([&] { return !xm->Busy(); }, 10000);
  }
  sx.reset();
  xm.reset();
  port.reset();
  if (socket >= 0) close(socket);
  close(board);
  SleepMs(100);  // the server lets the device go a little after the connection closes
  const bool ok = ended && rx->ExitStatus() == 0 && ReadAll(target).compare(0, Data.size(), Data) == 0;
  std::printf("    %s: %.0f B/s%s\n", Url.empty() ? "sx -k" : Url.c_str(), Data.size() / Seconds(start, end),
              ok ? "" : " FAILED");
  return ok ? Data.size() / Seconds(start, end) : 0;
}

void XModemFigures(const Ser2netLine& Line) {
  const std::string dir = MakeBenchDir();
  const std::string data = WriteRandomFile(dir + "/src.bin", XModemFile);
  std::printf("\nXMODEM-1K, 1 MiB to rx -c on the board, %d runs each in turn (rx's 1 s EOT wait included):\n", Rounds);
  std::vector<double> sx, raw, telnet;
  for (int r = 0; r < Rounds; ++r) {
    sx.push_back(XModemToRx(Line, "", dir, data));
    raw.push_back(XModemToRx(Line, Line.RawUrl(), dir, data));
    telnet.push_back(XModemToRx(Line, Line.TelnetUrl(), dir, data));
  }
  // rx's input flush meets a block now and then and costs it a time-out: medians, and the
  // runs taken together.
  auto together = [](const std::vector<double>& Rates) {
    double seconds = 0;
    for (double rate : Rates) {
      if (rate <= 0) return 0.0;
      seconds += XModemFile / rate;
    }
    return Rates.size() * XModemFile / seconds;
  };
  const double anchor = Median(sx), anchorTogether = together(sx);
  std::printf("  %-32s %7.0f B/s median, %7.0f B/s together\n", "sx -k on the raw port (anchor)", anchor,
              anchorTogether);
  for (const auto& [name, rates] : {std::make_pair("our sender, socket://", raw), std::make_pair("our sender, rfc2217://", telnet)})
    std::printf("  %-32s %7.0f B/s median (%.2fx sx), %7.0f B/s together (%.2fx sx)\n", name, Median(rates),
                Median(rates) / anchor, together(rates), together(rates) / anchorTogether);
  std::system(("rm -rf " + dir).c_str());
}

void Idle(const std::string& Url) {
  OurPort ours(Url, false);
  CheckSynchronize(300);
  const auto switches = SwitchesByThread();
  const double before = CpuSeconds();
  const auto end = BenchClock::now() + std::chrono::seconds(5);
  while (BenchClock::now() < end) CheckSynchronize(1000);
  std::printf("  %-32s %ld wake-ups of the port's threads, %.3f CPU s\n", Url.c_str(),
              OtherThreadsWakeups(switches), CpuSeconds() - before);
}

}  // namespace

// One part alone when named: throughput, roundtrip, xmodem or idle.
int main(int argc, char** argv) {
  LineProgram::RunAhead = false;
  const std::string only = argc > 1 ? argv[1] : "";
  auto wanted = [&](const char* Part) { return only.empty() || only == Part; };
  if (!Ser2netLine::Available() || !HaveProgram("sx") || !HaveProgram("rx")) {
    std::printf("ser2net, socat or lrzsz is not installed\n");
    return 1;
  }
  Ser2netLine line;
  if (!line.Ready()) {
    std::printf("%s\n", line.Problem().c_str());
    return 1;
  }
  std::printf("ser2net on 127.0.0.1 serving a socat pseudo-terminal pair\n");
  if (wanted("throughput")) Throughput(line);
  if (wanted("roundtrip")) RoundTrip(line);
  if (wanted("xmodem")) XModemFigures(line);
  if (wanted("idle")) {
    std::printf("\nAn idle open network port, 5 s:\n");
    Idle(line.TelnetUrl());
    Idle(line.RawUrl());
  }
  return 0;
}
