// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "framework/Threads.h"

namespace {

class LambdaThread : public TThread {
 public:
  explicit LambdaThread(std::function<void(LambdaThread&)> Body) : body_(std::move(Body)) {}
  using TThread::Synchronize;

 protected:
  void Execute() override { body_(*this); }

 private:
  std::function<void(LambdaThread&)> body_;
};

}  // namespace

TEST(Threads, CreatedSuspendedAndSynchronizeRunsOnTheMainThread) {
  std::atomic<bool> ran{false};
  std::thread::id ranOn;
  LambdaThread t([&](LambdaThread& self) {
    ran = true;
    self.Synchronize([&] { ranOn = std::this_thread::get_id(); });
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(ran) << "a new thread must wait for Start";
  t.Start();
  t.WaitFor();  // runs the queued call meanwhile
  EXPECT_TRUE(ran);
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(Threads, SynchronizeRaisesTheCallsExceptionInTheCaller) {
  std::string caught;
  LambdaThread t([&](LambdaThread& self) {
    try {
      self.Synchronize([] { throw std::runtime_error("from the main thread"); });
    } catch (const std::runtime_error& e) {
      caught = e.what();
    }
  });
  t.Start();
  t.WaitFor();
  EXPECT_EQ(caught, "from the main thread");
}

TEST(Threads, FreeOnTerminateRunsOnTerminateOnTheMainThreadThenFreesItself) {
  std::atomic<int> terminated{0};
  std::thread::id terminateOn;
  auto* t = new LambdaThread([](LambdaThread&) {});
  t->SetFreeOnTerminate(true);
  t->OnTerminate = [&](TObject*) {
    terminateOn = std::this_thread::get_id();
    ++terminated;
  };
  t->Start();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (terminated == 0 && std::chrono::steady_clock::now() < deadline) CheckSynchronize(100);
  EXPECT_EQ(terminated, 1);
  EXPECT_EQ(terminateOn, std::this_thread::get_id());
}

TEST(Threads, CheckSynchronizeWaitsForAQueuedCallAndWakesTheHook) {
  EXPECT_FALSE(CheckSynchronize(20));  // nothing queued: times out
  std::atomic<int> wakeUps{0};
  SetSynchronizeWakeUp([&] { ++wakeUps; });
  std::atomic<bool> done{false};
  LambdaThread t([&](LambdaThread& self) { self.Synchronize([&] { done = true; }); });
  t.Start();
  EXPECT_TRUE(CheckSynchronize(10000));
  t.WaitFor();
  SetSynchronizeWakeUp(nullptr);
  EXPECT_TRUE(done);
  EXPECT_EQ(wakeUps, 1);
}

TEST(Threads, ANeverStartedThreadIsFreedWithoutRunningItsBody) {
  std::atomic<bool> ran{false};
  { LambdaThread t([&](LambdaThread&) { ran = true; }); }
  EXPECT_FALSE(ran);
}

TEST(Threads, WaitForOnTheMainThreadLetsAWaitingDeliveryFinish) {
  // The thread loops on deliveries until told to stop; WaitFor must keep serving them.
  std::atomic<int> delivered{0};
  LambdaThread t([&](LambdaThread& self) {
    while (!self.Terminated()) self.Synchronize([&] { ++delivered; });
  });
  t.Start();
  while (delivered < 3) CheckSynchronize(1000);
  t.Terminate();
  t.WaitFor();
  EXPECT_TRUE(t.Finished());
  EXPECT_GE(delivered, 3);
}
