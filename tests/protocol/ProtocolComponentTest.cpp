// SPDX-License-Identifier: GPL-3.0-or-later
// The protocol component around the engine: start and refusal, abort, time-outs and the
// error limit, the receive queue's bound, handler failures, destruction mid-transfer.
#include <gtest/gtest.h>

#include "ProtocolRig.h"
#include "XModemFrames.h"
#include "framework/ExceptionReport.h"
#include "framework/Threads.h"
#include "platform/TickCount.h"

using namespace frames;
using Pairs = std::vector<std::pair<int, int>>;

namespace {

TEST(ProtocolComponent, StartsIdleWithItsDefaults) {
  TSerXModem xm(nullptr);
  EXPECT_EQ(xm.Mode(), tmUpload);
  EXPECT_EQ(xm.Timeout(), 60000);
  EXPECT_EQ(xm.MaxErrors(), 10);
  EXPECT_EQ(xm.BufferSize(), 4096);
  EXPECT_EQ(xm.Protocol(), XModem);
  EXPECT_EQ(xm.FileName(), "");
  EXPECT_FALSE(xm.Busy());
  EXPECT_FALSE(xm.Dispatcher().Active()) << "delivery is off until a transfer starts";
  xm.AbortTransfer();  // idle: nothing happens
  EXPECT_FALSE(xm.Busy());
}

TEST(ProtocolComponent, SecondStartIsRefusedAndTheRunningTransferGoesOn) {
  ProtocolRig rig;
  rig.Xm.SetMode(tmDownload);
  rig.Xm.SetFileName(rig.TempDir() + "/r.bin");
  rig.Xm.StartTransfer();
  EXPECT_TRUE(rig.Xm.Dispatcher().Active());
  try {
    rig.Xm.StartTransfer();
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Transfer already in progress...");
  }
  EXPECT_EQ(rig.Log.Starts, 1);
  EXPECT_TRUE(rig.Xm.Busy());
  rig.Xm.AbortTransfer();
  ASSERT_TRUE(rig.WaitForEnd());
  EXPECT_EQ(rig.Log.ExitCode, -3);
  EXPECT_EQ(rig.Log.Ends, 1);
  EXPECT_FALSE(rig.Xm.Dispatcher().Active());
}

TEST(ProtocolComponent, TheEndHandlerMayStartTheNextTransfer) {
  TSerXModem xm(nullptr);
  std::vector<int> codes;
  xm.SetFileName("/nonexistent/file");
  xm.OnTransferEnd = [&](TObject* Sender, int Code) {
    EXPECT_EQ(Sender, &xm);
    EXPECT_FALSE(xm.Busy());
    codes.push_back(Code);
    if (codes.size() == 1) {
      xm.SetMode(tmDownload);
      xm.StartTransfer();
    }
  };
  xm.StartTransfer();
  ASSERT_TRUE(PumpUntil([&] { return codes.size() == 2; }, 20000));
  EXPECT_EQ(codes, (std::vector<int>{-12, -11}));
}

TEST(ProtocolComponent, WithoutAPortTimeOutsEndTheTransfer) {
  TSerXModem xm(nullptr);
  TransferLog log;
  RecordEvents(xm, log);
  std::vector<std::pair<int, int>> seenByAccessors;
  xm.OnError = [&](TObject*, int Code, int Count) {
    log.Errors.emplace_back(Code, Count);
    seenByAccessors.emplace_back(xm.ErrorCode(), xm.ErrorCount());
  };
  xm.SetMode(tmDownload);
  xm.SetFileName(::testing::TempDir() + "/noport-" + std::to_string(getpid()) + ".bin");
  xm.SetTimeout(50);
  xm.SetMaxErrors(3);
  for (int run = 0; run < 2; ++run) {  // the error count restarts with each transfer
    log.Errors.clear();
    seenByAccessors.clear();
    xm.StartTransfer();
    ASSERT_TRUE(PumpUntil([&] { return !xm.Busy(); }, 20000));
    EXPECT_EQ(log.ExitCode, -9);
    EXPECT_EQ(log.Errors, (Pairs{{-1, 1}, {-1, 2}}));
    EXPECT_EQ(seenByAccessors, log.Errors);
    EXPECT_EQ(xm.ErrorCount(), 0);
    ASSERT_EQ(log.FileInfos.size(), run + 1u);
    std::remove(log.FileInfos.back().first.c_str());
  }
}

TEST(ProtocolComponent, ClosedPortSendsNothingAndTimesOut) {
  ProtocolRig rig;
  rig.Port.Close();
  rig.Xm.SetFileName(rig.TempFile("x.bin", "x"));
  rig.Xm.SetTimeout(50);
  rig.Xm.SetMaxErrors(2);
  rig.Xm.StartTransfer();
  ASSERT_TRUE(rig.WaitForEnd());
  EXPECT_EQ(rig.Log.ExitCode, -9);
  EXPECT_EQ(rig.Log.Errors, (Pairs{{-1, 1}}));
  EXPECT_EQ(rig.Line->Take(VirtualLine::B), "");
}

TEST(ProtocolComponent, MaxErrorsOneEndsAtTheFirstErrorWithoutOnError) {
  ProtocolRig rig;
  rig.Xm.SetFileName(rig.TempFile("x.bin", "x"));
  rig.Xm.SetTimeout(50);
  rig.Xm.SetMaxErrors(1);
  rig.Xm.StartTransfer();
  ASSERT_TRUE(rig.WaitForEnd());
  EXPECT_EQ(rig.Log.ExitCode, -9);
  EXPECT_TRUE(rig.Log.Errors.empty());
  EXPECT_EQ(rig.SentAfterPeer(), "") << "time-outs send no cancel";
}

TEST(ProtocolComponent, MaxErrorsZeroNeverEndsTheTransfer) {
  ProtocolRig rig;
  rig.Xm.SetFileName(rig.TempFile("x.bin", "x"));
  rig.Xm.SetTimeout(30);
  rig.Xm.SetMaxErrors(0);
  // After twelve time-outs, more than the default limit, the receiver shows up.
  rig.Xm.OnError = [&](TObject*, int Code, int Count) {
    rig.Log.Errors.emplace_back(Code, Count);
    if (Count == 12) rig.Line->Send(VirtualLine::B, std::string(1, NAK));
  };
  rig.RunPeer([&](LinePeer& Peer) {
    Peer.Read(132);
    Peer.Send(std::string(1, ACK));
    Peer.Read(1);
    Peer.Send(std::string(1, ACK));
  });
  rig.Xm.StartTransfer();
  ASSERT_TRUE(rig.WaitForEnd());
  EXPECT_EQ(rig.Log.ExitCode, 0);
  EXPECT_GE(rig.Log.Errors.size(), 12u);
}

// While the worker waits for OnFileInfo, the queue is filled directly, as the port would.
class QueueBoundTest : public ::testing::Test {
 protected:
  void Run(const std::string& Queued, int BufferSize) {
    rig.Xm.SetBufferSize(BufferSize);
    rig.Xm.SetFileName(rig.TempFile("q.bin", "q"));
    rig.Xm.SetTimeout(5000);
    rig.Xm.OnFileInfo = [&](TObject*, const std::string&, int) {
      rig.Xm.CommData(Queued.data(), static_cast<int>(Queued.size()));
      rig.Xm.CommData(Queued.data(), 0);  // an empty block changes nothing
      if (!extra_.empty()) rig.Xm.CommData(extra_.data(), static_cast<int>(extra_.size()));
    };
    rig.Xm.StartTransfer();
    ASSERT_TRUE(rig.WaitForEnd(60000));
  }
  // A start byte, zeroes that each have the block sent again, the ACKs of block and EOT.
  static std::string Replies(size_t Total) {
    return std::string(1, NAK) + std::string(Total - 3, '\0') + std::string(2, ACK);
  }

  ProtocolRig rig;
  std::string extra_;
};

TEST_F(QueueBoundTest, FourKilobytesFit) {
  Run(Replies(4096), 4096);
  EXPECT_EQ(rig.Log.ExitCode, 0);
}

TEST_F(QueueBoundTest, OneByteMoreOverflowsAndCancelsBeforeQueuedBytes) {
  extra_ = "z";
  Run(Replies(4096), 4096);
  EXPECT_EQ(rig.Log.ExitCode, -14);
  EXPECT_EQ(rig.SentAfterPeer(), std::string(2, CAN));
}

TEST_F(QueueBoundTest, ALargerBufferDoesNotRaiseTheBound) {
  extra_ = "z";
  Run(Replies(4096), 10000);
  EXPECT_EQ(rig.Log.ExitCode, -14);
}

TEST_F(QueueBoundTest, ASmallerBufferSizeBoundsTheQueue) {
  Run(Replies(16), 16);
  EXPECT_EQ(rig.Log.ExitCode, 0);
}

TEST_F(QueueBoundTest, ASmallerBufferSizeOverflowsOneByteLater) {
  extra_ = "z";
  Run(Replies(16), 16);
  EXPECT_EQ(rig.Log.ExitCode, -14);
}

TEST(ProtocolComponent, HandlerExceptionsAreReportedAndTheTransferGoesOn) {
  ProtocolRig rig;
  rig.Xm.SetFileName(rig.TempFile("x.bin", "x"));
  rig.Xm.SetTimeout(5000);
  rig.SendOnFileInfo(std::string(1, NAK));
  rig.Xm.OnPacketEvent = [](TObject*, int, int) { throw Exception("handler failed"); };
  rig.RunPeer([&](LinePeer& Peer) {
    Peer.Read(132);
    Peer.Send(std::string(1, ACK));
    Peer.Read(1);
    Peer.Send(std::string(1, ACK));
  });
  rig.Xm.StartTransfer();
  ASSERT_TRUE(rig.WaitForEnd());
  EXPECT_EQ(rig.Log.ExitCode, 0);
  EXPECT_EQ(rig.Log.Reports, (std::vector<std::string>{"handler failed"}));
}

TEST(ProtocolComponent, AFailedPortWriteIsShownAndEndsAsAFailure) {
  ProtocolRig rig;
  rig.Port.Close();
  rig.Port.Buffers().SetWriteSize(512);  // a 1024-byte block can never fit
  rig.Port.Buffers().SetWriteTimeout(100);
  rig.Port.Open();
  bool reportOnMainThread = false;
  SetExceptionReportHook([&](const std::string& Message) {
    rig.Log.Reports.push_back(Message);
    reportOnMainThread = IsMainThread();
  });
  rig.Xm.SetFileName(rig.TempFile("x.bin", "x"));
  rig.Xm.SetTimeout(5000);
  rig.SendOnFileInfo("C");
  rig.Xm.StartTransfer();
  ASSERT_TRUE(rig.WaitForEnd());
  EXPECT_EQ(rig.Log.ExitCode, -5);
  EXPECT_EQ(rig.Log.Reports,
            (std::vector<std::string>{"Output buffer is full. Please check comm status."}));
  EXPECT_TRUE(reportOnMainThread);
}

TEST(ProtocolComponent, DestroyingItDuringATransferStopsTheWorkerSilently) {
  ProtocolRig rig;
  auto* xm = new TSerXModem(nullptr);
  TransferLog log;
  RecordEvents(*xm, log);
  xm->SetComm(&rig.Port);
  xm->SetMode(tmDownload);
  xm->SetFileName(rig.TempDir() + "/d.bin");
  xm->SetTimeout(20);
  xm->SetMaxErrors(0);
  xm->StartTransfer();
  ASSERT_TRUE(PumpUntil([&] { return !log.Errors.empty(); }, 10000));
  // Without deliveries for a while, the worker's next time-out report is left pending.
  SleepMs(200);
  const size_t errorsBefore = log.Errors.size();
  delete xm;
  EXPECT_EQ(log.Ends, 0);
  EXPECT_EQ(log.Errors.size(), errorsBefore) << "no OnError while being destroyed";
  EXPECT_EQ(rig.SentAfterPeer(), std::string(1, NAK)) << "no cancel, nothing more";
}

TEST(ProtocolComponent, AnOwnerFreesARunningComponent) {
  ProtocolRig rig;
  auto* owner = new TComponent(nullptr);
  auto* xm = new TSerXModem(owner);
  int ends = 0;
  xm->OnTransferEnd = [&](TObject*, int) { ++ends; };
  xm->SetComm(&rig.Port);
  xm->SetFileName(rig.TempFile("x.bin", "x"));
  xm->StartTransfer();
  delete owner;
  EXPECT_EQ(ends, 0);
}

}  // namespace
