// SPDX-License-Identifier: GPL-3.0-or-later
// The client side of the Telnet COM port option (RFC 2217), without I/O: the commands
// that carry line settings, line changes and purges to the server, and what the server's
// notifications mean for the modem lines and line errors. Nothing here waits for an
// answer: servers leave some commands unanswered.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "platform/SerialDevice.h"
#include "platform/network/TelnetCodec.h"

namespace comport {
// Client to server; the server answers and notifies with the same number + 100.
constexpr uint8_t SIGNATURE = 0, SET_BAUDRATE = 1, SET_DATASIZE = 2, SET_PARITY = 3,
                  SET_STOPSIZE = 4, SET_CONTROL = 5, NOTIFY_LINESTATE = 6,
                  NOTIFY_MODEMSTATE = 7, FLOWCONTROL_SUSPEND = 8, FLOWCONTROL_RESUME = 9,
                  SET_LINESTATE_MASK = 10, SET_MODEMSTATE_MASK = 11, PURGE_DATA = 12;
constexpr uint8_t ServerBase = 100;
// SET-CONTROL values.
constexpr uint8_t FLOW_NONE = 1, FLOW_XONXOFF = 2, FLOW_HARDWARE = 3, BREAK_ON = 5,
                  BREAK_OFF = 6, DTR_ON = 8, DTR_OFF = 9, RTS_ON = 11, RTS_OFF = 12;
// Line state bits the client asks to be told of: overrun, parity, framing, break.
constexpr uint8_t LINE_OVERRUN = 0x02, LINE_PARITY = 0x04, LINE_FRAMING = 0x08, LINE_BREAK = 0x10;
// Modem state: the lines in the high nibble (the same bits as MS_CTS_ON and its
// neighbours), their changes in the low one.
constexpr uint8_t MODEM_DELTA_CTS = 0x01, MODEM_DELTA_DSR = 0x02, MODEM_RING_ENDED = 0x04,
                  MODEM_DELTA_DCD = 0x08, MODEM_LINES = 0xF0;
}  // namespace comport

class ComPortClient {
 public:
  static constexpr size_t MaxSignature = 256;
  // What this client calls itself when a server asks.
  static constexpr const char* OwnSignature = "Tarvik";

  ComPortClient();

  // Sent when the connection starts: the Telnet requests (binary both ways, no go-aheads,
  // the COM port option), a request for the server's signature, and the notification masks.
  std::string Start();
  // Decodes received bytes: the board's bytes go to Data; answers for the server are
  // appended to Reply.
  void Feed(const uint8_t* Bytes, size_t Count, const TelnetCodec::DataOut& Data, std::string& Reply);

  // Rate, data size, parity, stop size, flow control, DTR and RTS, as Dcb has them.
  static std::string LineSettings(const DCB& Dcb);
  static std::string Control(uint8_t Value);
  static std::string Purge(bool Transmit, bool Receive);
  static std::string Command(uint8_t Command, const std::string& Value);

  // The server has spoken the COM port option (any notification or answer).
  bool Heard() const { return heard_; }
  // MS_ bits of the lines the server last reported; a server that never reports them
  // reads like a line without modem control (CTS and DSR on).
  uint32_t ModemStatus() const { return modem_ & comport::MODEM_LINES; }
  // EV_ bits (EV_CTS, EV_DSR, EV_RLSD, EV_RING, EV_ERR, EV_BREAK) and CE_ bits (CE_OVERRUN,
  // CE_RXPARITY, CE_FRAME, CE_BREAK) the server's notifications raised since last taken.
  uint32_t TakeEvents() { return std::exchange(events_, 0); }
  uint32_t TakeErrors() { return std::exchange(errors_, 0); }
  // The server may ask the client to hold its data (FLOWCONTROL-SUSPEND) until it resumes.
  bool Suspended() const { return suspended_; }
  // What the server says of itself (printable characters, at most MaxSignature); empty
  // until it says something.
  const std::string& Signature() const { return signature_; }

 private:
  void ServerCommand(uint8_t Option, const uint8_t* Value, size_t Count, std::string& Reply);
  void ModemStateNotified(uint8_t State);
  void LineStateNotified(uint8_t State);

  TelnetCodec telnet_;
  bool heard_ = false;
  uint8_t modem_ = MS_CTS_ON | MS_DSR_ON;
  uint32_t events_ = 0;
  uint32_t errors_ = 0;
  bool suspended_ = false;
  std::string signature_;
};
