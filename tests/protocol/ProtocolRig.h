// SPDX-License-Identifier: GPL-3.0-or-later
// A protocol component on end A of a virtual line, with the far end B driven by a scripted
// peer on a thread of its own while the test's main thread runs the deliveries.
#pragma once

#include <atomic>
#include <climits>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/VirtualLine.h"
#include "protocol/SerProtocol.h"
#include "serial/SerComm.h"

// Runs main-thread deliveries until Done holds or TimeoutMs passes; Done's result.
bool PumpUntil(const std::function<bool()>& Done, int TimeoutMs);

// Everything a transfer reported, recorded on the main thread.
struct TransferLog {
  int Starts = 0;
  int Ends = 0;
  int ExitCode = INT_MIN;
  std::vector<std::pair<int, int>> Errors;   // ErrorCode, ErrorCount
  std::vector<std::pair<int, int>> Packets;  // Packet, ByteCount
  std::vector<std::pair<std::string, int>> FileInfos;
  std::vector<std::string> Reports;  // exception reports

  std::vector<int> ErrorCodes() const;
};

// Records every event of Xm into Log.
void RecordEvents(TSerXModem& Xm, TransferLog& Log);

// The far end of the line, read with a buffer of its own (from the peer thread).
class LinePeer {
 public:
  LinePeer(std::shared_ptr<VirtualLine> Line, VirtualLine::End E) : line_(std::move(Line)), end_(E) {}
  // Exactly Count bytes, or fewer when they do not come within TimeoutMs.
  std::string Read(size_t Count, int TimeoutMs = 10000);
  void Send(const std::string& Bytes) { line_->Send(end_, Bytes); }
  // What was read from the line but not yet returned.
  std::string TakeBuffered() { return std::exchange(buffered_, std::string()); }

 private:
  std::shared_ptr<VirtualLine> line_;
  VirtualLine::End end_;
  std::string buffered_;
};

class ProtocolRig {
 public:
  ProtocolRig();
  ~ProtocolRig();

  std::shared_ptr<VirtualLine> Line;
  TSerComm Port{nullptr};
  TSerXModem Xm{nullptr};
  TransferLog Log;
  LinePeer Peer{nullptr, VirtualLine::B};

  // Sending tests: the peer's start byte goes out once the sender has opened its file, so
  // that the start of the transfer cannot discard it.
  void SendOnFileInfo(const std::string& Bytes);
  // Starts the peer script on its own thread.
  void RunPeer(std::function<void(LinePeer&)> Script);
  // Pumps until the transfer has ended; false when it did not within TimeoutMs.
  bool WaitForEnd(int TimeoutMs = 30000);
  // After the end: everything the component sent that the peer has not read yet. A marker
  // written behind it through the port shows when all of it has crossed. Main thread.
  std::string SentAfterPeer();

  std::string TempDir() const { return dir_; }
  std::string TempFile(const std::string& Name, const std::string& Contents);

 private:
  std::string dir_;
  std::thread peerThread_;
  std::atomic<bool> peerDone_{false};
  std::string onFileInfo_;
};

std::string ReadWholeFile(const std::string& Path);
bool FileExists(const std::string& Path);
