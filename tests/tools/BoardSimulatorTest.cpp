// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>

#include "boardsim/BoardSimulator.h"

namespace {

// Reads from Fd until Wanted is among what came, or the time is up.
std::string ReadUntil(int Fd, const std::string& Wanted, int TimeoutMs = 5000) {
  std::string got;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  while (got.find(Wanted) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd p{Fd, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buffer[256];
    ssize_t n = read(Fd, buffer, sizeof buffer);
    if (n > 0) got.append(buffer, static_cast<size_t>(n));
  }
  return got;
}

}  // namespace

TEST(BoardSimulator, LoadCommandsPromptAndEveryLineIsAcknowledged) {
  EXPECT_EQ(BoardSimulator::AnswerTo("loadb", true), "\r\nLoading BASIC\r\n> \x06");
  EXPECT_EQ(BoardSimulator::AnswerTo("loadh", false), "\r\nLoading hex\r\n> ");
  EXPECT_EQ(BoardSimulator::AnswerTo("loadf", true), "\r\nLoading Forth\r\n> \x06");
  EXPECT_EQ(BoardSimulator::AnswerTo("10 PRINT 1", true), "\x06");
  EXPECT_EQ(BoardSimulator::AnswerTo("LOADB", true), "\x06");  // the board's commands are lower case
}

TEST(BoardSimulator, EchoesAndAnswersOverAPseudoTerminal) {
  std::string slavePath;
  BoardSimulator board(BoardLink::NewPty(slavePath));
  board.Start();
  EXPECT_EQ(PortNameForPath("/dev/pts/7"), "COM1007");
  int fd = open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "loadh\r", 6), 6);
  EXPECT_EQ(ReadUntil(fd, "\x06"), "loadh\r\r\nLoading hex\r\n> \x06");
  ASSERT_EQ(write(fd, ":00\r", 4), 4);
  EXPECT_EQ(ReadUntil(fd, "\x06"), ":00\r\x06");
  EXPECT_TRUE(board.WaitForReceived("loadh\r:00\r", 5000));
  EXPECT_EQ(board.LinesReceived(), 2);
  close(fd);
}

TEST(BoardSimulator, HoldsClearToSendOnAVirtualLine) {
  auto line = VirtualLine::Create("boardsim-cts");
  BoardSimulator board(BoardLink::OnVirtualLine(line));
  EXPECT_TRUE(board.SetClearToSend(false));
  EXPECT_FALSE(line->Rts(VirtualLine::B));
  EXPECT_TRUE(board.SetClearToSend(true));
  EXPECT_TRUE(line->Rts(VirtualLine::B));
}
