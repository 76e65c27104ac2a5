// SPDX-License-Identifier: GPL-3.0-or-later
// The transfer direction and the exit and error codes of every transfer. These values
// and no others reach OnTransferEnd and OnError.
#pragma once

#include <cstdint>

enum TSerTransferMode : uint8_t { tmUpload, tmDownload };

// The ExitCode of OnTransferEnd.
namespace TransferExit {
constexpr int Success = 0;         // EOT acknowledged (sending) or received (receiving)
constexpr int LocalAbort = -3;     // AbortTransfer, or a 0x00 where the sender awaits start or EOT's ACK
constexpr int RemoteCancel = -4;   // a CAN arrived
constexpr int ProtocolError = -5;  // unexpected byte, wrong block number, a retry limit of 10
constexpr int FileReadError = -7;
constexpr int FileWriteError = -8;
constexpr int TooManyErrors = -9;  // ErrorCount reached MaxErrors
constexpr int CreateFailed = -11;
constexpr int OpenFailed = -12;
constexpr int QueueOverflow = -14;
}  // namespace TransferExit

// The ErrorCode of OnError; each one counts in ErrorCount.
namespace TransferError {
constexpr int Timeout = -1;          // nothing arrived within Timeout milliseconds
constexpr int BlockRejected = -15;   // check mismatch (receiving) or NAK (sending)
constexpr int UnexpectedByte = -16;  // before the start byte or after EOT
}  // namespace TransferError

inline bool IsTransferExitCode(int Code) {
  switch (Code) {
    case TransferExit::Success: case TransferExit::LocalAbort: case TransferExit::RemoteCancel:
    case TransferExit::ProtocolError: case TransferExit::FileReadError:
    case TransferExit::FileWriteError: case TransferExit::TooManyErrors:
    case TransferExit::CreateFailed: case TransferExit::OpenFailed:
    case TransferExit::QueueOverflow:
      return true;
    default:
      return false;
  }
}

inline bool IsTransferErrorCode(int Code) {
  return Code == TransferError::Timeout || Code == TransferError::BlockRejected ||
         Code == TransferError::UnexpectedByte;
}
