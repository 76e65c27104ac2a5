// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/SerialDevice.h"
#include "platform/TickCount.h"
#include "serial/SerClasses.h"

TEST(SerPersistent, UpdatesBatchNoticesIntoOneAtTheOutermostEnd) {
  TSerPersistent p;
  int notices = 0;
  p.OnChange = [&](TObject* Sender) {
    EXPECT_EQ(Sender, &p);
    ++notices;
  };
  p.BeginUpdate();
  p.BeginUpdate();
  p.Changed();
  p.EndUpdate();
  EXPECT_EQ(notices, 0);
  p.EndUpdate();
  EXPECT_EQ(notices, 1);
  p.EndUpdate();  // unmatched: the count stays at 0 and it still notifies
  p.Changed();
  EXPECT_EQ(notices, 3);
}

TEST(SerWaitEvent, IsManualResetAndTimesOut) {
  TSerWaitEvent e;
  EXPECT_EQ(e.WaitFor(0), wrTimeout);
  EXPECT_EQ(e.WaitFor(20), wrTimeout);
  e.SetEvent();
  EXPECT_EQ(e.WaitFor(MAXDWORD), wrSignaled);
  EXPECT_EQ(e.WaitFor(0), wrSignaled);
  e.ResetEvent();
  EXPECT_EQ(e.WaitFor(0), wrTimeout);
}

TEST(SerCommBuffer, RemovingMovesTheRestToTheFrontOfTheSameBlock) {
  TSerCommBuffer b(8);
  uint8_t* block = b.Data();
  b.Append("abcde", 5);
  b.Remove(2);
  ASSERT_EQ(b.Size(), 3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b.Data()), 3), "cde");
  EXPECT_EQ(b.Data(), block);
  b.Append("fgh", 3);
  char out[3];
  b.Extract(out, 3);
  EXPECT_EQ(std::string(out, 3), "cde");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b.Data()), b.Size()), "fgh");
}

TEST(SerTimer, MeasuresAcrossTheTickWrap) {
  uint32_t tick = 0xFFFFFFF0u;
  SetTickSource([&] { return tick; });
  TSerTimer t;
  TimerStart(t, 100);
  tick = 0x20;  // 0x0F before the wrap, 0x20 after it
  EXPECT_NEAR(TimerElapsed(t), 0x30, 1);
  EXPECT_FALSE(TimerExpired(t));
  tick = 0x55;  // 0x64 ms elapsed
  EXPECT_FALSE(TimerExpired(t)) << "expired only once the limit is exceeded";
  tick = 0x56;
  EXPECT_TRUE(TimerExpired(t));
  SetTickSource(nullptr);
}

TEST(SerFileNames, UniqueFileNameNumbersTheStemUntilTheNameIsFree) {
  char pattern[] = "/tmp/serunique.XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  auto touch = [&](const char* Name) { close(open((dir + "/" + Name).c_str(), O_CREAT, 0644)); };
  EXPECT_EQ(UniqueFileName(dir + "/data.bin"), dir + "/data.bin");
  touch("data.bin");
  touch("data-1.bin");
  EXPECT_EQ(UniqueFileName(dir + "/data.bin"), dir + "/data-2.bin");
  touch("README");
  EXPECT_EQ(UniqueFileName(dir + "/README"), dir + "/README-1");
  touch("a.tar.gz");
  EXPECT_EQ(UniqueFileName(dir + "/a.tar.gz"), dir + "/a.tar-1.gz");
  EXPECT_EQ(IncludeBackslash(""), "");
  EXPECT_EQ(IncludeBackslash(dir), dir + "/");
  EXPECT_EQ(IncludeBackslash(dir + "/"), dir + "/");
  std::system(("rm -rf '" + dir + "'").c_str());
}
