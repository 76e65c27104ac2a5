// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/network/TelnetCodec.h"

#include <cstring>

using namespace telnet;

namespace {

void Append(std::string& Out, std::initializer_list<uint8_t> Bytes) {
  for (uint8_t b : Bytes) Out.push_back(static_cast<char>(b));
}

}  // namespace

TelnetCodec::TelnetCodec(Wanted Ours, Wanted Theirs) {
  for (uint8_t o : Ours.Request) options_[o].RequestUs = options_[o].AcceptUs = true;
  for (uint8_t o : Ours.Accept) options_[o].AcceptUs = true;
  for (uint8_t o : Theirs.Request) options_[o].RequestHim = options_[o].AcceptHim = true;
  for (uint8_t o : Theirs.Accept) options_[o].AcceptHim = true;
  sb_.reserve(MaxSubnegotiation);
}

std::string TelnetCodec::Requests() {
  std::string out;
  for (int o = 0; o < 256; ++o) {
    OptionState& s = options_[o];
    const auto option = static_cast<uint8_t>(o);
    if (s.RequestUs && s.Us == No) {
      s.Us = WantYes;
      Append(out, {IAC, WILL, option});
    }
    if (s.RequestHim && s.Him == No) {
      s.Him = WantYes;
      Append(out, {IAC, DO, option});
    }
  }
  return out;
}

void TelnetCodec::Feed(const uint8_t* Bytes, size_t Count, const DataOut& Data,
                       const SubnegotiationOut& Sub, std::string& Reply) {
  const uint8_t* end = Bytes + Count;
  for (const uint8_t* p = Bytes; p < end;) {
    if (state_ == InData) {
      const auto* iac = static_cast<const uint8_t*>(std::memchr(p, IAC, end - p));
      const uint8_t* runEnd = iac ? iac : end;
      if (runEnd > p) Data(p, runEnd - p);
      p = runEnd;
      if (iac) {
        state_ = AfterIac;
        ++p;
      }
      continue;
    }
    const uint8_t b = *p++;
    switch (state_) {
      case AfterIac:
        if (b == IAC) {
          Data(p - 1, 1);
          state_ = InData;
        } else {
          Command(b);
        }
        break;
      case InNegotiation:
        Negotiate(verb_, b, Reply);
        state_ = InData;
        break;
      case SbOption:
        sbOption_ = b;
        sb_.clear();
        sbOverflow_ = false;
        state_ = SbValue;
        break;
      case SbValue:
        if (b == IAC) {
          state_ = SbIac;
        } else if (sb_.size() < MaxSubnegotiation) {
          sb_.push_back(static_cast<char>(b));
        } else {
          sbOverflow_ = true;
        }
        break;
      case SbIac:
        if (b == IAC) {
          if (sb_.size() < MaxSubnegotiation)
            sb_.push_back(static_cast<char>(b));
          else
            sbOverflow_ = true;
          state_ = SbValue;
        } else if (b == SE) {
          if (!sbOverflow_) Sub(sbOption_, reinterpret_cast<const uint8_t*>(sb_.data()), sb_.size());
          state_ = InData;
        } else {
          // A command inside a subnegotiation cuts it short: it is dropped.
          Command(b);
        }
        break;
      case InData:
        break;
    }
  }
}

void TelnetCodec::Command(uint8_t Byte) {
  switch (Byte) {
    case WILL:
    case WONT:
    case DO:
    case DONT:
      verb_ = Byte;
      state_ = InNegotiation;
      break;
    case SB:
      state_ = SbOption;
      break;
    default:  // NOP, data mark, go ahead, break, a stray SE: nothing for a serial port
      state_ = InData;
      break;
  }
}

// The peer asks for (WILL / DO) or stops (WONT / DONT) an option. A request for the state
// an option is already in gets no answer, so that two sides never answer each other for ever.
void TelnetCodec::Negotiate(uint8_t Verb, uint8_t Option, std::string& Reply) {
  OptionState& s = options_[Option];
  switch (Verb) {
    case WILL: Peer(s.Him, s.AcceptHim, s.RefusedHim, DO, DONT, Option, Reply); break;
    case DO: Peer(s.Us, s.AcceptUs, s.RefusedUs, WILL, WONT, Option, Reply); break;
    case WONT: PeerStops(s.Him, DONT, Option, Reply); break;
    case DONT: PeerStops(s.Us, WONT, Option, Reply); break;
    default: break;
  }
}

void TelnetCodec::Peer(Q& Side, bool Accept, bool& Refused, uint8_t Agree, uint8_t Refuse,
                       uint8_t Option, std::string& Reply) {
  switch (Side) {
    case No:
      if (Accept) {
        Side = Yes;
        Append(Reply, {IAC, Agree, Option});
      } else if (!Refused) {
        Refused = true;
        Append(Reply, {IAC, Refuse, Option});
      }
      break;
    case WantYes: Side = Yes; break;  // the answer to our request
    case WantNo: Side = No; break;
    case Yes: break;
  }
}

void TelnetCodec::PeerStops(Q& Side, uint8_t Confirm, uint8_t Option, std::string& Reply) {
  if (Side == Yes) Append(Reply, {IAC, Confirm, Option});
  Side = No;
}

void TelnetCodec::AppendData(std::string& Out, const uint8_t* Bytes, size_t Count) {
  const uint8_t* end = Bytes + Count;
  for (const uint8_t* p = Bytes; p < end;) {
    const auto* iac = static_cast<const uint8_t*>(std::memchr(p, IAC, end - p));
    const uint8_t* runEnd = iac ? iac + 1 : end;
    Out.append(reinterpret_cast<const char*>(p), runEnd - p);
    if (iac) Out.push_back(static_cast<char>(IAC));
    p = runEnd;
  }
}

std::string TelnetCodec::Subnegotiation(uint8_t Option, const std::string& Value) {
  std::string out;
  Append(out, {IAC, SB, Option});
  AppendData(out, reinterpret_cast<const uint8_t*>(Value.data()), Value.size());
  Append(out, {IAC, SE});
  return out;
}
