// SPDX-License-Identifier: GPL-3.0-or-later
// The port's settings: defaults, the device control block each setter writes, refusals
// while open, open failures and port discovery.
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/PortNames.h"
#include "serial/SerTestSupport.h"

namespace {

constexpr const char* kOpenRefusal = "Can't perform this operation while port is open";
constexpr const char* kDcbRefusal = "Error writing dcb (22), Invalid argument";

}  // namespace

TEST(SerCommDefaults, AreThoseOfTheComponent) {
  TSerComm port(nullptr);
  EXPECT_EQ(port.Baudrate(), br1200);
  EXPECT_EQ(port.Databits(), db8);
  EXPECT_EQ(port.DeviceName(), "COM%d");
  EXPECT_EQ(port.MonitorEvents(), SerEvents({ceError, ceRxChar, ceTxEmpty}));
  EXPECT_EQ(port.WritePriority(), tpHighest);
  EXPECT_TRUE(port.UpdateDCB());
  EXPECT_FALSE(port.DirectWrite() || port.AutoOpen() || port.Active());
  port.SetVersion("9.9");
  EXPECT_EQ(port.Version(), "1.3.5.0");

  port.SetPortNum(3);
  EXPECT_EQ(port.GetDeviceFileName(), "COM3");
  port.SetDeviceName("/dev/ttyUSB0");
  EXPECT_EQ(port.GetDeviceFileName(), "/dev/ttyUSB0") << "no placeholder: PortNum ignored";
  port.SetDeviceName("100%%/%d");
  EXPECT_EQ(port.GetDeviceFileName(), "100%/3");
}

TEST(SerCommOpenErrors, NameThePathAndLeaveThePortClosed) {
  TSerComm port(nullptr);
  bool opened = false;
  port.OnOpen = [&](TObject*) { opened = true; };
  EXPECT_EQ(ErrorOf([&] { port.Open(); }), "Specified device not found (COM0).");
  port.SetDeviceName("/nonexistent/tty%d");
  EXPECT_EQ(ErrorOf([&] { port.Open(); }), "Specified device not found (/nonexistent/tty0).");
  port.SetDeviceName("/dev/null");  // exists, but is no serial device
  EXPECT_EQ(ErrorOf([&] { port.Open(); }),
            "Can't open specified device /dev/null (Error 25, Inappropriate ioctl for device)");
  EXPECT_FALSE(port.Active() || opened);
}

class SerCommDcbTest : public VirtualLineTest {
 protected:
  int Writes() { return line->DcbWrites(VirtualLine::A); }
  // The block Change writes; exactly one must be written.
  DCB After(const std::function<void()>& Change) {
    const int before = Writes();
    Change();
    EXPECT_EQ(Writes(), before + 1);
    return line->LastDcb(VirtualLine::A);
  }
};

TEST_F(SerCommDcbTest, OpenWritesTheBlockFromTheSettingsMadeWhileClosed) {
  port->FlowControl().SetControlRts(rtsEnabled);
  port->Buffers().SetXonLimit(0x12345);
  port->Buffers().SetXoffLimit(77);
  DCB d = After([&] { port->Open(); });
  EXPECT_EQ(d.DCBlength, 0u);
  EXPECT_EQ(d.BaudRate, 1200u);
  EXPECT_EQ(d.Flags, DCB_fBinary | (1u << DCB_fRtsControlShift));
  EXPECT_EQ(d.XonLim, 0x2345) << "low 16 bits";
  EXPECT_EQ(d.XoffLim, 77);
  EXPECT_EQ(d.ByteSize, 8);
  EXPECT_EQ(d.Parity | d.StopBits | d.ErrorChar | d.EofChar | d.EvtChar, 0);
  EXPECT_EQ(d.XonChar, 17);
  EXPECT_EQ(d.XoffChar, 19);
}

TEST_F(SerCommDcbTest, EachLiveChangeWritesOneWholeBlock) {
  port->Open();
  EXPECT_EQ(After([&] { port->SetBaudrate(br9600); }).BaudRate, 9600u);
  EXPECT_EQ(After([&] { port->SetUserBaudrate(232558); }).BaudRate, 232558u);
  EXPECT_EQ(port->Baudrate(), brUser);
  EXPECT_EQ(After([&] { port->SetBaudrate(br256000); }).BaudRate, 256000u);
  EXPECT_EQ(port->UserBaudrate(), 0);
  EXPECT_EQ(After([&] { port->SetBaudrate(br110); }).BaudRate, 110u);
  EXPECT_EQ(After([&] { port->SetDatabits(db5); }).ByteSize, 5);
  EXPECT_EQ(After([&] { port->SetParity(paSpace); }).Parity, 4);
  DCB d = After([&] { port->SetStopbits(sb2); });
  EXPECT_EQ(d.StopBits, 2);
  EXPECT_EQ(d.ByteSize, 5) << "every field comes from the properties";
  EXPECT_EQ(d.BaudRate, 110u);

  EXPECT_EQ(After([&] { port->FlowControl().SetOutCtsFlow(true); }).Flags,
            DCB_fBinary | DCB_fOutxCtsFlow);
  EXPECT_EQ(After([&] { port->FlowControl().SetControlRts(rtsHandshake); }).Flags,
            DCB_fBinary | DCB_fOutxCtsFlow | (2u << DCB_fRtsControlShift));
  TSerFlowControl flow;
  flow.SetControlDtr(dtrEnabled);
  flow.SetXonXoffOut(true);
  flow.SetXonXoffIn(true);
  EXPECT_EQ(After([&] { port->SetFlowControl(flow); }).Flags,
            DCB_fBinary | (1u << DCB_fDtrControlShift) | DCB_fOutX | DCB_fInX);
  const uint32_t flowFlags = DCB_fBinary | (1u << DCB_fDtrControlShift) | DCB_fOutX | DCB_fInX;
  EXPECT_EQ(After([&] { port->SetOptions(SerOptions({coParityCheck, coErrorChar})); }).Flags,
            flowFlags | DCB_fParity | DCB_fErrorChar);
  EXPECT_EQ(After([&] { port->SetOptions(SerOptions({coNullStrip})); }).Flags,
            flowFlags | DCB_fNull);
  EXPECT_EQ(After([&] { port->EventChars().SetEventChar('\n'); }).EvtChar, '\n');
  EXPECT_EQ(After([&] { port->EventChars().SetEventChar('\n'); }).EvtChar, '\n');
  EXPECT_EQ(After([&] { port->EventChars().SetErrorChar('~'); }).ErrorChar, '~');
  EXPECT_EQ(After([&] { port->EventChars().SetEofChar(26); }).EofChar, 26);

  const int before = Writes();
  port->SetStopbits(sb2);
  port->SetBaudrate(br110);
  port->FlowControl().SetXonXoffIn(true);
  port->SetOptions(SerOptions({coNullStrip}));
  EXPECT_EQ(Writes(), before) << "unchanged values write nothing";
}

TEST_F(SerCommDcbTest, WithoutUpdateDcbNoBlockIsEverWritten) {
  port->SetUpdateDCB(false);
  port->Open();
  port->SetBaudrate(br9600);
  port->FlowControl().SetOutCtsFlow(true);
  port->EventChars().SetEventChar('x');
  EXPECT_EQ(Writes(), 0);
}

TEST_F(SerCommDcbTest, RefusedBlocksRaiseTheSystemsText) {
  port->SetStopbits(sb15);  // Linux has no one and a half stop bits
  EXPECT_EQ(ErrorOf([&] { port->Open(); }), kDcbRefusal);
  EXPECT_FALSE(port->Active());
  port->SetStopbits(sb1);
  port->FlowControl().SetControlDtr(dtrHandshake);
  EXPECT_EQ(ErrorOf([&] { port->Open(); }), kDcbRefusal);
  port->FlowControl().SetControlDtr(dtrEnabled);
  port->Open();  // the device was closed after each failed open

  // A refused live change keeps the value stored and the port open.
  line->RefuseDcb(VirtualLine::A, EINVAL);
  EXPECT_EQ(ErrorOf([&] { port->SetUserBaudrate(123456); }), kDcbRefusal);
  EXPECT_EQ(port->UserBaudrate(), 123456);
  EXPECT_TRUE(port->Active());
  line->RefuseDcb(VirtualLine::A, 0);
  EXPECT_EQ(After([&] { port->SetDatabits(db6); }).BaudRate, 123456u);
}

TEST_F(SerCommDcbTest, RefusedSettersRaiseWhileOpenAndChangeNothing) {
  port->Open();
  EXPECT_EQ(ErrorOf([&] { port->Open(); }), kOpenRefusal);
  EXPECT_EQ(ErrorOf([&] { port->SetPortNum(4); }), kOpenRefusal);
  EXPECT_EQ(ErrorOf([&] { port->SetDeviceName("COM%d"); }), kOpenRefusal);
  EXPECT_EQ(ErrorOf([&] { port->SetMonitorEvents(0); }), kOpenRefusal);
  EXPECT_EQ(ErrorOf([&] { port->SetDirectWrite(true); }), kOpenRefusal);
  EXPECT_EQ(ErrorOf([&] { port->SetUpdateDCB(false); }), kOpenRefusal);
  EXPECT_EQ(ErrorOf([&] { port->SetBuffers(TSerBuffers()); }), kOpenRefusal);
  EXPECT_EQ(port->PortNum(), 0);
  EXPECT_FALSE(port->DirectWrite());
  // A size changed on the object itself is stored before the refusal.
  EXPECT_EQ(ErrorOf([&] { port->Buffers().SetWriteSize(16); }), kOpenRefusal);
  EXPECT_EQ(port->Buffers().WriteSize(), 16);
  port->Close();
  port->SetPortNum(4);
  EXPECT_EQ(port->PortNum(), 4);
}

TEST_F(SerCommDcbTest, QueuedModeLeavesTransmitterEmptyToTheWriteThread) {
  const std::pair<TSerCommEvents, uint32_t> cases[] = {
      {SerEvents({ceTxEmpty}), 0},
      {SerEvents({ceBreak, ceCts, ceDsr, ceError, ceRing, ceRlsd, ceRxChar, ceTxEmpty, ceRxFlag}),
       0x1FB},
      {SerEvents({cePErr, ceRx80Full, ceEvent1, ceEvent2}), 0x1E00}};
  for (auto [events, mask] : cases) {
    port->SetMonitorEvents(events);
    port->Open();
    EXPECT_EQ(line->LastMask(VirtualLine::A), mask);
    EXPECT_EQ(port->EventMask(), mask);
    port->Close();
  }
  port->SetDirectWrite(true);
  port->SetMonitorEvents(SerEvents({ceTxEmpty}));
  port->Open();
  EXPECT_EQ(line->LastMask(VirtualLine::A), EV_TXEMPTY);
}

TEST_F(SerCommDcbTest, OpenAndCloseFireTheirEventsAndLoadedOpensWithAutoOpen) {
  int opens = 0, closes = 0;
  port->OnOpen = [&](TObject* Sender) {
    EXPECT_TRUE(Sender == port.get() && port->Active());
    ++opens;
  };
  port->OnClose = [&](TObject*) { closes += port->Active() ? 100 : 1; };
  port->Loaded();
  port->Close();
  EXPECT_EQ(opens + closes, 0) << "no AutoOpen; closing a closed port does nothing";
  port->SetAutoOpen(true);
  port->Loaded();
  EXPECT_TRUE(port->Active());
  port->Close();
  port->Close();
  EXPECT_EQ(opens, 1);
  EXPECT_EQ(closes, 1);

  ReportCatcher reports;
  port->OnOpen = [](TObject*) { throw Exception("handler failed"); };
  port->Open();
  EXPECT_TRUE(port->Active());
  EXPECT_EQ(reports.Messages(), std::vector<std::string>{"handler failed"});
  port.reset();  // no OnClose while the component is destroyed
  EXPECT_EQ(closes, 1);
}

TEST(SerCommPortNames, ListsTheDevicesUnderTheRootByComNumber) {
  char pattern[] = "/tmp/serroot.XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string root = pattern;
  ASSERT_EQ(system(("mkdir '" + root + "/dev'").c_str()), 0);
  int master, slave;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  SetDeviceRoot(root);
  TSerComm port(nullptr);
  std::vector<std::string> names{"stale"};
  port.GetPortNames(names);
  EXPECT_TRUE(names.empty());
  for (const char* node : {"ttyUSB0", "ttyACM1"})
    ASSERT_EQ(symlink(ttyname(slave), (root + "/dev/" + node).c_str()), 0);
  port.GetPortNames(names);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"COM33", "COM66"}));
  SetDeviceRoot("/");
  close(master);
  close(slave);
  system(("rm -rf '" + root + "'").c_str());
}
