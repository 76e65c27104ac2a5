// SPDX-License-Identifier: GPL-3.0-or-later
// The receiving side: the file under a name of its own, blocks with their checks, EOT.
#include "protocol/Crc16.h"
#include "protocol/SerXModem.h"
#include "protocol/XModemBytes.h"

using namespace xmodem;

namespace {

int Low32(int64_t Value) { return static_cast<int>(static_cast<uint32_t>(Value)); }

}  // namespace

void TSerXYModemThread::ReceiveFile(std::string FileName, int ExpectedSize, uint8_t StartByte) {
  int counter = 0;
  OpenForWrite(FileName);  // under a new name when FileName exists
  ReportFileInfo(FileName, ExpectedSize);
  WatchLine(StartByte != StartStreaming);
  // Sent once: a sender not yet ready is waited for, with a time-out error each Timeout.
  SendByte(StartByte);
  for (;;) {
    ++counter;
    const int n = ReceiveBlock(counter, StartByte);
    WriteFileBlock(n, ExpectedSize);
    // Acknowledged before it is reported: the sender goes on meanwhile. The report waits
    // for its end in the read of the next header.
    if (StartByte != StartStreaming) SendByte(ACK);
    ReportPacketBeforeRead(counter, Low32(Stream().Position()));
  }
}

void TSerXYModemThread::WriteFileBlock(int N, int ExpectedSize) {
  int count = N;
  if (ExpectedSize != 0) {
    const int64_t left = ExpectedSize - Stream().Position();
    if (left < count) count = static_cast<int>(left < 0 ? 0 : left);
  }
  if (Stream().Write(Block, count)) return;
  SendCancel();
  FinishTransfer(TransferExit::FileWriteError);
}

bool TSerXYModemThread::ReadBlockBody(int N, uint8_t StartByte, int& Number) {
  Number = ReadByte();
  ReadByte();  // the complement, not verified
  ReadBytes(Block, N);
  uint16_t computed = 0;
  if (StartByte == NAK) {
    for (int i = 0; i < N; ++i) computed = static_cast<uint8_t>(computed + Block[i]);
  } else {
    computed = crc16::Compute(Block, static_cast<size_t>(N));
  }
  uint16_t received = static_cast<uint16_t>(ReadByte());
  if (StartByte != NAK) received = static_cast<uint16_t>((received << 8) | ReadByte());
  return received == computed;
}

int TSerXYModemThread::ReceiveBlock(int Counter, uint8_t StartByte) {
  ClearBlock();
  int n = 0;
  for (;;) {
    switch (ReadByte()) {
      case SOH:
        n = ShortBlock;
        break;
      case STX:
        n = LongBlock;
        break;
      case EOT:
        SendByte(ACK);
        FinishTransfer(TransferExit::Success);
      case CAN:
        FinishTransfer(TransferExit::RemoteCancel);
      case 0:  // a received 0x00 or the abort indication: the size stays
        break;
      default:
        FinishTransfer(TransferExit::ProtocolError);
    }
    int number = 0;
    const bool checkMatches = ReadBlockBody(n, StartByte, number);
    if (Cancelled()) {
      SendCancel();
      FinishTransfer(TransferExit::LocalAbort);
    }
    // Also a repeated block: its sender missed our ACK, and this ends the transfer.
    if (number != (Counter & 0xFF)) {
      SendCancel();
      FinishTransfer(TransferExit::ProtocolError);
    }
    if (checkMatches) return n;
    RecordError(TransferError::BlockRejected, true);
    SendByte(NAK);  // the same block again; the buffer is not cleared
  }
}
