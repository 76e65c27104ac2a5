// SPDX-License-Identifier: GPL-3.0-or-later
// The port's settings sub-objects: flow control, event characters, buffers.
#pragma once

#include <atomic>
#include <cstdint>

#include "serial/SerClasses.h"

enum TSerControlDtr { dtrDisabled, dtrEnabled, dtrHandshake };
enum TSerControlRts { rtsDisabled, rtsEnabled, rtsHandshake, rtsToggle };

// Setters store a value only when it differs and then notify.
class TSerFlowControl : public TSerPersistent {
 public:
  std::string ClassName() const override { return "TSerFlowControl"; }
  void Assign(const TPersistent* Source) override;

  bool OutCtsFlow() const { return outCtsFlow_; }
  void SetOutCtsFlow(bool Value) { Store(outCtsFlow_, Value); }
  bool OutDsrFlow() const { return outDsrFlow_; }
  void SetOutDsrFlow(bool Value) { Store(outDsrFlow_, Value); }
  TSerControlDtr ControlDtr() const { return controlDtr_; }
  void SetControlDtr(TSerControlDtr Value) { Store(controlDtr_, Value); }
  TSerControlRts ControlRts() const { return controlRts_; }
  void SetControlRts(TSerControlRts Value) { Store(controlRts_, Value); }
  bool XonXoffOut() const { return xonXoffOut_; }
  void SetXonXoffOut(bool Value) { Store(xonXoffOut_, Value); }
  bool XonXoffIn() const { return xonXoffIn_; }
  void SetXonXoffIn(bool Value) { Store(xonXoffIn_, Value); }
  bool DsrSensitivity() const { return dsrSensitivity_; }
  void SetDsrSensitivity(bool Value) { Store(dsrSensitivity_, Value); }
  bool TxContinueOnXoff() const { return txContinueOnXoff_; }
  void SetTxContinueOnXoff(bool Value) { Store(txContinueOnXoff_, Value); }

 private:
  template <typename T>
  void Store(T& Field, T Value) {
    if (Field == Value) return;
    Field = Value;
    Changed();
  }

  bool outCtsFlow_ = false;
  bool outDsrFlow_ = false;
  TSerControlDtr controlDtr_ = dtrDisabled;
  TSerControlRts controlRts_ = rtsDisabled;
  bool xonXoffOut_ = false;
  bool xonXoffIn_ = false;
  bool dsrSensitivity_ = false;
  bool txContinueOnXoff_ = false;
};

// Setters store and notify on every write, changed or not.
class TSerEventChars : public TSerPersistent {
 public:
  std::string ClassName() const override { return "TSerEventChars"; }
  void Assign(const TPersistent* Source) override;

  char XonChar() const { return xonChar_; }
  void SetXonChar(char Value) { Store(xonChar_, Value); }
  char XoffChar() const { return xoffChar_; }
  void SetXoffChar(char Value) { Store(xoffChar_, Value); }
  char ErrorChar() const { return errorChar_; }
  void SetErrorChar(char Value) { Store(errorChar_, Value); }
  char EventChar() const { return eventChar_; }
  void SetEventChar(char Value) { Store(eventChar_, Value); }
  char EofChar() const { return eofChar_; }
  void SetEofChar(char Value) { Store(eofChar_, Value); }

 private:
  void Store(char& Field, char Value) {
    Field = Value;
    Changed();
  }

  char xonChar_ = 17;   // DC1
  char xoffChar_ = 19;  // DC3
  char errorChar_ = 0;
  char eventChar_ = 0;
  char eofChar_ = 0;
};

// Sizes and limits notify when changed; the two time-outs are plain values that take
// effect at the next read or write (they are read on worker threads too).
class TSerBuffers : public TSerPersistent {
 public:
  std::string ClassName() const override { return "TSerBuffers"; }
  void Assign(const TPersistent* Source) override;

  TSerIntW ReadSize() const { return readSize_; }
  void SetReadSize(TSerIntW Value) { Store(readSize_, Value); }
  TSerIntW WriteSize() const { return writeSize_; }
  void SetWriteSize(TSerIntW Value) { Store(writeSize_, Value); }
  TSerIntW ReadTimeout() const { return readTimeout_; }
  void SetReadTimeout(TSerIntW Value) { readTimeout_ = Value; }
  TSerIntW WriteTimeout() const { return writeTimeout_; }
  void SetWriteTimeout(TSerIntW Value) { writeTimeout_ = Value; }
  TSerIntW XonLimit() const { return xonLimit_; }
  void SetXonLimit(TSerIntW Value) { Store(xonLimit_, Value); }
  TSerIntW XoffLimit() const { return xoffLimit_; }
  void SetXoffLimit(TSerIntW Value) { Store(xoffLimit_, Value); }

 private:
  void Store(TSerIntW& Field, TSerIntW Value) {
    if (Field == Value) return;
    Field = Value;
    Changed();
  }

  TSerIntW readSize_ = 4096;
  TSerIntW writeSize_ = 2048;
  std::atomic<TSerIntW> readTimeout_{1000};
  std::atomic<TSerIntW> writeTimeout_{1000};
  TSerIntW xonLimit_ = 1024;
  TSerIntW xoffLimit_ = 1024;
};
