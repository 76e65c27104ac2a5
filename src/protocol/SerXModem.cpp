// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/SerXModem.h"

#include <cstring>

#include "protocol/XModemBytes.h"

uint8_t StartByteOf(TSerXProtocol Protocol) {
  static const uint8_t startBytes[] = {xmodem::NAK, xmodem::StartCrc, xmodem::StartStreaming};
  return startBytes[Protocol];
}

std::string TSerXModem::FileName() const {
  std::lock_guard<std::mutex> lock(fileNameLock_);
  return fileName_;
}

void TSerXModem::SetFileName(const std::string& Value) {
  std::lock_guard<std::mutex> lock(fileNameLock_);
  fileName_ = Value;
}

TSerProtocolThread* TSerXModem::CreateWorker() { return new TSerXModemThread(this); }

void TSerXModemThread::Upload() { SendFile(xOwner_->FileName()); }

void TSerXModemThread::Download() {
  ReceiveFile(xOwner_->FileName(), 0, StartByteOf(xOwner_->Protocol()));
}

// A sender's blocks that the line has not taken yet go first, so that the far end sees the
// cancel now and no block after it. A receiver has only replies queued.
void TSerXYModemThread::SendCancel() {
  if (sending_) DiscardOutput();
  const uint8_t cancel[] = {xmodem::CAN, xmodem::CAN};
  SendBuffer(cancel, sizeof cancel);
}

void TSerXYModemThread::ClearBlock() { std::memset(Block, 0, sizeof Block); }

void TSerXYModemThread::ReportFileInfo(const std::string& Name, int Size) {
  InfoName = Name;
  InfoSize = Size;
  Deliver([this] { xyOwner_->DoFileInfo(InfoName, InfoSize); });
}

void TSerXYModemThread::ReportPacket(int Packet, int Bytes) {
  PacketNumber = Packet;
  PacketBytes = Bytes;
  Deliver([this] { xyOwner_->DoPacket(PacketNumber, PacketBytes); });
}

void TSerXYModemThread::ReportPacketBeforeRead(int Packet, int Bytes) {
  PacketNumber = Packet;
  PacketBytes = Bytes;
  DeliverBeforeRead([this] { xyOwner_->DoPacket(PacketNumber, PacketBytes); });
}
