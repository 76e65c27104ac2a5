// SPDX-License-Identifier: GPL-3.0-or-later
// The serial port component: settings, open and close, reads and writes, modem lines,
// port discovery, event delivery on the main thread, and the attachment of components.
#pragma once

#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "framework/Exceptions.h"
#include "framework/Threads.h"
#include "platform/SerialDevice.h"
#include "serial/SerClasses.h"
#include "serial/SerPrst.h"

enum TSerBaudrate {
  brUser, br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200, br38400,
  br56000, br57600, br115200, br128000, br256000
};
enum TSerParity { paNone, paOdd, paEven, paMark, paSpace };
enum TSerDatabits { db4, db5, db6, db7, db8 };
enum TSerStopbits { sb1, sb15, sb2 };

enum TSerCommOption { coErrorChar, coNullStrip, coParityCheck };
using TSerCommOptions = unsigned;  // bit 1 << option
constexpr TSerCommOptions SerOptions(std::initializer_list<TSerCommOption> Members) {
  TSerCommOptions set = 0;
  for (auto m : Members) set |= 1u << m;
  return set;
}

enum TSerCommEvent {
  ceBreak, ceCts, ceDsr, ceError, ceRing, ceRlsd, ceRxChar, ceTxEmpty, ceRxFlag, cePErr,
  ceRx80Full, ceEvent1, ceEvent2
};
using TSerCommEvents = unsigned;  // bit 1 << event
constexpr TSerCommEvents SerEvents(std::initializer_list<TSerCommEvent> Members) {
  TSerCommEvents set = 0;
  for (auto m : Members) set |= 1u << m;
  return set;
}

class ESerCommError : public Exception {
 public:
  using Exception::Exception;
};

class TSerComm;
class TSerCustomComm;
class TSerDispatcher;
class TSerCommEventThread;
class TSerCommWriteThread;

// A display that is told about every event batch a port delivers.
class TSerDisplay : public TSerComponent {
 public:
  using TSerComponent::TSerComponent;
  std::string ClassName() const override { return "TSerDisplay"; }
  virtual void CommNotify(TSerCustomComm* Comm) = 0;
};

// What an attached component is told: event bits (never EV_RXCHAR) and received bytes.
class ISerCommUser {
 public:
  virtual ~ISerCommUser() = default;
  virtual void CommEvent(uint32_t Events) = 0;
  virtual void CommData(const void* Data, int Count) = 0;
  // How many received bytes it can take now; the port leaves the rest in the device until
  // the component asks for them (TSerDispatcher::ResumeReceive).
  virtual int CommRoom() { return INT_MAX; }
  // True when CommData and CommRoom may run on the port's event thread, so that received
  // bytes reach the component without waiting for the main thread: they only queue the
  // bytes for a thread of the component's own, under a lock of its own, and run no
  // handler. Such a component leaves its port before any of its parts go.
  virtual bool TakesDataOnAnyThread() const { return false; }
  // The event bits CommEvent acts on. A transmitter-empty that neither the port's
  // OnTxEmpty nor an active component hears is not delivered at all, so that a worker's
  // writes do not each cost a hop through the main thread.
  virtual uint32_t CommEventsHeard() const { return ~0u; }
};

// An event handler whose presence the port's threads may ask about (Assigned) while the
// main thread assigns it; the handler itself is only touched on the main thread.
template <typename Signature>
class TSerWatchedEvent {
 public:
  TSerWatchedEvent() = default;
  TSerWatchedEvent(const TSerWatchedEvent& Other) : handler_(Other.handler_), assigned_(Other.Assigned()) {}
  TSerWatchedEvent& operator=(const TSerWatchedEvent& Other) { return Set(Other.handler_); }
  template <typename Handler>
    requires(!std::is_same_v<std::remove_cvref_t<Handler>, TSerWatchedEvent>)
  TSerWatchedEvent& operator=(Handler&& H) {
    return Set(std::function<Signature>(std::forward<Handler>(H)));
  }
  explicit operator bool() const { return static_cast<bool>(handler_); }
  template <typename... Args>
  void operator()(Args&&... A) const {
    handler_(std::forward<Args>(A)...);
  }
  // Any thread.
  bool Assigned() const { return assigned_; }

 private:
  TSerWatchedEvent& Set(std::function<Signature> Handler) {
    handler_ = std::move(Handler);
    assigned_ = static_cast<bool>(handler_);
    return *this;
  }

  std::function<Signature> handler_;
  std::atomic<bool> assigned_{false};
};

using TSerNotifyEvent = TSerWatchedEvent<void(TObject* Sender)>;
using TSerCommRxCharEvent = std::function<void(TObject* Sender, int Count)>;
using TSerCommRxBufEvent = TSerWatchedEvent<void(TObject* Sender, const void* Data, int Count)>;
using TSerCommErrorEvent = std::function<void(TObject* Sender, int Errors)>;

class TSerCustomComm : public TSerComponent {
 public:
  explicit TSerCustomComm(TComponent* AOwner);
  ~TSerCustomComm() override;
  std::string ClassName() const override { return "TSerCustomComm"; }

  // Operations.
  void Open();
  void Close();
  bool Active() const { return active_; }
  int WriteBuf(const void* Data, int Count);
  bool WriteChar(char Ch);
  int ReadBuf(void* Data, int Count);
  std::string ReadText();
  int InQueCount();
  void ReadStatus(uint32_t& Errors, COMSTAT& Stat);
  bool CheckErrors();
  void Purge(uint32_t Flags);
  void PurgeAll();
  void SetDTR(bool State);
  void SetRTS(bool State);
  bool GetModemState(int Line);
  void GetPortNames(std::vector<std::string>& List);
  std::string GetDeviceFileName() const;

  // Bytes still to go out, in the write queue and in the device (as far as the device can
  // tell: a pseudo-terminal shows none); 0 while closed.
  int OutputToGo();
  // Not on the main thread: waits at most WaitMs until no more than AtMost bytes are still
  // to go out. True when that holds (also when the port is closed).
  bool WaitForOutQue(int AtMost, int WaitMs);
  // The rate last written into the device, in bits a second.
  uint32_t LineRate() const { return lineRate_; }
  // The device has gone away (an unplugged adapter); false while closed.
  bool HungUp();
  // Any thread: received bytes that an attached component had no room for are delivered
  // again.
  void ResumeReceive();
  // On the thread of a component that takes received bytes on any thread, while it waits
  // for them: what has arrived is handed over at once, as the event thread would, and the
  // descriptor returned polls readable when more arrives. From then on the event thread
  // leaves arrivals to that thread (an answer then wakes one thread, not two), until
  // UnwatchArrivals, a detach or a close. -1 when the bytes go the main thread's way; the
  // event thread then takes them again.
  int WatchArrivals();
  void UnwatchArrivals();

  // Properties.
  bool AutoOpen() const { return autoOpen_; }
  void SetAutoOpen(bool Value) { autoOpen_ = Value; }
  TSerBaudrate Baudrate() const { return baudrate_; }
  void SetBaudrate(TSerBaudrate Value);
  TSerParity Parity() const { return parity_; }
  void SetParity(TSerParity Value);
  TSerDatabits Databits() const { return databits_; }
  void SetDatabits(TSerDatabits Value);
  TSerStopbits Stopbits() const { return stopbits_; }
  void SetStopbits(TSerStopbits Value);
  TSerEventChars& EventChars() { return eventChars_; }
  void SetEventChars(const TSerEventChars& Value) { eventChars_.Assign(&Value); }
  TSerFlowControl& FlowControl() { return flowControl_; }
  void SetFlowControl(const TSerFlowControl& Value) { flowControl_.Assign(&Value); }
  TSerCommOptions Options() const { return options_; }
  void SetOptions(TSerCommOptions Value);
  TSerPortInt PortNum() const { return portNum_; }
  void SetPortNum(TSerPortInt Value);
  const std::string& DeviceName() const { return deviceName_; }
  void SetDeviceName(const std::string& Value);
  TSerCommEvents MonitorEvents() const { return monitorEvents_; }
  void SetMonitorEvents(TSerCommEvents Value);
  TSerBuffers& Buffers() { return buffers_; }
  void SetBuffers(const TSerBuffers& Value);
  TThreadPriority EventPriority() const { return eventPriority_; }
  void SetEventPriority(TThreadPriority Value);
  TThreadPriority WritePriority() const { return writePriority_; }
  void SetWritePriority(TThreadPriority Value);
  bool DirectWrite() const { return directWrite_; }
  void SetDirectWrite(bool Value);
  bool UpdateDCB() const { return updateDcb_; }
  void SetUpdateDCB(bool Value);
  int UserBaudrate() const { return userBaudrate_; }
  void SetUserBaudrate(int Value);
  TSerDisplay* Display() const { return display_; }
  void SetDisplay(TSerDisplay* Value);
  std::string Version() const { return "1.3.5.0"; }
  void SetVersion(const std::string&) {}

  // The EV_ bits the event thread waits for, computed at open.
  uint32_t EventMask() const { return eventMask_; }

  // Attachment of components (their dispatchers).
  void AttachDispatcher(TSerDispatcher* Dispatcher);
  void DetachDispatcher(TSerDispatcher* Dispatcher);

  void Loaded() override;

  // Events.
  TSerNotifyEvent OnOpen, OnClose, OnCts, OnDsr, OnRlsd, OnRing, OnBreak;
  TSerCommErrorEvent OnError;
  TSerCommRxCharEvent OnRxChar;
  TSerCommRxBufEvent OnRxBuf;
  TSerNotifyEvent OnRxFlag, OnTxEmpty, OnPErr, OnRx80Full, OnEvent1, OnEvent2;

 protected:
  virtual void OpenDevice();
  virtual void StartThreads();
  // Deliveries, on the main thread.
  virtual void HandleRxChar();
  virtual void HandleEvents(uint32_t Events);
  virtual void NotifyComponents(uint32_t Events);
  virtual void DoRxBuf(const void* Data, int Count);

  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  friend class TSerCommEventThread;
  friend class TSerCommWriteThread;

  enum EnqueueResult { enqAccepted, enqFull, enqClosed };

  void CloseDevice();
  void ApplyDCB();
  void ApplyBuffers();
  void ApplyTimeouts();
  void ApplyEventMask();
  void StopThreads();
  void EndThread(TThread* Thread);
  void DoOpen();
  void DoClose();
  void CheckClosed() const;
  [[noreturn]] void RaiseCommError(const char* Fmt) const;
  void CheckResult(bool Ok, const char* Fmt) const;
  void EscapeFunction(uint32_t Func);
  void NotifyDisplay();
  void BuffersChanged();
  int ReceiveRoom() const;
  void Fire(const TSerNotifyEvent& Event) { if (Event) Event(this); }
  // Any thread: OnTxEmpty is assigned, or an active component hears EV_TXEMPTY.
  bool TxEmptyHeard();

  // On the event thread: received bytes go straight to the attached components when they
  // all take them on any thread and nobody else hears of them (no OnRxBuf, no display).
  // True when that road was taken.
  bool DeliverRxDirectly();
  // Runs on the main thread for the event thread: the guarded processing step.
  void ProcessEvents(TThread* From, uint32_t Events);
  // Runs on the main thread for the write thread, guarded the same way.
  void DeliverWriteEvents(TThread* From, uint32_t Events);

  // Queued writes.
  EnqueueResult Enqueue(const void* Data, int Count);
  int DirectWriteBuf(const void* Data, int Count);
  void Flush();
  void EmptyWriteQueue();  // under WriteLock
  int OutputToGoLocked();  // under WriteLock
  // Called under WriteLock whenever the queue shrinks: wakes a caller waiting for room,
  // on a worker thread or on the main thread.
  void SignalRoom();

  // Published state.
  bool autoOpen_ = false;
  TSerBaudrate baudrate_ = br1200;
  TSerParity parity_ = paNone;
  TSerDatabits databits_ = db8;
  TSerStopbits stopbits_ = sb1;
  TSerEventChars eventChars_;
  TSerFlowControl flowControl_;
  TSerCommOptions options_ = 0;
  TSerPortInt portNum_ = 0;
  std::string deviceName_ = "COM%d";
  TSerCommEvents monitorEvents_ = SerEvents({ceError, ceRxChar, ceTxEmpty});
  TSerBuffers buffers_;
  TThreadPriority eventPriority_ = tpNormal;
  TThreadPriority writePriority_ = tpHighest;
  bool directWrite_ = false;
  bool updateDcb_ = true;
  int userBaudrate_ = 0;
  std::atomic<TSerDisplay*> display_{nullptr};

  // Private state.
  std::unique_ptr<SerialDevice> device_;
  std::atomic<bool> active_{false};
  TSerCriticalSection writeLock_;
  TSerCriticalSection commLock_;
  TSerWaitEvent closing_;  // set while closing: ends a pending direct write
  TSerCommEventThread* eventThread_ = nullptr;
  TSerCommWriteThread* writeThread_ = nullptr;  // under writeLock_
  uint32_t eventMask_ = 0;
  // Changed on the main thread under attachLock_, which the event thread holds while it
  // hands received bytes to components directly.
  std::vector<TSerDispatcher*> dispatchers_;
  std::mutex attachLock_;
  bool dispatch_ = true;
  bool syncEvents_ = true;
  // A close is waiting for the threads: a delivery it runs meanwhile may close too.
  bool closeUnderWay_ = false;
  // The threads whose deliveries are running now on the main thread, innermost last.
  std::vector<TThread*> delivering_;
  // Received bytes were left in the device for a component that had no room.
  std::atomic<bool> rxHeldBack_{false};
  // A component's thread takes arriving bytes itself (under CommLock).
  bool arrivalsWatched_ = false;
  // The rate last written into the device, for waits that follow the line.
  std::atomic<uint32_t> lineRate_{9600};

  // Room in the write queue: the generation grows (under WriteLock and roomMutex_) each
  // time the queue shrinks.
  std::mutex roomMutex_;
  std::condition_variable roomSignal_;
  uint64_t roomGeneration_ = 0;
};

class TSerComm : public TSerCustomComm {
 public:
  explicit TSerComm(TComponent* AOwner) : TSerCustomComm(AOwner) {}
  std::string ClassName() const override { return "TSerComm"; }
};

// A component's link to the port it is attached to.
class TSerDispatcher {
 public:
  explicit TSerDispatcher(ISerCommUser* User) : user_(User) {}
  ~TSerDispatcher();
  TSerDispatcher(const TSerDispatcher&) = delete;
  TSerDispatcher& operator=(const TSerDispatcher&) = delete;

  bool Active() const { return active_; }
  void SetActive(bool Value) { active_ = Value; }
  TSerComm* Comm() const;
  ISerCommUser* User() const { return user_; }
  // WriteBuf on the attached port; 0 when none is attached.
  int Write(const void* Data, int Count);
  void PurgeAll();
  // The attached port's output not yet on the line is dropped.
  void PurgeOutput();
  // The attached port's WaitForOutQue, ResumeReceive, WatchArrivals and UnwatchArrivals;
  // nothing waits, is resumed or watched when none is attached.
  bool WaitForOutQue(int AtMost, int WaitMs);
  void ResumeReceive();
  int WatchArrivals();
  void UnwatchArrivals();
  // The attached port is closed or its device has gone away.
  bool LineGone();

 private:
  friend class TSerCustomComm;
  friend class TSerCommComponent;

  std::atomic<bool> active_{true};
  std::atomic<TSerCustomComm*> comm_{nullptr};
  ISerCommUser* user_;
};

// Base of components that attach to a port and receive its bytes and event bits.
class TSerCommComponent : public TSerComponent, public ISerCommUser {
 public:
  explicit TSerCommComponent(TComponent* AOwner);
  std::string ClassName() const override { return "TSerCommComponent"; }

  TSerComm* Comm() const { return comm_; }
  virtual void SetComm(TSerComm* Value);
  void SetEventsActive(bool Value) { dispatcher_.SetActive(Value); }
  TSerDispatcher& Dispatcher() { return dispatcher_; }

  void CommData(const void*, int) override {}
  void CommEvent(uint32_t) override {}

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  TSerComm* comm_ = nullptr;
  TSerDispatcher dispatcher_{this};
};
