// SPDX-License-Identifier: GPL-3.0-or-later
// Network ports: a name typed into the port box as rfc2217://HOST:PORT or
// socket://HOST:PORT is a port like any other. Its entry stays in the box, is remembered
// in a section of its own, and shows as its tool tip what the server says of itself. When
// its server goes away the port is closed as an unplugged adapter is, and, with Auto
// Reconnect on, opened again once the server accepts: tried at growing intervals, since
// nothing announces a server's return.
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QPointer>
#include <QSignalBlocker>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>

#include "app/Handlers.h"
#include "app/Latin1.h"
#include "app/PortBox.h"
#include "app/tarvik.h"
#include "framework/Threads.h"
#include "platform/PortDescription.h"
#include "platform/Profile.h"
#include "platform/network/NetworkAddress.h"
#include "platform/network/NetworkConnect.h"
#include "platform/network/NetworkSerialDevice.h"

namespace {

constexpr const char* Section = "Network";
constexpr int FirstRetryMs = 250;
constexpr int LongestRetryMs = 5000;

// While a connection is made, the main thread keeps painting the windows and running
// timers, but takes no user input: a click made meanwhile is handled afterwards.
void KeepWindowsPaintedWhile(const WaitEvent& Done, int TimeoutMs) {
  static bool waiting = false;
  if (waiting || !IsMainThread() || !QCoreApplication::instance()) {
    Done.Wait(TimeoutMs);
    return;
  }
  waiting = true;
  QEventLoop loop;
  QSocketNotifier news(Done.Fd(), QSocketNotifier::Read);
  QObject::connect(&news, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
  QTimer::singleShot(TimeoutMs, &loop, &QEventLoop::quit);
  if (!Done.IsSet()) loop.exec(QEventLoop::ExcludeUserInputEvents);
  waiting = false;
}

std::string UrlKey(int Number) { return "Url" + std::to_string(Number); }

}  // namespace

void TfrmTerm::CreateNetwork() {
  SetNetworkOpenWait(KeepWindowsPaintedWhile);
  // The server's word comes on the port's thread; the entry changes on the main thread.
  QPointer<TfrmTerm> window(this);
  SetServerSignatureHook([window](const std::string& PortName) {
    QMetaObject::invokeMethod(
        qApp, [window, PortName] { if (window) window->ServerSignatureChanged(PortName); },
        Qt::QueuedConnection);
  });
  reconnectTimer_ = new QTimer(this);
  reconnectTimer_->setSingleShot(true);
  Bind(reconnectTimer_, &QTimer::timeout, this, [this] { TryNetworkReconnect(); });
}

bool TfrmTerm::PortChosen() const {
  return SerComm1->PortNum() != 0 || IsNetworkPortName(SerComm1->DeviceName());
}

// A network entry names its port itself; a COM entry goes by number.
void TfrmTerm::ChoosePortOfItem(int Index) {
  const std::string name = Index >= 0 && Index < cboPort->count() ? ToBytes(cboPort->itemText(Index)) : "";
  if (IsNetworkPortName(name)) {
    SerComm1->SetDeviceName(name);
    SerComm1->SetPortNum(0);
    return;
  }
  if (IsNetworkPortName(SerComm1->DeviceName())) SerComm1->SetDeviceName("COM%d");
  SerComm1->SetPortNum(PortNumFromItem(Index));
}

QStringList TfrmTerm::NetworkPortEntries() const {
  QStringList names;
  for (int i = 0; i < cboPort->count(); ++i)
    if (IsNetworkPortName(ToBytes(cboPort->itemText(i)))) names << cboPort->itemText(i);
  return names;
}

void TfrmTerm::LoadNetworkPorts(const Profile& Ini) {
  QSignalBlocker blocker(cboPort);
  for (int i = 1;; ++i) {
    const std::string name = Ini.ReadString(Section, UrlKey(i), "");
    if (name.empty()) break;
    if (IsNetworkPortName(name) && FindPort(cboPort, FromBytes(name)) < 0) InsertPort(cboPort, FromBytes(name));
  }
}

// After the Port index has chosen its entry: a network port chosen last time is chosen
// again wherever the box now lists it.
void TfrmTerm::ChooseStoredNetworkPort(const Profile& Ini) {
  const QString chosen = FromBytes(Ini.ReadString(Section, "ChosenUrl", ""));
  const int at = FindPort(cboPort, chosen);
  if (at < 0 || SerComm1->Active()) return;
  QSignalBlocker blocker(cboPort);
  cboPort->setCurrentIndex(at);
  ChoosePortOfItem(at);
}

void TfrmTerm::WriteNetworkPorts(Profile& Ini) {
  const QStringList names = NetworkPortEntries();
  // A file that never knew a network port does not get the section.
  if (names.isEmpty() && Ini.ReadString(Section, UrlKey(1), "").empty() &&
      Ini.ReadString(Section, "ChosenUrl", "").empty())
    return;
  for (int i = 0; i < names.size(); ++i) Ini.WriteString(Section, UrlKey(i + 1), ToBytes(names[i]));
  // One empty key ends the list; entries of a longer list written before stay unread.
  if (!Ini.ReadString(Section, UrlKey(names.size() + 1), "").empty())
    Ini.WriteString(Section, UrlKey(names.size() + 1), "");
  const int chosen = SelectedIndex(cboPort);
  const QString chosenName = chosen >= 0 ? cboPort->itemText(chosen) : QString();
  Ini.WriteString(Section, "ChosenUrl", names.contains(chosenName) ? ToBytes(chosenName) : "");
}

void TfrmTerm::ServerSignatureChanged(const std::string& PortName) {
  const int at = FindPort(cboPort, FromBytes(PortName));
  if (at < 0) return;
  cboPort->setItemData(at, FromBytes(PortDescription(PortName)), Qt::ToolTipRole);
  ShowPortToolTip();
}

// Called once the port has been closed for its hang-up.
void TfrmTerm::NetworkPortLost(const std::string& Name) {
  const QString port = FromBytes(Name);
  staPanel1->setToolTip(port + " went away: its server closed the connection");
  if (!AutoReconnect1->isChecked()) return;
  lostNetworkPort_ = Name;
  reconnectDelayMs_ = FirstRetryMs;
  reconnectTimer_->start(reconnectDelayMs_);
}

void TfrmTerm::TryNetworkReconnect() {
  if (!lostNetworkPort_ || SerComm1->Active()) return;
  const QString port = FromBytes(*lostNetworkPort_);
  if (!AutoReconnect1->isChecked()) {
    lostNetworkPort_.reset();
    return;
  }
  try {
    SerComm1->Open();
  } catch (const std::exception& Error) {
    // Not back yet: refused, or the server's device is missing or busy.
    staPanel1->setToolTip(port + " is not back yet: " + FromBytes(Error.what()));
    reconnectDelayMs_ = std::min(reconnectDelayMs_ * 2, LongestRetryMs);
    reconnectTimer_->start(reconnectDelayMs_);
    return;
  }
  lostNetworkPort_.reset();
  SetConnected(true);
  ShowLineStatus(port + " reconnected", port + " accepted again and was opened again");
}

void TfrmTerm::ForgetLostNetworkPort() {
  lostNetworkPort_.reset();
  if (reconnectTimer_) reconnectTimer_->stop();
}
