// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "framework/Exceptions.h"
#include "serial/SerPrst.h"

TEST(SerSettings, SettersNotifyByTheirOwnRules) {
  TSerFlowControl flow;
  TSerEventChars chars;
  TSerBuffers buffers;
  int flowNotices = 0, charNotices = 0, bufferNotices = 0;
  flow.OnChange = [&](TObject*) { ++flowNotices; };
  chars.OnChange = [&](TObject*) { ++charNotices; };
  buffers.OnChange = [&](TObject*) { ++bufferNotices; };

  flow.SetOutCtsFlow(false);  // unchanged: no notice
  flow.SetOutCtsFlow(true);
  flow.SetControlRts(rtsEnabled);
  EXPECT_EQ(flowNotices, 2);
  EXPECT_EQ(chars.XonChar(), 17);
  EXPECT_EQ(chars.XoffChar(), 19);
  chars.SetXonChar(17);  // every write notifies
  chars.SetXonChar(17);
  EXPECT_EQ(charNotices, 2);
  EXPECT_EQ(buffers.ReadSize(), 4096);
  EXPECT_EQ(buffers.WriteSize(), 2048);
  buffers.SetWriteSize(2048);
  buffers.SetReadTimeout(5);  // plain values
  buffers.SetWriteTimeout(6);
  EXPECT_EQ(bufferNotices, 0);
  buffers.SetXoffLimit(7);
  EXPECT_EQ(bufferNotices, 1);
}

TEST(SerSettings, AssignCopiesTheSameClassWithOneNoticeAndRefusesOthers) {
  TSerBuffers from;
  from.SetReadSize(65536);
  from.SetWriteSize(232144);
  from.SetReadTimeout(1);
  from.SetXonLimit(3);
  TSerBuffers to;
  int notices = 0;
  to.OnChange = [&](TObject*) { ++notices; };
  to.Assign(&from);
  EXPECT_EQ(notices, 1);
  EXPECT_EQ(to.ReadSize(), 65536);
  EXPECT_EQ(to.WriteSize(), 232144);
  EXPECT_EQ(to.ReadTimeout(), 1);
  EXPECT_EQ(to.XonLimit(), 3);

  TSerFlowControl flow;
  flow.SetControlDtr(dtrHandshake);
  TSerFlowControl flowTo;
  flowTo.Assign(&flow);
  EXPECT_EQ(flowTo.ControlDtr(), dtrHandshake);
  try {
    flowTo.Assign(&from);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TSerBuffers to a TSerFlowControl");
  }
  TSerEventChars chars;
  EXPECT_THROW(chars.Assign(&flow), Exception);
}
