// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "platform/ErrorMarks.h"
#include "platform/InputQueue.h"
#include "platform/SerialDevice.h"

namespace {

uint32_t Store(InputQueue& Q, const std::string& Bytes) {
  return Q.Store(reinterpret_cast<const uint8_t*>(Bytes.data()), Bytes.size());
}
std::string Take(InputQueue& Q, size_t Count) {
  std::string out(Count, '\0');
  out.resize(Q.Take(out.data(), Count));
  return out;
}

}  // namespace

TEST(InputQueue, KeepsOrderAcrossTheRingEdge) {
  InputQueue q;
  ASSERT_TRUE(q.SetCapacity(8));
  EXPECT_EQ(Store(q, "abcdef"), EV_RXCHAR | EV_RX80FULL);
  EXPECT_EQ(Take(q, 4), "abcd");
  Store(q, "ghijkl");  // wraps
  EXPECT_EQ(q.Size(), 8u);
  EXPECT_EQ(Store(q, "m"), 0u);  // full: nothing stored, no event
  EXPECT_EQ(Take(q, 100), "efghijkl");
  EXPECT_EQ(q.Size(), 0u);
  EXPECT_EQ(Take(q, 1), "");
}

TEST(InputQueue, NewCapacityKeepsWhatFits) {
  InputQueue q;
  EXPECT_EQ(q.Capacity(), InputQueue::DefaultCapacity);
  Store(q, "0123456789");
  ASSERT_TRUE(q.SetCapacity(4));
  EXPECT_EQ(Take(q, 10), "0123");
  EXPECT_FALSE(q.SetCapacity(InputQueue::MaxCapacity + 1));
  EXPECT_EQ(q.Capacity(), 4u);
}

TEST(InputQueue, EightyPercentIsReportedWhenCrossed) {
  InputQueue q;
  q.SetCapacity(10);
  EXPECT_EQ(Store(q, "1234567"), EV_RXCHAR);
  EXPECT_EQ(Store(q, "8"), EV_RXCHAR | EV_RX80FULL);
  EXPECT_EQ(Store(q, "9"), EV_RXCHAR);  // already above: not again
  Take(q, 9);
  EXPECT_EQ(Store(q, "12345678"), EV_RXCHAR | EV_RX80FULL);
}

TEST(InputQueue, ReceiveRulesApplyAsBytesAreStored) {
  InputQueue q;
  q.SetRules(true, true, '?', '\n');
  EXPECT_EQ(Store(q, std::string("a\0b", 3)), EV_RXCHAR);
  EXPECT_EQ(Store(q, std::string(3, '\0')), 0u);  // only NULs: nothing arrived
  EXPECT_EQ(Store(q, "c\n"), EV_RXCHAR | EV_RXFLAG);
  EXPECT_EQ(q.StoreOne('x', true), EV_RXCHAR);
  EXPECT_EQ(q.StoreOne('y', false), EV_RXCHAR);
  EXPECT_EQ(Take(q, 100), "abc\n?y");

  q.SetRules(false, false, '?', '\0');  // NULs kept, errors not replaced, NUL is the flag
  EXPECT_EQ(Store(q, std::string(1, '\0')), EV_RXCHAR | EV_RXFLAG);
  q.StoreOne('x', true);
  EXPECT_EQ(Take(q, 100), std::string("\0x", 2));
}

TEST(InputQueue, OverrunIsNotedOnceUntilAReadMakesRoom) {
  InputQueue q;
  q.SetCapacity(2);
  EXPECT_FALSE(q.NoteOverrun());  // not full
  Store(q, "ab");
  EXPECT_TRUE(q.NoteOverrun());
  EXPECT_FALSE(q.NoteOverrun());
  Take(q, 1);
  Store(q, "c");
  EXPECT_TRUE(q.NoteOverrun());
  q.Clear();
  EXPECT_FALSE(q.NoteOverrun());
}

TEST(ErrorMarkParser, MarkedBytesBecomeTheErrorCharacter) {
  InputQueue q;
  q.SetRules(false, true, '~', '\0');
  ErrorMarkParser parser;
  auto feed = [&](const std::string& Bytes) {
    for (char c : Bytes)
      parser.Feed(static_cast<uint8_t>(c), [&](uint8_t b, bool error) { q.StoreOne(b, error); });
  };
  feed(std::string("a\xff\x00", 3));  // the mark is split across two reads
  feed(std::string("bc\xff\xff" "d\xff" "e", 7));
  EXPECT_EQ(Take(q, 100), "a~c\xff" "d\xff" "e");
  feed(std::string("\xff", 1));
  parser.Reset();  // a new block starts clean
  feed("f");
  EXPECT_EQ(Take(q, 100), "f");
}
