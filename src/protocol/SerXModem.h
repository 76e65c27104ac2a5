// SPDX-License-Identifier: GPL-3.0-or-later
// The XMODEM family on top of the protocol component: 128- and 1024-byte blocks, an 8-bit
// checksum or CRC-16, acknowledged or streaming ('G') operation, in both directions.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "protocol/SerProtocolBase.h"

enum TSerXProtocol : uint8_t { XModem, XModem1K, XModemG };

using TSerFileInfoEvent = std::function<void(TObject* Sender, const std::string& Name, int Size)>;
using TSerPacketEvent = std::function<void(TObject* Sender, int Packet, int ByteCount)>;

class TSerXYModem : public TSerProtocol {
 public:
  explicit TSerXYModem(TComponent* AOwner) : TSerProtocol(AOwner) {}
  ~TSerXYModem() override { StopForDestruction(); }
  std::string ClassName() const override { return "TSerXYModem"; }

  TSerFileInfoEvent OnFileInfo;
  TSerPacketEvent OnPacketEvent;

 protected:
  friend class TSerXYModemThread;
  void DoFileInfo(const std::string& Name, int Size) { RaiseEvent(OnFileInfo, Name, Size); }
  void DoPacket(int Packet, int ByteCount) { RaiseEvent(OnPacketEvent, Packet, ByteCount); }
};

class TSerXModem : public TSerXYModem {
 public:
  explicit TSerXModem(TComponent* AOwner) : TSerXYModem(AOwner) {}
  ~TSerXModem() override { StopForDestruction(); }
  std::string ClassName() const override { return "TSerXModem"; }

  std::string FileName() const;
  void SetFileName(const std::string& Value);
  // The start byte sent when receiving; a sender follows the receiver's start byte.
  TSerXProtocol Protocol() const { return protocol_; }
  void SetProtocol(TSerXProtocol Value) { protocol_ = Value; }

 protected:
  TSerProtocolThread* CreateWorker() override;

 private:
  mutable std::mutex fileNameLock_;  // the worker reads the name as it starts
  std::string fileName_;
  std::atomic<TSerXProtocol> protocol_{XModem};
};

class TSerXYModemThread : public TSerProtocolThread {
 public:
  explicit TSerXYModemThread(TSerXYModem* AOwner)
      : TSerProtocolThread(AOwner), xyOwner_(AOwner) {}
  std::string ClassName() const override { return "TSerXYModemThread"; }

 protected:
  void SendCancel() override;

  // One block as it goes on the line, with the file position after its data was read.
  struct Frame {
    uint8_t Bytes[3 + 1024 + 2];
    int Size = 0;
    int64_t Position = 0;
    bool Last = false;
  };

  void ClearBlock();
  void SendFile(const std::string& FileName);
  uint8_t WaitForStart();
  // Sends F until it is acknowledged (or, streaming, until the line has room for the
  // next); WhileSent runs once, as soon as the frame has first gone to the port.
  void SendBlock(const Frame& F, uint8_t StartByte, const std::function<void()>& WhileSent);
  void SendEndOfTransfer();
  void ReceiveFile(std::string FileName, int ExpectedSize, uint8_t StartByte);
  int ReceiveBlock(int Counter, uint8_t StartByte);
  void ReportFileInfo(const std::string& Name, int Size);
  void ReportPacket(int Packet, int Bytes);
  // ReportPacket for a packet whose report a read of the line follows at once: the
  // worker waits for its end in that read (DeliverBeforeRead).
  void ReportPacketBeforeRead(int Packet, int Bytes);

  uint8_t Block[1024] = {};
  int PacketNumber = 0;
  int PacketBytes = 0;
  std::string InfoName;
  int InfoSize = 0;

 private:
  void ReadFileBlock(int N);
  void WriteFileBlock(int N, int ExpectedSize);
  void PrepareFrame(Frame& F, int Counter, int N, uint8_t StartByte);
  void WaitForLine();
  [[noreturn]] void EndByRemoteCancel();
  // Reads a block's number, its complement, its data and its check; true when the check
  // matches. Number receives the block number.
  bool ReadBlockBody(int N, uint8_t StartByte, int& Number);

  TSerXYModem* xyOwner_;
  bool sending_ = false;
};

class TSerXModemThread : public TSerXYModemThread {
 public:
  explicit TSerXModemThread(TSerXModem* AOwner) : TSerXYModemThread(AOwner), xOwner_(AOwner) {}
  std::string ClassName() const override { return "TSerXModemThread"; }

 protected:
  void Upload() override;
  void Download() override;

 private:
  TSerXModem* xOwner_;
};

// The start byte a receiver sends for Protocol.
uint8_t StartByteOf(TSerXProtocol Protocol);
