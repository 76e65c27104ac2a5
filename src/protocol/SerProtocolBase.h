// SPDX-License-Identifier: GPL-3.0-or-later
// The protocol component and its worker: one file transfer at a time over an attached
// port, run on a worker thread that reads a bounded receive queue filled by the port as
// bytes arrive and reports errors and the end of the transfer as events on the main thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "framework/Exceptions.h"
#include "framework/Threads.h"
#include "protocol/TransferCodes.h"
#include "protocol/TransferFile.h"
#include "serial/ByteRing.h"
#include "serial/SerClasses.h"
#include "serial/SerComm.h"

class TSerProtocolThread;

using TSerTransferEndEvent = std::function<void(TObject* Sender, int ExitCode)>;
using TSerTransferErrorEvent = std::function<void(TObject* Sender, int ErrorCode, int ErrorCount)>;

// Unwinds a transfer procedure once its exit code is recorded; never reported.
class ETransferFinished : public EAbort {};

class TSerProtocol : public TSerCommComponent {
 public:
  explicit TSerProtocol(TComponent* AOwner);
  // A running transfer is stopped and waited for; its end raises no OnTransferEnd.
  ~TSerProtocol() override;
  std::string ClassName() const override { return "TSerProtocol"; }

  TSerTransferMode Mode() const { return mode_; }
  void SetMode(TSerTransferMode Value) { mode_ = Value; }
  int Timeout() const { return timeout_; }
  void SetTimeout(int Value) { timeout_ = Value; }
  int MaxErrors() const { return maxErrors_; }
  void SetMaxErrors(int Value) { maxErrors_ = Value; }
  int BufferSize() const { return bufferSize_; }
  void SetBufferSize(int Value) { bufferSize_ = Value; }

  // The running worker's last error and error count; 0 when idle.
  int ErrorCode() const;
  int ErrorCount() const;
  bool Busy() const { return worker_ != nullptr; }
  // The exit code of the running or last transfer.
  int ExitCode() const { return exitCode_; }

  virtual void StartTransfer();
  virtual void AbortTransfer();
  // Any thread: received bytes go into the worker's queue, as soon as they arrive.
  void CommData(const void* Data, int Count) override;
  // The port gives the worker no more than its queue takes.
  int CommRoom() override;
  bool TakesDataOnAnyThread() const override { return true; }
  uint32_t CommEventsHeard() const override { return EV_ERR; }
  // An error reported while the line has gone (unplugged, or its port closed by the
  // error's handler) ends the transfer at once.
  void CommEvent(uint32_t Events) override;

  TSerNotifyEvent OnTransferStart;
  TSerTransferEndEvent OnTransferEnd;
  TSerTransferErrorEvent OnError;

 protected:
  // A new, suspended worker of the protocol's own thread class; it frees itself.
  virtual TSerProtocolThread* CreateWorker() = 0;
  virtual void DoTransferStart();
  virtual void DoTransferEnd();
  virtual void PrepareTransfer();
  void CheckIdle() const;
  void DoError();
  void TransferFinished();
  // Stops a running worker and waits for its end, raising nothing. The destructor of
  // every class whose fields or events the worker uses calls it first.
  void StopForDestruction();

  // Calls Handler when it is set; an exception it raises goes to the exception report.
  template <typename Handler, typename... Args>
  void RaiseEvent(const Handler& Event, Args&&... A) {
    if (!Event) return;
    try {
      Event(this, std::forward<Args>(A)...);
    } catch (...) {
      ReportCurrentHandlerException();
    }
  }

 private:
  friend class TSerProtocolThread;

  static void ReportCurrentHandlerException();
  void SetExitCode(int Code) { exitCode_ = Code; }

  // The worker reads these while the main thread may set them.
  std::atomic<TSerTransferMode> mode_{tmUpload};
  std::atomic<int> timeout_{60000};
  std::atomic<int> maxErrors_{10};
  std::atomic<int> bufferSize_{4096};
  std::atomic<int> exitCode_{0};
  // Set and cleared on the main thread under workerLock_, which the port's event thread
  // holds while it hands the worker received bytes.
  TSerProtocolThread* worker_ = nullptr;
  std::mutex workerLock_;
};

class TSerProtocolThread : public TThread {
 public:
  // The receive queue's bound, whatever the allocation.
  static constexpr int MaxQueued = 4096;

  explicit TSerProtocolThread(TSerProtocol* AOwner);
  std::string ClassName() const override { return "TSerProtocolThread"; }

  TSerProtocol* Owner() const { return owner_; }
  int ErrorCode() const { return errorCode_; }
  int ErrorCount() const { return errorCount_; }
  bool Cancelled() const { return cancelled_; }

  // The port's event thread (or the main thread): received bytes into the queue, and
  // the room it has for more.
  void PutData(const void* Data, int Count);
  int Room();
  // Any thread: the component is going away, or the worker's body failed.
  void StopWorker();
  // Any thread: a local abort; the protocol still sends its cancel.
  void CancelWorker();
  // Main thread: the line has gone; the transfer ends as its time-outs would have ended it.
  void LineLost();

 protected:
  void Execute() override;

  // The next received byte, waiting for it; 0 once Cancelled is set.
  virtual int ReadByte();
  // Count received bytes as ReadByte gives them (zeros once Cancelled is set), taking as
  // many at a time as are queued.
  void ReadBytes(uint8_t* Data, int Count);
  virtual void Upload() = 0;
  virtual void Download() = 0;
  virtual void ResetTransfer();
  virtual void SendCancel() {}

  // The oldest queued byte without taking it, or -1; never waits.
  int PeekByte();
  void SendBuffer(const void* Data, int Count);
  void SendByte(uint8_t Value);
  // What the port has not put on the line yet is dropped, so that a cancel goes out now.
  void DiscardOutput();
  // Waits at most WaitMs until no more than AtMost bytes are still to go out.
  bool WaitForOutput(int AtMost, int WaitMs);
  // Whether the worker's reads wait on the line themselves (where the port allows), so that
  // an answer wakes this thread alone: for an exchange in which the far end sends little
  // and then waits. A streaming one leaves the line to the port's event thread, which reads
  // ahead into the device's queue while the worker is busy. Off at first.
  void WatchLine(bool Watch);
  bool LineIsLost() const { return lineLost_; }

  void OpenForRead(const std::string& FileName);
  // Creates the file to receive under FileName, or under the next free numbered name
  // when that one is taken; FileName becomes the name used.
  void OpenForWrite(std::string& FileName);
  void CloseFile() { stream_.Close(); }
  // Closes the file; one created to receive into goes again when the transfer failed, so
  // that no truncated copy is left under the name asked for.
  void FinishFile();
  bool AtEndOfFile() const;
  TTransferFile& Stream() { return stream_; }

  [[noreturn]] void FinishTransfer(int Code);
  void RecordError(int Code, bool CancelRemote);
  void ReportError();
  // Runs Fn on the main thread while the worker waits; nothing once it is stopped.
  void Deliver(const std::function<void()>& Fn);
  // The same for a report that a read of the line follows: the worker waits for Fn's end
  // in that read, together with the byte it reads, so that a byte arriving while Fn runs
  // wakes it once for both. Nothing else may come between this and the read.
  void DeliverBeforeRead(std::function<void()> Fn);

 private:
  bool QueueEmpty();
  int TakeQueued();
  bool ReadyToRead();
  void WaitForData();
  void AwaitDelivery();
  void EndIfLineFailed();
  void EndThroughFailure();

  TSerProtocol* owner_;
  ByteRing queue_;
  const int queueBound_;
  TSerCriticalSection queueLock_;
  TSerWaitEvent dataEvent_;
  TTransferFile stream_;
  std::string created_;  // the file this transfer created to receive into
  std::atomic<int> errorCode_{0};
  std::atomic<int> errorCount_{0};
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> overflow_{false};
  std::atomic<bool> lineLost_{false};
  bool watchLine_ = false;
  std::atomic<std::thread::id> workerId_{};
  // A DeliverBeforeRead call has not returned yet; when the last one returned.
  std::atomic<bool> delivering_{false};
  std::atomic<bool> awaitingDelivery_{false};
  std::atomic<std::chrono::steady_clock::rep> deliveredAt_{0};
};
