// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/TickCount.h"
#include "platform/WaitEvent.h"

using namespace std::chrono;

TEST(WaitEvent, IsManualResetAndStartsClear) {
  WaitEvent e;
  EXPECT_FALSE(e.IsSet());
  EXPECT_EQ(e.Wait(0), WaitEvent::Timeout);
  e.Set();
  e.Set();
  EXPECT_EQ(e.Wait(0), WaitEvent::Signaled);
  EXPECT_EQ(e.Wait(-1), WaitEvent::Signaled);  // a wait does not consume it
  EXPECT_TRUE(e.IsSet());
  e.Reset();  // one reset clears however many sets came before
  EXPECT_FALSE(e.IsSet());
  e.Reset();
  EXPECT_EQ(e.Wait(20), WaitEvent::Timeout);
}

TEST(WaitEvent, SetFromAnotherThreadEndsAnUnlimitedWait) {
  WaitEvent e;
  std::thread setter([&] {
    std::this_thread::sleep_for(milliseconds(30));
    e.Set();
  });
  EXPECT_EQ(e.Wait(-1), WaitEvent::Signaled);
  setter.join();
}

TEST(WaitForAny, ReportsTheFirstSetInListOrder) {
  WaitEvent a, b, c;
  EXPECT_EQ(WaitForAny({&a, &b, &c}, 0), -1);
  c.Set();
  EXPECT_EQ(WaitForAny({&a, &b, &c}, 0), 2);
  b.Set();
  EXPECT_EQ(WaitForAny({&a, &b, &c}, -1), 1);
  EXPECT_EQ(WaitForAny({&c, &b}, -1), 0);
  b.Reset();
  c.Reset();
  EXPECT_EQ(WaitForAny({&a, &b, &c}, 30), -1);
}

TEST(WaitForAny, WakesWhenAnEventIsSetLater) {
  WaitEvent stop, work;
  std::thread setter([&] {
    std::this_thread::sleep_for(milliseconds(30));
    work.Set();
  });
  EXPECT_EQ(WaitForAny({&stop, &work}, 10000), 1);
  setter.join();
}

TEST(TickCount, FollowsTheMonotonicClock) {
  const uint32_t before = GetTickCount();
  SleepMs(50);
  const uint32_t elapsed = GetTickCount() - before;
  EXPECT_GE(elapsed, 49u);
  EXPECT_LT(elapsed, 10000u);
}

TEST(TickCount, SourceCanBeSetToCrossTheWrap) {
  uint32_t now = 0xFFFFFFF0u;
  SetTickSource([&] { return now; });
  const uint32_t start = GetTickCount();
  EXPECT_EQ(start, 0xFFFFFFF0u);
  now += 0x20;  // wraps to 0x10
  EXPECT_EQ(GetTickCount(), 0x10u);
  EXPECT_EQ(GetTickCount() - start, 0x20u);
  SetTickSource(nullptr);
  EXPECT_NE(GetTickCount(), 0x10u);
}
