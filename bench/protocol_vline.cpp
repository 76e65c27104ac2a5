// SPDX-License-Identifier: GPL-3.0-or-later
// Our sender to our receiver over the virtual line paced at 115200 and 1000000 baud
// (8N1, 10 bits a byte): bytes per second as a share of the line's limit.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/VirtualLine.h"
#include "protocol/SerProtocol.h"
#include "protocol_common.h"

namespace {

struct Side {
  TSerComm Port{nullptr};
  TSerXModem Xm{nullptr};
  int Ends = 0;
  int ExitCode = 0;
  Side(const std::string& Path, int Baud) {
    Port.SetDeviceName(Path);
    Port.SetBaudrate(brUser);
    Port.SetUserBaudrate(Baud);
    Port.Buffers().SetWriteSize(232144);  // as the terminal's port
    Port.Open();
    Xm.SetComm(&Port);
    Xm.SetTimeout(10000);
    Xm.OnTransferEnd = [this](TObject*, int Code) {
      ++Ends;
      ExitCode = Code;
    };
  }
};

void Run(int Baud, TSerXProtocol Protocol, size_t Size, const std::string& Dir) {
  static int number = 0;
  auto line = VirtualLine::Create("bench" + std::to_string(++number));
  line->SetPaced(true);
  Side sender(line->Path(VirtualLine::A), Baud), receiver(line->Path(VirtualLine::B), Baud);
  const std::string data = WriteRandomFile(Dir + "/src.bin", Size);
  const std::string target = Dir + "/copy" + std::to_string(number) + ".bin";
  sender.Xm.SetFileName(Dir + "/src.bin");
  receiver.Xm.SetMode(tmDownload);
  receiver.Xm.SetProtocol(Protocol);
  receiver.Xm.SetFileName(target);
  BenchClock::time_point start;
  sender.Xm.OnFileInfo = [&](TObject*, const std::string&, int) {
    start = BenchClock::now();
    receiver.Xm.StartTransfer();
  };
  sender.Xm.StartTransfer();
  const int deadline = static_cast<int>(Size * 10 * 1000 / Baud * 2 + 30000);
  const bool ended = Pump([&] { return sender.Ends && receiver.Ends; }, deadline);
  const auto end = BenchClock::now();
  const bool ok = ended && sender.ExitCode == 0 && receiver.ExitCode == 0 &&
                  ReadAll(target).compare(0, data.size(), data) == 0;
  const std::string what = std::string(Protocol == XModemG ? "XMODEM-G" : "XMODEM-1K") + " at " +
                           std::to_string(Baud) + " baud" + (ok ? "" : " FAILED");
  PrintRate(what, Size, Seconds(start, end), Baud / 10.0);
}

}  // namespace

int main() {
  const std::string dir = MakeBenchDir();
  std::printf("Our sender to our receiver, virtual line paced at 10 bits a byte\n");
  Run(115200, XModem1K, 1u << 20, dir);
  Run(115200, XModemG, 1u << 20, dir);
  Run(1000000, XModem1K, 4u << 20, dir);
  Run(1000000, XModemG, 4u << 20, dir);
  std::system(("rm -rf " + dir).c_str());
  return 0;
}
