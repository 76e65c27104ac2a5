// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProtocolRig.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "framework/ExceptionReport.h"
#include "framework/Threads.h"

namespace {

std::atomic<int> lineNumber{0};

// One wait between checks of Done; deliveries end it early.
constexpr int PumpSliceMs = 50;

}  // namespace

bool PumpUntil(const std::function<bool()>& Done, int TimeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  while (!Done()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) return false;
    CheckSynchronize(static_cast<int>(std::min<long long>(left, PumpSliceMs)));
  }
  return true;
}

std::vector<int> TransferLog::ErrorCodes() const {
  std::vector<int> codes;
  for (const auto& e : Errors) codes.push_back(e.first);
  return codes;
}

void RecordEvents(TSerXModem& Xm, TransferLog& Log) {
  Xm.OnTransferStart = [&Log](TObject*) { ++Log.Starts; };
  Xm.OnTransferEnd = [&Log](TObject*, int Code) {
    ++Log.Ends;
    Log.ExitCode = Code;
  };
  Xm.OnError = [&Log](TObject*, int Code, int Count) { Log.Errors.emplace_back(Code, Count); };
  Xm.OnPacketEvent = [&Log](TObject*, int Packet, int Bytes) { Log.Packets.emplace_back(Packet, Bytes); };
  Xm.OnFileInfo = [&Log](TObject*, const std::string& Name, int Size) {
    Log.FileInfos.emplace_back(Name, Size);
  };
}

std::string LinePeer::Read(size_t Count, int TimeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  while (buffered_.size() < Count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) break;
    buffered_ += line_->TakeAtLeast(end_, Count - buffered_.size(), static_cast<int>(left));
  }
  const std::string out = buffered_.substr(0, Count);
  buffered_.erase(0, out.size());
  return out;
}

ProtocolRig::ProtocolRig() {
  Line = VirtualLine::Create("proto" + std::to_string(getpid()) + "_" + std::to_string(++lineNumber));
  Peer = LinePeer(Line, VirtualLine::B);
  Port.SetDeviceName(Line->Path(VirtualLine::A));
  Port.Open();
  Xm.SetComm(&Port);
  RecordEvents(Xm, Log);
  Xm.OnFileInfo = [this](TObject*, const std::string& Name, int Size) {
    Log.FileInfos.emplace_back(Name, Size);
    if (!onFileInfo_.empty()) Line->Send(VirtualLine::B, onFileInfo_);
  };
  SetExceptionReportHook([this](const std::string& Message) { Log.Reports.push_back(Message); });
  char pattern[] = "/tmp/tarvik-protocol-XXXXXX";
  dir_ = mkdtemp(pattern);
}

ProtocolRig::~ProtocolRig() {
  if (Xm.Busy()) {
    Xm.AbortTransfer();
    WaitForEnd(10000);
  }
  if (peerThread_.joinable()) {
    PumpUntil([this] { return peerDone_.load(); }, 15000);
    peerThread_.join();
  }
  SetExceptionReportHook(nullptr);
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

void ProtocolRig::SendOnFileInfo(const std::string& Bytes) { onFileInfo_ = Bytes; }

void ProtocolRig::RunPeer(std::function<void(LinePeer&)> Script) {
  peerDone_ = false;
  peerThread_ = std::thread([this, Script = std::move(Script)] {
    Script(Peer);
    peerDone_ = true;
  });
}

bool ProtocolRig::WaitForEnd(int TimeoutMs) {
  const int ends = Log.Ends;
  const bool ended = PumpUntil([&] { return Log.Ends > ends || !Xm.Busy(); }, TimeoutMs);
  if (ended && peerThread_.joinable()) {
    // The peer may still be finishing its script, perhaps asking for a delivery.
    PumpUntil([this] { return peerDone_.load(); }, 15000);
    peerThread_.join();
  }
  return ended;
}

std::string ProtocolRig::SentAfterPeer() {
  const std::string marker = "\x7f<end of what was sent>\x7f";
  const int written = Port.WriteBuf(marker.data(), static_cast<int>(marker.size()));
  if (written != static_cast<int>(marker.size())) return "<marker not written>";
  std::string all = Peer.TakeBuffered();
  auto complete = [&] {
    return all.size() >= marker.size() &&
           all.compare(all.size() - marker.size(), marker.size(), marker) == 0;
  };
  // The port's threads may wait for deliveries before the marker crosses.
  const bool arrived = PumpUntil([&] {
    all += Line->Take(VirtualLine::B);
    return complete();
  }, 10000);
  if (!arrived) return all + "<no marker>";
  all.resize(all.size() - marker.size());
  return all;
}

std::string ProtocolRig::TempFile(const std::string& Name, const std::string& Contents) {
  const std::string path = dir_ + "/" + Name;
  std::ofstream(path, std::ios::binary) << Contents;
  return path;
}

std::string ReadWholeFile(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

bool FileExists(const std::string& Path) {
  struct stat st;
  return lstat(Path.c_str(), &st) == 0;
}
