// SPDX-License-Identifier: GPL-3.0-or-later
// The serial device as the port component needs it from the OS. The records and bit
// values are those of the Win32 serial interface the component is written against.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

class WaitEvent;

// Event bits (EV_).
constexpr uint32_t EV_RXCHAR = 0x0001, EV_RXFLAG = 0x0002, EV_TXEMPTY = 0x0004, EV_CTS = 0x0008,
                   EV_DSR = 0x0010, EV_RLSD = 0x0020, EV_BREAK = 0x0040, EV_ERR = 0x0080,
                   EV_RING = 0x0100, EV_PERR = 0x0200, EV_RX80FULL = 0x0400,
                   EV_EVENT1 = 0x0800, EV_EVENT2 = 0x1000;
// Line error bits (CE_).
constexpr uint32_t CE_RXOVER = 0x0001, CE_OVERRUN = 0x0002, CE_RXPARITY = 0x0004,
                   CE_FRAME = 0x0008, CE_BREAK = 0x0010,
                   CE_IOE = 0x0400;  // the device went away (unplugged adapter, closed far end)
// Purge bits.
constexpr uint32_t PURGE_TXABORT = 1, PURGE_RXABORT = 2, PURGE_TXCLEAR = 4, PURGE_RXCLEAR = 8;
// Escape functions.
constexpr uint32_t SETRTS = 3, CLRRTS = 4, SETDTR = 5, CLRDTR = 6, SETBREAK = 8, CLRBREAK = 9;
// Modem status bits.
constexpr uint32_t MS_CTS_ON = 0x10, MS_DSR_ON = 0x20, MS_RING_ON = 0x40, MS_RLSD_ON = 0x80;
constexpr uint32_t MAXDWORD = 0xFFFFFFFF;

// DCB flag bits.
constexpr uint32_t DCB_fBinary = 0x1, DCB_fParity = 0x2, DCB_fOutxCtsFlow = 0x4,
                   DCB_fOutxDsrFlow = 0x8, DCB_fDtrControlMask = 0x30, DCB_fDtrControlShift = 4,
                   DCB_fDsrSensitivity = 0x40, DCB_fTXContinueOnXoff = 0x80, DCB_fOutX = 0x100,
                   DCB_fInX = 0x200, DCB_fErrorChar = 0x400, DCB_fNull = 0x800,
                   DCB_fRtsControlMask = 0x3000, DCB_fRtsControlShift = 12,
                   DCB_fAbortOnError = 0x4000;

struct DCB {
  uint32_t DCBlength = 0;
  uint32_t BaudRate = 0;
  uint32_t Flags = 0;
  uint16_t wReserved = 0;
  uint16_t XonLim = 0;
  uint16_t XoffLim = 0;
  uint8_t ByteSize = 0;
  uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
  char XonChar = 0;
  char XoffChar = 0;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;
  uint16_t wReserved1 = 0;
};

struct COMSTAT {
  uint32_t Flags = 0;
  uint32_t cbInQue = 0;
  uint32_t cbOutQue = 0;
};

struct COMMTIMEOUTS {
  uint32_t ReadIntervalTimeout = 0;
  uint32_t ReadTotalTimeoutMultiplier = 0;
  uint32_t ReadTotalTimeoutConstant = 0;
  uint32_t WriteTotalTimeoutMultiplier = 0;
  uint32_t WriteTotalTimeoutConstant = 0;
};

// One open serial device. Every operation that can fail returns false (or a failed
// result) and leaves an errno value in LastError(), which, like the Win32 last error, is
// kept per thread. Thread use: the event thread waits, the write thread writes, the main
// thread does the rest; implementations lock inside.
class SerialDevice {
 public:
  virtual ~SerialDevice() = default;

  virtual bool SetCommState(const DCB& Dcb) = 0;
  // The device's own input queue gets InQueue bytes.
  virtual bool SetupComm(uint32_t InQueue, uint32_t OutQueue) = 0;
  virtual bool SetCommTimeouts(const COMMTIMEOUTS& Timeouts) = 0;
  virtual bool SetCommMask(uint32_t Mask) = 0;

  // Blocks until an event of the mask occurs (Events gets its bits) or Stop is set
  // (Events gets 0). Received bytes are reported once per arrival, never again for bytes
  // that nobody has read. A hung-up device blocks on Stop alone. SetCommMask ends a
  // pending wait with Events 0, as on Win32. False on failure.
  virtual bool WaitCommEvent(uint32_t& Events, const WaitEvent& Stop) = 0;

  // Takes up to Count bytes from the input queue without waiting.
  virtual bool ReadFile(void* Data, int Count, int& Read) = 0;

  enum WriteOutcome { wrDone, wrTimedOut, wrCancelled, wrFailed };

  // Hands the device what it takes now, without waiting: Written gets the count, 0 when
  // its output is full (a real line holds only a few kilobytes). False on failure.
  virtual bool WriteSome(const void* Data, int Count, int& Written) = 0;
  // Waits until the device takes bytes again (wrDone), TimeoutMs passes (< 0: no limit),
  // one of Cancel is set (CancelledBy gets its index) or the device fails.
  virtual WriteOutcome WaitWritable(int TimeoutMs, std::initializer_list<const WaitEvent*> Cancel,
                                    int& CancelledBy) = 0;
  // Writes Count bytes through the two above: Written gets the bytes the device took.
  WriteOutcome WriteFile(const void* Data, int Count, int& Written, int TimeoutMs,
                         std::initializer_list<const WaitEvent*> Cancel, int& CancelledBy);

  virtual bool ClearCommError(uint32_t& Errors, COMSTAT& Stat) = 0;
  virtual bool PurgeComm(uint32_t Flags) = 0;
  virtual bool EscapeCommFunction(uint32_t Func) = 0;
  virtual bool GetCommModemStatus(uint32_t& Status) = 0;

  // Bytes written that the device has not sent yet, as far as it can tell.
  virtual int OutputQueued() = 0;
  // Reports EV_RXCHAR again when bytes wait in the input queue: a reader that left some
  // for later asks for them this way.
  virtual void RepeatRxChar() = 0;
  // A descriptor that polls readable when bytes arrive, for a reader that waits for them
  // itself; -1 when there is none.
  virtual int ArrivalFd() const { return -1; }
  // While Watched, arriving bytes do not end the event wait: the reader that watches
  // ArrivalFd takes them. Everything else the bytes bring (errors, a break, the event
  // character) still does.
  virtual void SetArrivalsWatched(bool) {}

  // The device has gone away. From then on every error report carries CE_IOE, the event
  // wait reports EV_ERR once (whatever the mask) and then blocks on its stop event alone,
  // and writes fail.
  virtual bool HungUp() const = 0;

  int LastError() const { return lastError_; }

 protected:
  void SetLastError(int Error) const { lastError_ = Error; }

 private:
  static inline thread_local int lastError_ = 0;
};

// Opens the device at Path for reading and writing, exclusively, only if it exists.
// Path is a port name ("COM33", resolved through the port table), a path as it stands
// (anything with a "/"), a virtual line end ("vline:NAME:A" / "vline:NAME:B"), or a port
// shared on the network ("rfc2217://HOST:PORT", "socket://HOST:PORT").
// On failure returns null with Error set (ENOENT when the device does not exist).
std::unique_ptr<SerialDevice> OpenSerialDevice(const std::string& Path, int& Error);

// How long a line at Rate (10 bits a byte; 0: 9600) takes for Bytes: at least a
// millisecond, at most a second, for waits that follow the line.
int LineTimeMs(int Bytes, uint32_t Rate);

// The system's text for an errno value, without a trailing full stop or line end; a
// negative value is the name resolver's code for why a host was not found.
std::string SystemErrorText(int Error);
