// SPDX-License-Identifier: GPL-3.0-or-later
// Telnet (RFC 854, with the option negotiation of RFC 855) as the client side of a serial
// port connection: received bytes in, the board's data and the peer's subnegotiations out,
// answers to the peer's requests appended to a reply. No I/O, and bounded memory whatever
// the peer sends: one subnegotiation of at most MaxSubnegotiation bytes (the rest of a
// longer one is dropped) and a fixed state for each of the 256 options.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

namespace telnet {
constexpr uint8_t IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240;
constexpr uint8_t BINARY = 0, ECHO = 1, SGA = 3, COM_PORT = 44;
}  // namespace telnet

class TelnetCodec {
 public:
  static constexpr size_t MaxSubnegotiation = 1024;

  using DataOut = std::function<void(const uint8_t* Bytes, size_t Count)>;
  using SubnegotiationOut = std::function<void(uint8_t Option, const uint8_t* Value, size_t Count)>;

  struct Wanted {
    std::initializer_list<uint8_t> Request;  // asked for when the connection starts
    std::initializer_list<uint8_t> Accept;   // agreed to when the peer asks
  };
  // Ours: options this side enables (WILL); Theirs: options the peer may enable (DO).
  TelnetCodec(Wanted Ours, Wanted Theirs);

  // Our requests, to be sent when the connection starts.
  std::string Requests();
  void Feed(const uint8_t* Bytes, size_t Count, const DataOut& Data, const SubnegotiationOut& Sub,
            std::string& Reply);

  bool OursEnabled(uint8_t Option) const { return options_[Option].Us == Yes; }
  bool TheirsEnabled(uint8_t Option) const { return options_[Option].Him == Yes; }

  // Data as it goes on the connection: every 0xFF doubled.
  static void AppendData(std::string& Out, const uint8_t* Bytes, size_t Count);
  // IAC SB Option Value IAC SE, with the value's 0xFF doubled.
  static std::string Subnegotiation(uint8_t Option, const std::string& Value);

 private:
  enum Q : uint8_t { No, Yes, WantNo, WantYes };
  struct OptionState {
    Q Us = No, Him = No;
    bool RequestUs = false, RequestHim = false, AcceptUs = false, AcceptHim = false;
    // A refusal is sent once: a peer that asks again and again gets no more answers.
    bool RefusedUs = false, RefusedHim = false;
  };
  enum State : uint8_t { InData, AfterIac, InNegotiation, SbOption, SbValue, SbIac };

  void Command(uint8_t Byte);
  void Negotiate(uint8_t Verb, uint8_t Option, std::string& Reply);
  void Peer(Q& Side, bool Accept, bool& Refused, uint8_t Agree, uint8_t Refuse, uint8_t Option,
            std::string& Reply);
  void PeerStops(Q& Side, uint8_t Confirm, uint8_t Option, std::string& Reply);

  std::array<OptionState, 256> options_{};
  State state_ = InData;
  uint8_t verb_ = 0;
  uint8_t sbOption_ = 0;
  bool sbOverflow_ = false;
  std::string sb_;
};
