// SPDX-License-Identifier: GPL-3.0-or-later
// tarvik-boardsim: a board on a pseudo-terminal, for trying Tarvik without hardware.
//
//   tarvik-boardsim                 make a pseudo-terminal pair and print the port name
//   tarvik-boardsim --serve PATH    be the board at the far end of PATH (a socat pty, a cable)
//   options: --no-echo, --no-ack, --hold-cts (keep Tarvik's CTS off; needs a real line)
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "boardsim/BoardSimulator.h"

namespace {
volatile std::sig_atomic_t stopRequested = 0;
void OnSignal(int) { stopRequested = 1; }

int Usage() {
  std::fprintf(stderr, "usage: tarvik-boardsim [--serve PATH] [--no-echo] [--no-ack] [--hold-cts]\n");
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  std::string servePath;
  BoardSimulator::Options options;
  bool holdCts = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--serve" && i + 1 < argc) servePath = argv[++i];
    else if (arg == "--no-echo") options.Echo = false;
    else if (arg == "--no-ack") options.AckLines = false;
    else if (arg == "--hold-cts") holdCts = true;
    else return Usage();
  }
  try {
    std::unique_ptr<BoardLink> link;
    std::string nearPath;
    if (servePath.empty()) {
      link = BoardLink::NewPty(nearPath);
      std::printf("Board ready. In Tarvik, type %s into the port box and press Enter (device %s).\n",
                  PortNameForPath(nearPath).c_str(), nearPath.c_str());
    } else {
      link = BoardLink::OpenDevice(servePath);
      std::printf("Board serving %s.\n", servePath.c_str());
    }
    std::fflush(stdout);
    BoardSimulator board(std::move(link), options);
    if (holdCts && !board.SetClearToSend(false))
      std::fprintf(stderr, "This line has no modem lines: CTS cannot be held off here.\n");
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    board.Start();
    while (!stopRequested) pause();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tarvik-boardsim: %s\n", e.what());
    return 1;
  }
  return 0;
}
