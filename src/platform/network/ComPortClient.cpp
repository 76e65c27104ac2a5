// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/network/ComPortClient.h"

#include <cctype>
#include <utility>

#include "platform/DcbRules.h"

using namespace comport;

namespace {

std::string Byte(uint8_t Value) { return std::string(1, static_cast<char>(Value)); }

uint8_t FlowOf(const DCB& Dcb) {
  if ((Dcb.Flags & DCB_fOutxCtsFlow) || RtsControlOf(Dcb) == RtsHandshake) return FLOW_HARDWARE;
  if (Dcb.Flags & (DCB_fOutX | DCB_fInX)) return FLOW_XONXOFF;
  return FLOW_NONE;
}

// DCB stop bits (0 one, 1 one and a half, 2 two) as the option numbers them.
uint8_t StopSizeOf(const DCB& Dcb) {
  switch (Dcb.StopBits) {
    case 1: return 3;
    case 2: return 2;
    default: return 1;
  }
}

}  // namespace

ComPortClient::ComPortClient()
    : telnet_({{telnet::BINARY, telnet::SGA, telnet::COM_PORT}, {}},
              {{telnet::BINARY, telnet::SGA}, {telnet::COM_PORT}}) {}

std::string ComPortClient::Start() {
  return telnet_.Requests() + Command(SIGNATURE, "") +
         Command(SET_LINESTATE_MASK, Byte(LINE_OVERRUN | LINE_PARITY | LINE_FRAMING | LINE_BREAK)) +
         Command(SET_MODEMSTATE_MASK, Byte(0xFF));
}

void ComPortClient::Feed(const uint8_t* Bytes, size_t Count, const TelnetCodec::DataOut& Data,
                         std::string& Reply) {
  telnet_.Feed(
      Bytes, Count, Data,
      [&](uint8_t Option, const uint8_t* Value, size_t N) {
        if (Option == telnet::COM_PORT && N > 0) ServerCommand(Value[0], Value + 1, N - 1, Reply);
      },
      Reply);
}

void ComPortClient::ServerCommand(uint8_t Option, const uint8_t* Value, size_t Count,
                                  std::string& Reply) {
  if (Option < ServerBase) return;  // a client's command, not a server's
  heard_ = true;
  switch (Option - ServerBase) {
    case SIGNATURE:
      if (Count == 0) {
        Reply += Command(SIGNATURE, OwnSignature);
        break;
      }
      signature_.clear();
      for (size_t i = 0; i < Count && signature_.size() < MaxSignature; ++i)
        if (std::isprint(Value[i])) signature_.push_back(static_cast<char>(Value[i]));
      break;
    case NOTIFY_MODEMSTATE:
      if (Count >= 1) ModemStateNotified(Value[0]);
      break;
    case NOTIFY_LINESTATE:
      if (Count >= 1) LineStateNotified(Value[0]);
      break;
    case FLOWCONTROL_SUSPEND: suspended_ = true; break;
    case FLOWCONTROL_RESUME: suspended_ = false; break;
    default: break;  // answers to our commands: nothing waits for them
  }
}

void ComPortClient::ModemStateNotified(uint8_t State) {
  const uint8_t changed = (State ^ modem_) & MODEM_LINES;
  if ((changed & MS_CTS_ON) || (State & MODEM_DELTA_CTS)) events_ |= EV_CTS;
  if ((changed & MS_DSR_ON) || (State & MODEM_DELTA_DSR)) events_ |= EV_DSR;
  if ((changed & MS_RLSD_ON) || (State & MODEM_DELTA_DCD)) events_ |= EV_RLSD;
  if (((changed & State) & MS_RING_ON) || (State & MODEM_RING_ENDED)) events_ |= EV_RING;
  modem_ = State & MODEM_LINES;
}

void ComPortClient::LineStateNotified(uint8_t State) {
  uint32_t errors = 0;
  if (State & LINE_OVERRUN) errors |= CE_OVERRUN;
  if (State & LINE_PARITY) errors |= CE_RXPARITY;
  if (State & LINE_FRAMING) errors |= CE_FRAME;
  if (State & LINE_BREAK) errors |= CE_BREAK;
  errors_ |= errors;
  if (errors & ~CE_BREAK) events_ |= EV_ERR;
  if (errors & CE_BREAK) events_ |= EV_BREAK;
}

std::string ComPortClient::Command(uint8_t Command, const std::string& Value) {
  return TelnetCodec::Subnegotiation(telnet::COM_PORT, Byte(Command) + Value);
}

std::string ComPortClient::Control(uint8_t Value) { return Command(SET_CONTROL, Byte(Value)); }

std::string ComPortClient::LineSettings(const DCB& Dcb) {
  const uint32_t rate = Dcb.BaudRate;
  const std::string rateBytes = {static_cast<char>(rate >> 24), static_cast<char>(rate >> 16),
                                 static_cast<char>(rate >> 8), static_cast<char>(rate)};
  std::string out = Command(SET_BAUDRATE, rateBytes) + Command(SET_DATASIZE, Byte(Dcb.ByteSize)) +
                    Command(SET_PARITY, Byte(static_cast<uint8_t>(Dcb.Parity + 1))) +
                    Command(SET_STOPSIZE, Byte(StopSizeOf(Dcb))) + Control(FlowOf(Dcb));
  out += Control(DtrControlOf(Dcb) == DtrEnable ? DTR_ON : DTR_OFF);
  const int rts = RtsControlOf(Dcb);
  if (rts != RtsHandshake) out += Control(rts == RtsEnable ? RTS_ON : RTS_OFF);
  return out;
}

std::string ComPortClient::Purge(bool Transmit, bool Receive) {
  // The server's receive buffer holds what came from the board, its transmit buffer what goes to it.
  const uint8_t which = (Receive ? 1 : 0) | (Transmit ? 2 : 0);
  return which ? Command(PURGE_DATA, Byte(which)) : std::string();
}
