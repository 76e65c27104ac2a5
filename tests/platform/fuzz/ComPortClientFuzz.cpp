// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: whatever a server sends, in pieces of any size, the COM port client
// decodes no more data than it was given, answers with bounded output and keeps a
// signature of bounded length.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/network/ComPortClient.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size == 0) return 0;
  ComPortClient client;
  std::string reply = client.Start();
  const size_t start = reply.size();
  size_t data = 0, at = 1;
  const size_t piece = Data[0] % 17 + 1;  // the first byte chooses how the stream is cut
  while (at < Size) {
    const size_t n = std::min(piece, Size - at);
    client.Feed(Data + at, n, [&](const uint8_t*, size_t Count) { data += Count; }, reply);
    at += n;
    client.TakeEvents();
    client.TakeErrors();
  }
  // Each received byte yields at most one data byte; a negotiation (three bytes) gets at
  // most one three-byte answer, a signature request (six) one answer of twelve.
  if (data > Size || reply.size() > start + 2 * Size ||
      client.Signature().size() > ComPortClient::MaxSignature)
    std::abort();
  return 0;
}
