// The sending side: the start-byte wait, block frames with their retries, and EOT.
#include "protocol/Crc16.h"
#include "protocol/SerXModem.h"
#include "protocol/XModemBytes.h"

using namespace xmodem;

namespace {

uint8_t Checksum(const uint8_t* Data, int N) {
  uint8_t sum = 0;
  for (int i = 0; i < N; ++i) sum = static_cast<uint8_t>(sum + Data[i]);
  return sum;
}

// The low 32 bits of a file position or size, as the events carry them.
int Low32(int64_t Value) { return static_cast<int>(static_cast<uint32_t>(Value)); }

}  // namespace

void TSerXYModemThread::SendFile(const std::string& FileName) {
  int counter = 0;
  OpenForRead(FileName);
  ReportFileInfo(FileName, Low32(Stream().Size()));
  const uint8_t startByte = WaitForStart();
  const int n = startByte == NAK ? ShortBlock : LongBlock;
  // An empty file goes as one block of fill; a file of whole blocks ends after its last.
  for (;;) {
    ++counter;
    ReadFileBlock(n);
    SendBlock(counter, n, startByte);
    ReportPacket(counter, Low32(Stream().Position()));
    if (AtEndOfFile()) {
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

void TSerXYModemThread::SendFrame(int Counter, int N, uint8_t StartByte) {
  const uint8_t number = static_cast<uint8_t>(Counter);
  SendByte(N == ShortBlock ? SOH : STX);
  SendByte(number);
  SendByte(static_cast<uint8_t>(255 - number));
  SendBuffer(Block, N);
  if (StartByte == NAK) {
    SendByte(Checksum(Block, N));
  } else {
    const uint16_t crc = crc16::Compute(Block, static_cast<size_t>(N));
    SendByte(static_cast<uint8_t>(crc >> 8));
    SendByte(static_cast<uint8_t>(crc));
  }
}

// A block goes again as often as NAKs come; only MaxErrors limits that.
void TSerXYModemThread::SendBlock(int Counter, int N, uint8_t StartByte) {
  for (;;) {
    if (Cancelled()) {
      SendCancel();
      FinishTransfer(TransferExit::LocalAbort);
    }
    SendFrame(Counter, N, StartByte);
    if (StartByte == StartStreaming) {
      // Only a CAN at the head of the queue counts; other bytes stay queued.
      if (PeekByte() == CAN) FinishTransfer(TransferExit::RemoteCancel);
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
        FinishTransfer(TransferExit::RemoteCancel);
      default:
        FinishTransfer(TransferExit::ProtocolError);
    }
  }
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
