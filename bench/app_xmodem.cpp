// SPDX-License-Identifier: GPL-3.0-or-later
// 1 MiB with XMODEM-1K to and from lrzsz over a pseudo-terminal: through the transfer
// window (buttons, log, labels, the main window's port), and with the engine alone on a
// port of the same settings, in one run, so the window's own cost shows.
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "LrzszPeer.h"
#include "app_event_loop.h"
#include "app/ProgramWindows.h"
#include "app/SettingsFile.h"
#include "app/TarvikApplication.h"
#include "protocol_common.h"

namespace {

constexpr size_t FileSize = 1u << 20;
constexpr int Deadline = 300000;
// rx drops its input just after its start byte and after each ACK; on a pseudo-terminal
// (no byte time on the wire) the sender is held back that long, in both set-ups alike.
constexpr auto StartHold = std::chrono::milliseconds(300);
constexpr auto BlockHold = std::chrono::microseconds(100);

bool Matches(const std::string& Path, const std::string& Data) {
  return ReadAll(Path).compare(0, Data.size(), Data) == 0;
}

// One side of the link: the program's windows with the main port on the slave side, or
// a lone engine on a port set up as the main port is.
class Side {
 public:
  virtual ~Side() = default;
  virtual TSerXModem& Xm() = 0;
  virtual void Start(TSerTransferMode Mode, const std::string& FileName) = 0;
  virtual int Ends() const = 0;
  PtyPair Link{true};
};

class WindowSide : public Side {
 public:
  WindowSide() {
    TSerComm& port = *windows_.frmTerm->SerComm1;
    port.SetDeviceName(Link.SlavePath);
    port.SetBaudrate(br115200);  // what the settings would give; a pty takes any rate
    port.Open();
    windows_.frmXModem->show();
    windows_.frmXModem->cboXModemProtocol->setCurrentIndex(1);
    emit windows_.frmXModem->cboXModemProtocol->activated(1);
  }
  TSerXModem& Xm() override { return *windows_.frmXModem->SerXModem1; }
  void Start(TSerTransferMode Mode, const std::string& FileName) override {
    TfrmXModem& w = *windows_.frmXModem;
    w.txtXModemFileName->setText(QString::fromStdString(FileName));
    (Mode == tmUpload ? w.cmdXModemSend : w.cmdXModemRecieve)->click();
  }
  int Ends() const override {
    return static_cast<int>(
        windows_.frmXModem->Memo1->toPlainText().split('\n').count("Transfer ended."));
  }

 private:
  ProgramWindows windows_;
};

class EngineSide : public Side {
 public:
  EngineSide() {
    port_.SetDeviceName(Link.SlavePath);
    port_.SetBaudrate(br115200);
    port_.Buffers().SetReadSize(65536);
    port_.Buffers().SetWriteSize(232144);
    port_.Open();
    xm_.SetComm(&port_);
    xm_.SetProtocol(XModem1K);
    xm_.OnTransferEnd = [this](TObject*, int) { ++ends_; };
  }
  TSerXModem& Xm() override { return xm_; }
  void Start(TSerTransferMode Mode, const std::string& FileName) override {
    xm_.SetMode(Mode);
    xm_.SetFileName(FileName);
    xm_.StartTransfer();
  }
  int Ends() const override { return ends_; }

 private:
  TSerComm port_{nullptr};
  TSerXModem xm_{nullptr};
  int ends_ = 0;
};

// Seconds, or -1 when the file did not arrive whole.
double Receive(Side& S, const std::string& Dir, const std::string& Data, const std::string& Name) {
  S.Xm().SetTimeout(5000);
  const auto start = BenchClock::now();
  LineProgram sx({"sx", "-k", "src.bin"}, S.Link.Master, S.Link.Master, Dir);
  S.Start(tmDownload, Dir + "/" + Name);
  const bool ended = RunEventLoopUntil([&] { return S.Ends() > 0; }, Deadline);
  const auto end = BenchClock::now();
  RunEventLoopUntil([&] { return sx.Exited(); }, 10000);
  const bool ok = ended && Matches(Dir + "/" + Name, Data);
  std::remove((Dir + "/" + Name).c_str());
  return ok ? Seconds(start, end) : -1;
}

// Wraps the side's own file and packet handlers with rx's start and holds.
double Send(Side& S, const std::string& Dir, const std::string& Data, const std::string& Name) {
  std::unique_ptr<LineProgram> rx;
  BenchClock::time_point start;
  S.Xm().SetTimeout(3000);  // rx answers the end of transmission after a second of silence
  auto info = S.Xm().OnFileInfo;
  S.Xm().OnFileInfo = [&, info](TObject* Sender, const std::string& N, int Size) {
    if (info) info(Sender, N, Size);
    rx = std::make_unique<LineProgram>(std::vector<std::string>{"rx", "-c", Name},
                                       S.Link.Master, S.Link.Master, Dir);
    std::this_thread::sleep_for(StartHold);
    start = BenchClock::now();
  };
  auto packet = S.Xm().OnPacketEvent;
  S.Xm().OnPacketEvent = [packet](TObject* Sender, int P, int Bytes) {
    if (packet) packet(Sender, P, Bytes);
    std::this_thread::sleep_for(BlockHold);
  };
  S.Start(tmUpload, Dir + "/src.bin");
  const bool exited = RunEventLoopUntil([&] { return rx && rx->Exited(); }, Deadline);
  const auto end = BenchClock::now();
  // rx's last ACK may be lost as it leaves its line.
  if (!RunEventLoopUntil([&] { return S.Ends() > 0; }, 1000)) {
    S.Xm().AbortTransfer();
    RunEventLoopUntil([&] { return S.Ends() > 0; }, 10000);
  }
  const bool ok = exited && rx->ExitStatus() == 0 && Matches(Dir + "/" + Name, Data);
  std::remove((Dir + "/" + Name).c_str());
  return ok ? Seconds(start, end) : -1;
}

using Run = std::function<double(Side&)>;

// Runs is the number of runs of each; over a pseudo-terminal rx's input flushes make
// single runs of a send vary a lot, so every run and the median are shown.
void Compare(const std::string& What, const Run& Transfer, int Runs) {
  std::vector<double> window, engine;
  for (int i = 0; i < Runs; ++i) {
    {
      WindowSide side;
      window.push_back(Transfer(side));
    }
    EngineSide side;
    engine.push_back(Transfer(side));
  }
  auto show = [&](const std::string& Who, std::vector<double> Secs) {
    std::string runs;
    for (double s : Secs) runs += s < 0 ? " FAILED" : " " + std::to_string(s).substr(0, 5);
    std::sort(Secs.begin(), Secs.end());
    std::printf("%-44s runs (s):%s\n", (What + ", " + Who).c_str(), runs.c_str());
    PrintRate("  median", FileSize, Secs[Secs.size() / 2]);
  };
  show("window", window);
  show("engine alone", engine);
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
  SetSettingsFilePath(dir + "/tarvik-33.ini");
  const std::string data = WriteRandomFile(dir + "/src.bin", FileSize);
  std::printf("XMODEM-1K, 1 MiB of random data, a pseudo-terminal for each run "
              "(a send includes rx's 1 s wait before it answers EOT; 0.1 ms hold a block)\n");
  const int runs = argc > 1 ? std::atoi(argv[1]) : 3;
  Compare("sx -k to us", [&](Side& S) { return Receive(S, dir, data, "in.bin"); }, runs);
  Compare("we to rx -c", [&](Side& S) { return Send(S, dir, data, "out.bin"); }, runs);
  std::system(("rm -rf " + dir).c_str());
  return 0;
}
