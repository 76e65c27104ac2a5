// SPDX-License-Identifier: GPL-3.0-or-later
// The sending side: the start-byte wait, block frames with their retries, and EOT.
#include <algorithm>

#include "protocol/Crc16.h"
#include "protocol/SerXModem.h"
#include "protocol/XModemBytes.h"

using namespace xmodem;

namespace {

// A streaming sender runs at most this far ahead of the line: a few blocks, so that a
// cancel reaches the far end within a little line time.
constexpr int StreamAhead = 4 * (3 + LongBlock + 2);
// How often a sender waiting for the line looks for a cancel.
constexpr int LineLookMs = 100;

uint8_t Checksum(const uint8_t* Data, int N) {
  uint8_t sum = 0;
  for (int i = 0; i < N; ++i) sum = static_cast<uint8_t>(sum + Data[i]);
  return sum;
}

// The low 32 bits of a file position or size, as the events carry them.
int Low32(int64_t Value) { return static_cast<int>(static_cast<uint32_t>(Value)); }

}  // namespace

// The next block is read and the previous one reported while a block is on its way, so
// that an acknowledgement is answered by the next frame at once. The report waits for its
// end in the read of the acknowledgement (a streaming sender reads none: it waits at once).
void TSerXYModemThread::SendFile(const std::string& FileName) {
  sending_ = true;
  OpenForRead(FileName);
  ReportFileInfo(FileName, Low32(Stream().Size()));
  WatchLine(true);
  const uint8_t startByte = WaitForStart();
  WatchLine(startByte != StartStreaming);
  const int n = startByte == NAK ? ShortBlock : LongBlock;
  Frame frames[2];
  PrepareFrame(frames[1], 1, n, startByte);
  // An empty file goes as one block of fill; a file of whole blocks ends after its last.
  for (int counter = 1;; ++counter) {
    const Frame& current = frames[counter % 2];
    Frame& other = frames[(counter + 1) % 2];  // the previous block, then the next
    SendBlock(current, startByte, [&] {
      const int previous = counter - 1;
      const int previousAt = Low32(other.Position);
      try {
        if (!current.Last) PrepareFrame(other, counter + 1, n, startByte);
      } catch (const ETransferFinished&) {
        if (previous > 0) ReportPacket(previous, previousAt);  // before the end, as it came
        throw;
      }
      if (previous == 0) return;
      if (startByte == StartStreaming)
        ReportPacket(previous, previousAt);
      else
        ReportPacketBeforeRead(previous, previousAt);
    });
    if (current.Last) {
      ReportPacket(counter, Low32(current.Position));
      SendEndOfTransfer();
      FinishTransfer(TransferExit::Success);
    }
  }
}

void TSerXYModemThread::ReadFileBlock(int N) {
  ClearBlock();  // a short read leaves the fill at 0x00
  if (Stream().Read(Block, N) >= 0) return;
  SendCancel();
  FinishTransfer(TransferExit::FileReadError);
}

// Header, number, complement, data and check in one piece: a frame goes to the port in
// one write.
void TSerXYModemThread::PrepareFrame(Frame& F, int Counter, int N, uint8_t StartByte) {
  ReadFileBlock(N);
  F.Position = Stream().Position();
  F.Last = AtEndOfFile();
  const uint8_t number = static_cast<uint8_t>(Counter);
  F.Bytes[0] = N == ShortBlock ? SOH : STX;
  F.Bytes[1] = number;
  F.Bytes[2] = static_cast<uint8_t>(255 - number);
  std::copy(Block, Block + N, F.Bytes + 3);
  F.Size = 3 + N;
  if (StartByte == NAK) {
    F.Bytes[F.Size++] = Checksum(Block, N);
  } else {
    const uint16_t crc = crc16::Compute(Block, static_cast<size_t>(N));
    F.Bytes[F.Size++] = static_cast<uint8_t>(crc >> 8);
    F.Bytes[F.Size++] = static_cast<uint8_t>(crc);
  }
}

uint8_t TSerXYModemThread::WaitForStart() {
  for (int i = 0; i < RetryLimit; ++i) {
    const int c = ReadByte();
    if (c == 0) {  // a local abort, or a received 0x00
      SendCancel();
      FinishTransfer(TransferExit::LocalAbort);
    }
    if (IsStartByte(c)) return static_cast<uint8_t>(c);
    RecordError(TransferError::UnexpectedByte, false);
  }
  FinishTransfer(TransferExit::ProtocolError);
}

// A block goes again as often as NAKs come; only MaxErrors limits that.
void TSerXYModemThread::SendBlock(const Frame& F, uint8_t StartByte,
                                  const std::function<void()>& WhileSent) {
  for (bool first = true;; first = false) {
    if (Cancelled()) {
      SendCancel();
      FinishTransfer(TransferExit::LocalAbort);
    }
    if (LineIsLost()) FinishTransfer(TransferExit::TooManyErrors);
    SendBuffer(F.Bytes, F.Size);
    if (first) WhileSent();
    if (StartByte == StartStreaming) {
      WaitForLine();
      // Only a CAN at the head of the queue counts; other bytes stay queued.
      if (PeekByte() == CAN) EndByRemoteCancel();
      return;
    }
    switch (ReadByte()) {
      case ACK:
        return;
      case NAK:
        RecordError(TransferError::BlockRejected, true);
        break;
      case 0:  // a local abort (ended above) or a received 0x00: the block again
        break;
      case CAN:
        EndByRemoteCancel();
      default:
        FinishTransfer(TransferExit::ProtocolError);
    }
  }
}

// A streaming sender waits for a slow line instead of filling the port's queue; a line
// that takes nothing for a Timeout counts a time-out error.
void TSerXYModemThread::WaitForLine() {
  TSerTimer silence;
  TimerStart(silence, static_cast<uint32_t>(Owner()->Timeout()));
  while (!WaitForOutput(StreamAhead, LineLookMs)) {
    if (Cancelled() || LineIsLost() || PeekByte() == CAN) return;
    if (TimerExpired(silence)) {
      RecordError(TransferError::Timeout, false);
      TimerStart(silence, static_cast<uint32_t>(Owner()->Timeout()));
    }
  }
}

// The far end has given up: the blocks still queued for it are dropped.
void TSerXYModemThread::EndByRemoteCancel() {
  DiscardOutput();
  FinishTransfer(TransferExit::RemoteCancel);
}

void TSerXYModemThread::SendEndOfTransfer() {
  for (int i = 0; i < RetryLimit; ++i) {
    SendByte(EOT);
    const int r = ReadByte();
    if (r == 0) {
      SendCancel();
      FinishTransfer(TransferExit::LocalAbort);
    }
    if (r == ACK) return;
    RecordError(TransferError::UnexpectedByte, false);
  }
  FinishTransfer(TransferExit::ProtocolError);
}
