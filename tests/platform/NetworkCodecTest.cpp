// SPDX-License-Identifier: GPL-3.0-or-later
// Network port names, and the Telnet / COM port option client without I/O: what it answers,
// what it makes of the server's bytes however they are cut, and what a hostile server
// cannot do to it.
#include <gtest/gtest.h>

#include "platform/network/ComPortClient.h"
#include "platform/network/NetworkAddress.h"

namespace {

std::string Bytes(std::initializer_list<int> Values) {
  std::string s;
  for (int v : Values) s.push_back(char(v));
  return s;
}

// What the client makes of Input fed in one piece.
struct Fed {
  std::string Data, Reply;
};
Fed Feed(ComPortClient& Client, const std::string& Input) {
  Fed out;
  Client.Feed(reinterpret_cast<const uint8_t*>(Input.data()), Input.size(),
              [&](const uint8_t* D, size_t N) { out.Data.append(reinterpret_cast<const char*>(D), N); },
              out.Reply);
  return out;
}

TEST(NetworkPortName, ParsesTheTwoSchemes) {
  struct Case {
    const char* Name;
    bool Valid, Telnet;
    const char* Host;
    const char* Service;
  };
  const Case cases[] = {
      {"rfc2217://lab-pi:2001", true, true, "lab-pi", "2001"},
      {"RFC2217://10.0.0.7:4000?ign_set_control", true, true, "10.0.0.7", "4000"},
      {"socket://[fe80::1]:3001/", true, false, "fe80::1", "3001"},
      {"socket://fe80::1:3001", false, false, "", ""},
      {"rfc2217://host", false, false, "", ""},
      {"rfc2217://:2000", false, false, "", ""},
      {"rfc2217://host:0", false, false, "", ""},
      {"rfc2217://host:65536", false, false, "", ""},
      {"telnet://host:23", false, false, "", ""},
      {"COM33", false, false, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto address = ParseNetworkPortName(c.Name);
    ASSERT_EQ(address.has_value(), c.Valid);
    if (!c.Valid) continue;
    EXPECT_EQ(address->Telnet, c.Telnet);
    EXPECT_EQ(address->Host, c.Host);
    EXPECT_EQ(address->Service, c.Service);
  }
  EXPECT_TRUE(IsNetworkPortName("Socket://x"));
  EXPECT_FALSE(IsNetworkPortName("/dev/pts/3"));
}

// ser2net's greeting crosses ours: its requests are answers, ECHO is refused, and a request
// for a state already in force gets no answer (ser2net asks again for SGA).
TEST(ComPortClient, AnswersSer2netsNegotiationWithoutLooping) {
  ComPortClient client;
  const std::string start = client.Start();
  EXPECT_EQ(start.substr(0, 15), Bytes({255, 251, 0, 255, 253, 0, 255, 251, 3, 255, 253, 3, 255, 251, 44}));
  const Fed greeting = Feed(client, Bytes({255, 251, 3, 255, 253, 3, 255, 251, 1, 255, 254, 1, 255, 253, 0,
                                           255, 251, 0, 255, 253, 44, 255, 253, 3}));
  EXPECT_EQ(greeting.Reply, Bytes({255, 254, 1}));  // DONT ECHO, nothing else
  EXPECT_EQ(greeting.Data, "");
  EXPECT_EQ(Feed(client, Bytes({255, 251, 1})).Reply, "");  // refused once only
  EXPECT_EQ(Feed(client, Bytes({255, 251, 99, 255, 253, 99, 255, 251, 99})).Reply,
            Bytes({255, 254, 99, 255, 252, 99}));
  // A server that offers the option itself (WILL) is taken at its word.
  ComPortClient other;
  other.Start();
  EXPECT_EQ(Feed(other, Bytes({255, 251, 44})).Reply, Bytes({255, 253, 44}));
  // Stopping an option in force is confirmed once.
  EXPECT_EQ(Feed(client, Bytes({255, 252, 0, 255, 252, 0})).Reply, Bytes({255, 254, 0}));
}

// Data, doubled 0xFF and notifications come out the same wherever the stream is cut.
TEST(ComPortClient, DecodesTheSameWhereverTheStreamIsCut) {
  const std::string stream = "a" + Bytes({255, 255}) + "b" + Bytes({255, 241}) + "c" +
                             Bytes({255, 250, 44, 107, 0x31, 255, 240}) + "d" +
                             Bytes({255, 250, 44, 100}) + "ser2net" + Bytes({255, 240}) +
                             Bytes({255, 250, 44, 106, 0x12, 255, 240}) + "e" + Bytes({255, 255});
  for (size_t cut = 0; cut <= stream.size(); ++cut) {
    SCOPED_TRACE(cut);
    ComPortClient client;
    const Fed first = Feed(client, stream.substr(0, cut));
    const Fed second = Feed(client, stream.substr(cut));
    EXPECT_EQ(first.Data + second.Data, "a\xFF" "bcde\xFF");
    EXPECT_EQ(client.ModemStatus(), MS_CTS_ON | MS_DSR_ON);
    EXPECT_EQ(client.TakeEvents(), EV_CTS | EV_ERR | EV_BREAK);
    EXPECT_EQ(client.TakeErrors(), CE_OVERRUN | CE_BREAK);
    EXPECT_EQ(client.Signature(), "ser2net");
    EXPECT_TRUE(client.Heard());
  }
}

TEST(ComPortClient, ModemNotificationsRaiseTheLinesEvents) {
  struct Case {
    uint8_t State;
    uint32_t Status, Events;
  };
  // From CTS and DSR on (a server that has said nothing yet).
  const Case cases[] = {{0x30, MS_CTS_ON | MS_DSR_ON, 0},
                        {0x20, MS_DSR_ON, EV_CTS},
                        {0x20 | 0x02, MS_DSR_ON, EV_DSR},  // a change too short to see
                        {0xE0, MS_DSR_ON | MS_RING_ON | MS_RLSD_ON, EV_RING | EV_RLSD},
                        {0x20 | 0x04, MS_DSR_ON, EV_RING | EV_RLSD}};  // the ring ended
  ComPortClient client;
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.State));
    Feed(client, Bytes({255, 250, 44, 107, c.State, 255, 240}));
    EXPECT_EQ(client.ModemStatus(), c.Status);
    EXPECT_EQ(client.TakeEvents(), c.Events);
  }
}

TEST(ComPortClient, AnswersASignatureRequestAndKeepsTheServersSuspend) {
  ComPortClient client;
  EXPECT_EQ(Feed(client, Bytes({255, 250, 44, 100, 255, 240})).Reply,
            Bytes({255, 250, 44, 0}) + "Tarvik" + Bytes({255, 240}));
  Feed(client, Bytes({255, 250, 44, 108, 255, 240}));
  EXPECT_TRUE(client.Suspended());
  Feed(client, Bytes({255, 250, 44, 109, 255, 240}));
  EXPECT_FALSE(client.Suspended());
}

// A subnegotiation that never ends, a flood of commands and a signature of any length cost
// bounded memory; the stream carries on after them.
TEST(ComPortClient, HostileServerGetsBoundedMemory) {
  ComPortClient client;
  std::string flood = Bytes({255, 250, 44, 107, 0x00}) + std::string(100000, 'x') + Bytes({255, 240}) + "ok";
  for (int i = 0; i < 10000; ++i) flood += Bytes({255, 241, 255, 249});
  flood += Bytes({255, 250, 44, 100}) + std::string(5000, 'S') + "\x01\x02" + Bytes({255, 240});
  flood += Bytes({255, 250, 44, 100}) + std::string(300, 'T') + "\x01" + Bytes({255, 240});
  const Fed fed = Feed(client, flood);
  EXPECT_EQ(fed.Data, "ok");
  EXPECT_EQ(client.ModemStatus(), MS_CTS_ON | MS_DSR_ON);  // the overlong one was dropped
  EXPECT_EQ(client.Signature(), std::string(ComPortClient::MaxSignature, 'T'));
  // A command inside a subnegotiation cuts it short.
  EXPECT_EQ(Feed(client, Bytes({255, 250, 44, 107, 0x00, 255, 251, 0}) + "z").Data, "z");
  EXPECT_EQ(client.ModemStatus(), MS_CTS_ON | MS_DSR_ON);
}

}  // namespace
