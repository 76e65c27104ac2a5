// SPDX-License-Identifier: GPL-3.0-or-later
// The cost of one queued WriteChar on a pseudo-terminal, with a reader draining the far
// end.
#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

#include "serial/SerComm.h"
#include "support/PtyPair.h"

static void BM_WriteChar(benchmark::State& state) {
  PtyPair pty(true);
  std::atomic<bool> done{false};
  std::thread reader([&] {
    char buffer[65536];
    while (!done) {
      if (read(pty.Master, buffer, sizeof buffer) <= 0) break;
    }
  });
  {
    TSerComm port(nullptr);
    port.SetDeviceName(pty.SlavePath);
    port.SetMonitorEvents(SerEvents({ceRxChar, ceTxEmpty}));
    port.Buffers().SetWriteSize(232144);
    port.SetWritePriority(tpNormal);
    port.Open();
    for (auto _ : state) benchmark::DoNotOptimize(port.WriteChar('x'));
    state.SetItemsProcessed(state.iterations());
    done = true;
    port.Close();
  }
  write(pty.Slave, "x", 1);  // wakes the reader
  reader.join();
}
BENCHMARK(BM_WriteChar)->Unit(benchmark::kNanosecond)->MinTime(2.0);

BENCHMARK_MAIN();
