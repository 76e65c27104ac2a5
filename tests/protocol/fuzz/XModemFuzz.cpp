// SPDX-License-Identifier: GPL-3.0-or-later
// Random byte streams as the far end of a transfer: to the receiver, and as replies to the
// sender. A run must end, on its own or by the error limit, with a code of the table.
//
// Input: one configuration byte, then the bytes that arrive from the line.
//   bit 0     direction: sender (0) or receiver (1)
//   bits 1-2  protocol of the receiver: XModem, XModem1K, XModemG (3 counts as XModemG)
//   bits 3-4  size of the file sent: 0, 1, 129 or 1030 bytes
//   bit 5     abort locally at the first time-out instead of running into the error limit
//   bits 6-7  size of the blocks the data arrives in: all at once, 1, 7 or 133 bytes
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "framework/ExceptionReport.h"
#include "framework/Threads.h"
#include "protocol/SerProtocol.h"

namespace {

struct Workspace {
  Workspace() {
    char pattern[] = "/tmp/tarvik-fuzz-XXXXXX";
    Dir = mkdtemp(pattern);
    const size_t sizes[] = {0, 1, 129, 1030};
    for (int i = 0; i < 4; ++i) {
      SendFiles[i] = Dir + "/send" + std::to_string(i) + ".bin";
      std::ofstream out(SendFiles[i], std::ios::binary);
      for (size_t k = 0; k < sizes[i]; ++k) out.put(static_cast<char>(k * 7));
    }
    // Reports of handler failures would only be noise here.
    SetExceptionReportHook([](const std::string&) {});
  }
  ~Workspace() {
    std::error_code ignored;
    std::filesystem::remove_all(Dir, ignored);
  }
  std::string Dir;
  std::string SendFiles[4];
};

[[noreturn]] void Fail(const char* What, int Code) {
  std::fprintf(stderr, "protocol fuzz: %s %d\n", What, Code);
  std::abort();
}

bool PumpUntilIdle(TSerXModem& Xm, int TimeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  while (Xm.Busy()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    CheckSynchronize(50);
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static Workspace workspace;
  if (Size == 0) return 0;
  const uint8_t config = Data[0];
  const uint8_t* stream = Data + 1;
  const int streamSize = static_cast<int>(Size - 1);
  static const int chunkSizes[] = {0, 1, 7, 133};
  const int chunk = chunkSizes[(config >> 6) & 3];
  const bool abortAtTimeOut = (config & 0x20) != 0;

  TSerXModem xm(nullptr);
  xm.SetMode((config & 1) ? tmDownload : tmUpload);
  const int protocol = (config >> 1) & 3;
  xm.SetProtocol(protocol == 0 ? XModem : protocol == 1 ? XModem1K : XModemG);
  xm.SetFileName(xm.Mode() == tmUpload ? workspace.SendFiles[(config >> 3) & 3]
                                       : workspace.Dir + "/received.bin");
  xm.SetTimeout(5);
  xm.SetMaxErrors(abortAtTimeOut ? 0 : 3);

  std::string received;
  int ends = 0;
  xm.OnFileInfo = [&](TObject*, const std::string& Name, int) {
    if (xm.Mode() == tmDownload) received = Name;
    // The line's bytes arrive while the worker waits: all of them are queued before it reads.
    for (int at = 0; at < streamSize;) {
      const int n = chunk == 0 ? streamSize : std::min(chunk, streamSize - at);
      xm.CommData(stream + at, n);
      at += n;
    }
  };
  xm.OnError = [&](TObject*, int Code, int Count) {
    if (!IsTransferErrorCode(Code)) Fail("error code outside the table:", Code);
    if (Count <= 0) Fail("error count:", Count);
    if (abortAtTimeOut && Code == TransferError::Timeout) xm.AbortTransfer();
  };
  xm.OnTransferEnd = [&](TObject*, int Code) {
    ++ends;
    if (!IsTransferExitCode(Code)) Fail("exit code outside the table:", Code);
  };
  xm.StartTransfer();
  if (!PumpUntilIdle(xm, 10000)) Fail("transfer did not end within ms:", 10000);
  if (ends != 1) Fail("transfer ends reported:", ends);
  if (!received.empty()) std::remove(received.c_str());
  return 0;
}
