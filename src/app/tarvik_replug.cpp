// SPDX-License-Identifier: GPL-3.0-or-later
// Unplug and replug: a port whose device goes away (an adapter pulled, the far end of a
// line closed) is closed at once and said so in the status bar; when its device node comes
// back it is opened again with the same settings, unless the user has connected or picked
// a port since, or switched "Auto Reconnect" off. The port box follows the device nodes
// that come and go. All of it waits on the kernel's news of the device folder.
#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QSocketNotifier>
#include <algorithm>

#include "app/Handlers.h"
#include "app/Latin1.h"
#include "app/PortBox.h"
#include "app/tarvik.h"
#include "platform/DeviceNodeWatch.h"
#include "platform/PortNames.h"
#include "platform/network/NetworkAddress.h"

namespace {

bool Contains(const std::vector<std::string>& Names, const std::string& Name) {
  return std::find(Names.begin(), Names.end(), Name) != Names.end();
}

}  // namespace

void TfrmTerm::CreateReplug() {
  SerComm1->OnError = [this](TObject* Sender, int Errors) { SerComm1Error(Sender, Errors); };
  nodeWatch_ = std::make_unique<DeviceNodeWatch>(DeviceDirectory());
  if (nodeWatch_->Fd() < 0) return;  // no news then; Refresh Ports still lists the ports
  nodeNews_ = std::make_unique<QSocketNotifier>(nodeWatch_->Fd(), QSocketNotifier::Read);
  Bind(nodeNews_.get(), &QSocketNotifier::activated, this, [this] { DeviceNodesChanged(); });
}

// The port reports its hang-up once; line errors are not asked for (MonitorEvents).
void TfrmTerm::SerComm1Error(TObject*, int Errors) {
  if (!(Errors & CE_IOE) || !SerComm1->Active()) return;
  ++hangUps_;
  const std::string name = SerComm1->GetDeviceFileName();
  const std::string path = DevicePathOfPort(name);
  SerComm1->Close();
  SetConnected(false);
  // Only a node of the watched folder can be seen coming back; a pseudo-terminal's
  // number, once free, is given to whoever asks next.
  const size_t slash = path.rfind('/');
  lostPort_.reset();
  if (nodeNews_ && slash != std::string::npos && path.substr(0, slash) == nodeWatch_->Folder())
    lostPort_ = LostPort{name, path.substr(slash + 1)};
  const QString port = FromBytes(name);
  ShowLineStatus(port + " unplugged", port + " went away: unplugged, or closed at the far end");
  if (IsNetworkPortName(name)) NetworkPortLost(name);
}

void TfrmTerm::DeviceNodesChanged() {
  const DeviceNodeWatch::News news = nodeWatch_->Take();
  auto touches = [&news](auto Wanted) {
    return news.Lost || std::any_of(news.Names.begin(), news.Names.end(), Wanted);
  };
  if (touches(IsPortNode)) FollowPortList();
  if (lostPort_ && touches([this](const std::string& Name) { return Name == lostPort_->Node; }))
    LostPortNodeChanged();
}

// Entries come and go as discovery finds them; entries typed by the user stay. The chosen
// entry stays chosen while it exists; the port's own entry, coming back while nothing is
// chosen, is chosen again.
void TfrmTerm::FollowPortList() {
  std::vector<std::string> found;
  SerComm1->GetPortNames(found);
  const int chosenAt = SelectedIndex(cboPort);
  const QString chosen = chosenAt >= 0 ? cboPort->itemText(chosenAt) : QString();
  const QString own = FromBytes(SerComm1->GetDeviceFileName());
  bool ownCameBack = false;
  QSignalBlocker blocker(cboPort);
  for (const std::string& name : listedPorts_)
    if (!Contains(found, name)) cboPort->removeItem(FindPort(cboPort, FromBytes(name)));
  for (const std::string& name : found) {
    if (Contains(listedPorts_, name) || FindPort(cboPort, FromBytes(name)) >= 0) continue;
    InsertPort(cboPort, FromBytes(name));
    ownCameBack = ownCameBack || FromBytes(name) == own;
  }
  listedPorts_ = found;
  const QString keep = chosen.isEmpty() && ownCameBack ? own : chosen;
  if (!keep.isEmpty() || chosenAt >= 0) cboPort->setCurrentIndex(FindPort(cboPort, keep));
  ShowPortToolTip();
}

void TfrmTerm::LostPortNodeChanged() {
  const QString port = FromBytes(lostPort_->Name);
  if (SerComm1->Active() || !QFileInfo::exists(FromBytes(DevicePathOfPort(lostPort_->Name))))
    return;  // removed, or renamed away
  if (!AutoReconnect1->isChecked()) {
    ShowLineStatus(port + " is back", port + " came back; press Connect to use it");
    return;
  }
  try {
    SerComm1->Open();
  } catch (const std::exception& Error) {
    // Often udev has not yet given the node its group: its change brings another try.
    ShowLineStatus(port + " won't open", FromBytes(Error.what()));
    return;
  }
  lostPort_.reset();
  SetConnected(true);
  ShowLineStatus(port + " reconnected", port + " came back and was opened again");
}

// The user connects, disconnects or picks a port: the lost port is theirs again.
void TfrmTerm::ForgetLostPort() {
  lostPort_.reset();
  ForgetLostNetworkPort();
  ShowLineStatus("", "");
}

void TfrmTerm::ShowLineStatus(const QString& Text, const QString& Detail) {
  staPanel1->setText(Text);
  staPanel1->setToolTip(Detail);
}

// A send that the line's going away ended says so, its progress back at the start.
void TfrmTerm::SendEnded(int Mark) {
  if (!LineLostSince(Mark)) return;
  ProgressBar1->setValue(0);
  const QString port = FromBytes(SerComm1->GetDeviceFileName());
  ShowLineStatus("Send stopped", port + " went away during the send");
}
