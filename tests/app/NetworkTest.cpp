// SPDX-License-Identifier: GPL-3.0-or-later
// Network ports through the real window: a typed URL is a port like any other (chosen,
// shown with its server's word, remembered, its failure reported), Reset and CTS work
// through the small COM port server, and a ser2net that goes away and comes back is
// followed as an unplugged adapter is.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "TerminalRig.h"
#include "platform/Termios2.h"
#include "support/ComPortServer.h"
#include "support/FileFaults.h"
#include "support/PtyPair.h"
#include "support/Ser2netLine.h"
#include "platform/network/NetworkSerialDevice.h"

namespace {

class NetworkWindow : public ::testing::Test {
 protected:
  void SetUp() override { Start(); }
  void TearDown() override {
    if (term->SerComm1->Active()) term->SerComm1->Close();
  }
  void Start() {
    w = std::make_unique<ProgramWindows>();
    term = w->frmTerm.get();
    term->FormActivate();
  }
  void TypePort(const std::string& Name) {
    term->cboPort->lineEdit()->selectAll();
    QTest::keyClicks(term->cboPort->lineEdit(), QString::fromStdString(Name));
    QTest::keyClick(term->cboPort->lineEdit(), Qt::Key_Return);
  }
  bool Connected() const { return term->SerComm1->Active() && term->spdConnect->isChecked(); }
  QString Status() const { return term->staPanel1->text(); }
  std::string Reports() const { return dialogs.Reports.join("|").toStdString(); }

  TestDeviceRoot root;
  TempSettings settings;
  ScriptedDialogs dialogs;
  std::unique_ptr<ProgramWindows> w;
  TfrmTerm* term = nullptr;
};

TEST_F(NetworkWindow, TypedUrlIsChosenShowsItsServerAndIsRememberedInItsOwnSection) {
  ComPortServer server;
  const QString url = QString::fromStdString(server.Url());
  TypePort(server.Url());
  EXPECT_EQ(term->cboPort->currentText(), url);
  term->spdConnect->click();
  ASSERT_TRUE(Connected()) << Reports();
  ASSERT_TRUE(RunUntil([&] { return term->cboPort->toolTip() == url + "\nServer: fixture"; }, 5000))
      << term->cboPort->toolTip().toStdString();
  term->RefreshPorts1->trigger();  // typed entries stay
  EXPECT_GE(term->cboPort->findText(url), 0);
  term->cboPort->setCurrentIndex(term->cboPort->findText(url));
  term->FormClose();

  const std::string ini = settings.Read();
  const size_t network = ini.find("[Network]");
  ASSERT_NE(network, std::string::npos) << ini;
  EXPECT_LT(ini.find("[Replug]"), network);  // after every other section
  EXPECT_NE(ini.find("Url1=" + server.Url() + "\n", network), std::string::npos) << ini;
  EXPECT_NE(ini.find("ChosenUrl=" + server.Url() + "\n", network), std::string::npos) << ini;

  w.reset();
  Start();
  EXPECT_EQ(term->cboPort->currentText(), url);
  EXPECT_EQ(term->SerComm1->DeviceName(), server.Url());
  term->spdConnect->click();
  EXPECT_TRUE(Connected()) << Reports();
}

// A refused connection, one that times out while the window keeps running its timers, and
// a name without a port.
TEST_F(NetworkWindow, FailedConnectNamesTheUrlAndTheWindowRunsMeanwhile) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  const int silent = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);  // its one backlog place taken
  bind(silent, reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(silent, 0);
  getsockname(silent, reinterpret_cast<sockaddr*>(&a), &length);
  const int queued = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  connect(queued, reinterpret_cast<sockaddr*>(&a), sizeof a);
  const std::string silentUrl = "rfc2217://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
  const int free = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);  // bound, never listening
  a.sin_port = 0;
  bind(free, reinterpret_cast<sockaddr*>(&a), sizeof a);
  getsockname(free, reinterpret_cast<sockaddr*>(&a), &length);
  const std::string refusedUrl = "socket://127.0.0.1:" + std::to_string(ntohs(a.sin_port));

  SetNetworkConnectLimitMs(1000);
  int ticks = 0;
  QTimer clock;
  QObject::connect(&clock, &QTimer::timeout, [&] { ++ticks; });
  clock.start(20);
  for (const auto& [url, reason] : {std::make_pair(refusedUrl, "(Error 111, Connection refused)"),
                                    std::make_pair(silentUrl, "(Error 110, Connection timed out)"),
                                    std::make_pair(std::string("rfc2217://127.0.0.1"), "(Error 22, Invalid argument)")}) {
    dialogs.Reports.clear();
    TypePort(url);
    const int before = ticks;
    term->spdConnect->click();
    EXPECT_EQ(dialogs.Reports, QStringList{QString::fromStdString("Can't open specified device " + url + " " + reason)});
    EXPECT_FALSE(term->spdConnect->isChecked());
    if (url == silentUrl) {
      EXPECT_GT(ticks - before, 10);  // the second it waited, the window ran
    }
  }
  SetNetworkConnectLimitMs(0);
  for (int fd : {silent, queued, free}) close(fd);
}

// What a pseudo-terminal behind ser2net cannot show: DTR and CTS at the server.
TEST_F(NetworkWindow, ResetPulsesDtrAndCtsHoldsABinarySend) {
  ComPortServer server;
  TypePort(server.Url());
  term->spdConnect->click();
  ASSERT_TRUE(Connected()) << Reports();
  using Commands = std::vector<ComPortServer::Command>;
  const auto dtr = [](const Commands& C) {
    Commands out;
    for (const auto& c : C)
      if (c.Code == 5 && (c.Value == "\x08" || c.Value == "\x09")) out.push_back(c);
    return out;
  };
  term->Reset1->trigger();
  Commands pulse;
  ASSERT_TRUE(server.WaitFor([&](const Commands& C, const std::string&) { return (pulse = dtr(C)).size() >= 3; }));
  // Off as the port opens, on for the pulse, off again 200 ms later.
  EXPECT_EQ(pulse[1].Value, "\x08");
  EXPECT_EQ(pulse[2].Value, "\x09");
  EXPECT_GE(pulse[2].When - pulse[1].When, std::chrono::milliseconds(150));

  server.NotifyModemState(0x20);  // CTS off
  ASSERT_TRUE(RunUntil([&] { return !term->SerComm1->GetModemState(1); }, 5000));
  TempFolder folder;
  std::ofstream(folder / "held.bin") << "held back";
  bool nothingWhileHeld = false;
  int passes = 0;
  QTimer script;
  QObject::connect(&script, &QTimer::timeout, [&] {
    if (++passes != 20) return;
    nothingWhileHeld = server.Data().empty();
    server.NotifyModemState(0x30);  // CTS on
  });
  script.start(5);
  dialogs.FileChoice = QString::fromStdString(folder / "held.bin");
  term->SendBinary1->trigger();  // returns when the send has ended
  EXPECT_TRUE(nothingWhileHeld);
  // The send ends before the server has every byte, and the port's write thread hands its
  // transmitter-empty report to the window before it writes what was queued meanwhile: the
  // wait keeps the window's events running.
  server.SetOnChange([] { QMetaObject::invokeMethod(qApp, [] {}, Qt::QueuedConnection); });
  EXPECT_TRUE(RunUntil([&] { return server.Data() == "held back"; }));
}

TEST_F(NetworkWindow, Ser2netGoingAwayReleasesTheButtonAndItsReturnReconnects) {
  if (!Ser2netLine::Available()) GTEST_SKIP() << "ser2net or socat is not installed";
  Ser2netLine line;
  ASSERT_TRUE(line.Ready()) << line.Problem();
  const QString url = QString::fromStdString(line.TelnetUrl());
  TypePort(line.TelnetUrl());
  term->spdConnect->click();
  ASSERT_TRUE(Connected()) << Reports();
  const int board = line.OpenBoard();
  // A rate chosen while connected reopens the port; the server applies it before the
  // bytes that follow it.
  term->cboBaudRate->setCurrentIndex(term->cboBaudRate->findText("57600"));
  ASSERT_TRUE(Connected()) << Reports();
  QTest::keyClick(term->mmoTerm, 'k');
  EXPECT_EQ(PtyPair::ReadFrom(board, 1, 5000), "k");
  LineReadBack settings;
  EXPECT_TRUE(line.ReadServedSettings(settings));
  EXPECT_EQ(settings.OutputRate, 57600u);

  TempFolder folder;
  dialogs.SaveChoice = QString::fromStdString(folder / "network.log");
  term->LogtoFile1->trigger();
  line.StopServer();
  ASSERT_TRUE(RunUntil([&] { return !term->spdConnect->isChecked(); }, 2000));
  EXPECT_EQ(Status(), url + " unplugged");
  ASSERT_TRUE(line.StartServer()) << line.Problem();
  ASSERT_TRUE(RunUntil([&] { return Connected(); }, 10000)) << term->staPanel1->toolTip().toStdString();
  EXPECT_EQ(Status(), url + " reconnected");
  [[maybe_unused]] ssize_t n = write(board, "after\r\n", 7);
  EXPECT_TRUE(RunUntil([&] { return term->mmoTerm->toPlainText().contains("after"); }));
  close(board);
  term->LogtoFile1->trigger();
  EXPECT_NE(FileBytes(folder / "network.log").find(" [note] " + line.TelnetUrl() + " reconnected\n"), std::string::npos);
  EXPECT_TRUE(dialogs.Reports.isEmpty()) << Reports();
}

}  // namespace
