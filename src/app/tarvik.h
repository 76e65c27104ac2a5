// SPDX-License-Identifier: GPL-3.0-or-later
// The main terminal window: the pane, the connection controls, the menus and tool
// buttons, and the port SerComm1 that all terminal traffic goes through.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/ActivationTracker.h"
#include "app/DialogSeam.h"
#include "app/pane/TerminalEdit.h"
#include "serial/SerComm.h"

class QAction;
class QComboBox;
class QKeyEvent;
class QLabel;
class QProgressBar;
class QPushButton;
class QSocketNotifier;
class QStatusBar;
class QTimer;
class QToolBar;
class QToolButton;
class TfrmTransfer;
class TAboutBox;
class BoardConsole;
class TfrmXModem;
class DeviceNodeWatch;
class FindBar;
class HexSendBar;
class PaneView;
class SessionLog;
class Profile;

class TfrmTerm : public QMainWindow, public ActivationAware {
 public:
  explicit TfrmTerm(QWidget* Parent = nullptr);
  ~TfrmTerm() override;

  // The windows opened from this one, created after it at program start.
  void SetWindows(TfrmTransfer* Transfer, TAboutBox* About, TfrmXModem* XModem);

  // Window events.
  void FormActivate() override;
  void FormDeactivate() override {}
  void FormResize();
  void FormClose();

  // Connection control.
  void spdConnectClick();
  void reSetAll();
  void PortChange();
  int PortNumFromItem(int Index) const;
  void cboPortChange();
  void cboBaudRateChange();
  void cboStopBitsChange();
  void cboDataBitsChange();
  void RefreshPorts1Click();

  // Menu operations; a checkable item has already toggled its check mark when they run.
  void HWFlow1Click();
  void DTRlow1Click();
  void Reset1Click();
  void Font1Click();
  void Background1Click();
  void About1Click();
  void SendxClick();
  void Settings1Click();
  void Clearscreen1Click();

  // Settings file.
  void getSettings();
  void WriteSettings();

  // The pane.
  void showText(const std::string& Text);
  void showReceived(const std::string& Text);
  void writeToCom(const std::string& Text);
  void SerComm1RxChar(TObject* Sender, int Count);
  // Key: the character the keyboard produced; left empty when the port took it.
  void mmoTermKeyPress(QObject* Sender, std::optional<char>& Key);

  // Sending files: text line by line, binary in batches under CTS.
  void SendText1Click();
  void ResendText1Click();
  void CancelSend1Click();
  void SendTextFile();
  bool RunTransferAutomation();
  void Timer1Timer();
  void SendBinary1Click();
  void ToolButton9Click();
  void SendBinaryFile();

  // Unplug and replug: a port that goes away is closed at once and, unless switched off
  // with AutoReconnect1, reopened when its device node comes back; the port box follows
  // the device nodes that come and go.
  void SerComm1Error(TObject* Sender, int Errors);
  void DeviceNodesChanged();

  // The session's tools (tarvik_session.cpp): a log of it on disk, bytes sent by their
  // hexadecimal codes, and finding text in the pane.
  void LogtoFile1Click();
  void SendHex1Click();
  void Find1Click();
  void tmrLogTimer();
  // What goes in the log; a log that fails is ended and said so once.
  void LogReceived(std::string_view Bytes);
  void LogSent(std::string_view Bytes);
  void NoteInLog(const std::string& Text);
  // Keys that are the window's own although they produce a character (Find's Ctrl+Shift+F).
  bool IsSessionShortcut(const QKeyEvent& Key) const;
  // Network ports (rfc2217:// and socket:// entries of the port box), tarvik_network.cpp:
  // remembered in a section of their own, reconnected at growing intervals.
  bool PortChosen() const;
  void ChoosePortOfItem(int Index);
  QStringList NetworkPortEntries() const;
  void LoadNetworkPorts(const Profile& Ini);
  void ChooseStoredNetworkPort(const Profile& Ini);
  void WriteNetworkPorts(Profile& Ini);
  void ServerSignatureChanged(const std::string& PortName);
  void NetworkPortLost(const std::string& Name);
  void TryNetworkReconnect();

  // Pane look.
  QColor PaneBackground() const;
  void SetPaneBackground(const QColor& Colour);
  QColor PaneTextColour() const;
  void SetPaneTextColour(const QColor& Colour);
  // The face name as chosen or stored, also when the system shows a substitute.
  QString PaneFontName() const;
  void SetPaneFont(const QString& Name, int PointSize);

  // The selected entry of a box: the entry whose text the box shows, or -1.
  static int SelectedIndex(const QComboBox* Box);

  TSerComm* SerComm1 = nullptr;
  // ANSI Terminal, UTF-8, Enter Sends and the paced paste, with their menu items.
  BoardConsole* Console = nullptr;
  // Timestamps and Hex View, with their menu items.
  PaneView* View = nullptr;

  QToolBar* ToolBar1 = nullptr;
  QToolBar* ToolBar2 = nullptr;
  QToolButton* ToolButton1 = nullptr;
  QToolButton* ToolButton2 = nullptr;
  QToolButton* ToolButton3 = nullptr;
  QToolButton* ToolButton4 = nullptr;
  QToolButton* ToolButton6 = nullptr;
  QToolButton* ToolButton8 = nullptr;
  QToolButton* ToolButton9 = nullptr;
  QToolButton* spdConnect = nullptr;
  QComboBox* cboPort = nullptr;
  QComboBox* cboBaudRate = nullptr;
  QComboBox* cboStopBits = nullptr;
  QComboBox* cboDataBits = nullptr;
  TerminalEdit* mmoTerm = nullptr;
  QWidget* pnlBot = nullptr;
  QPushButton* btnCancel = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QStatusBar* staBar1 = nullptr;
  QLabel* staPanel0 = nullptr;
  QLabel* staPanel1 = nullptr;
  QTimer* Timer1 = nullptr;

  QAction* SendText1 = nullptr;
  QAction* ResendText1 = nullptr;
  QAction* CancelSend1 = nullptr;
  QAction* Clearscreen1 = nullptr;
  QAction* Sendx = nullptr;
  QAction* SendBinary1 = nullptr;
  QAction* exttransfer1 = nullptr;
  QAction* Font1 = nullptr;
  QAction* Background1 = nullptr;
  QAction* Echo1 = nullptr;
  QAction* RefreshPorts1 = nullptr;
  QAction* mnuCtrl = nullptr;
  QAction* Reset1 = nullptr;
  QAction* DTRlow1 = nullptr;
  QAction* HWFlow1 = nullptr;
  QAction* AutoReconnect1 = nullptr;
  QAction* About1 = nullptr;
  QAction* LogtoFile1 = nullptr;
  QAction* SendHex1 = nullptr;
  QAction* Find1 = nullptr;
  QLabel* lblLog = nullptr;  // the running log and its size
  QTimer* tmrLog = nullptr;  // puts the log on disk each second while it runs
  FindBar* barFind = nullptr;
  HexSendBar* barSendHex = nullptr;

  // The file-open dialog's state (filter, chosen filter, initial directory).
  OpenFileRequest dlgOpen;

  bool FirstActivation = false;
  bool SendingText = false;
  std::string ReceivedText;
  bool CancelSend = false;
  int WaitTicks = 0;

 protected:
  void resizeEvent(QResizeEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;

 private:
  void CreatePort();
  void BindTerminal();  // received data and typed keys
  void CreateMenus();
  void CreateToolBars();
  void CreatePane();
  void CreateBottom();
  void BindHandlers();
  void FillLists();
  void ApplyStopBits();
  void SetConnected(bool Pressed);
  void CloseForUser();
  void TypedPortConfirmed();
  void ShowPortToolTip();
  void CreateSending();
  void StopSends();
  bool ChooseFileToSend();
  void ShowSendProgress(int Maximum);
  void HideSendProgress();
  void WaitForCharacter(char Awaited, int HangUps);
  bool WaitForClearToSend(int HangUps);
  int WaitForLineRoom(int Ahead, int HangUps);
  void HandleEventsOnce(bool MayWait);
  void CreateReplug();
  void ForgetLostPort();
  void FollowPortList();
  void LostPortNodeChanged();
  void ShowLineStatus(const QString& Text, const QString& Detail);
  // Sends end when the line goes away: a hang-up since Mark (hangUps_ then).
  bool LineLostSince(int Mark) const { return hangUps_ != Mark; }
  // A send's waits give up on Cancel, the window's closing, or the line gone since Mark.
  bool SendStopped(int Mark) const { return CancelSend || closing_ || LineLostSince(Mark); }
  void SendEnded(int Mark);
  void CreateSession();
  void EndLog();
  // Runs Step on the running log; a failure ends the log. False without a log or on failure.
  template <class LogStep>
  bool WriteLog(LogStep&& Step);
  void StopLogging();
  void LogFailed(const std::exception& Failure);
  void ShowLogSize();
  QString SendHexBytes(const std::string& Bytes);
  void CreateNetwork();
  void ForgetLostNetworkPort();

  std::unique_ptr<TSerComm> port_;
  QString paneFontName_;
  TfrmTransfer* frmTransfer_ = nullptr;
  TAboutBox* AboutBox_ = nullptr;
  TfrmXModem* frmXModem_ = nullptr;
  bool closing_ = false;  // the window is closing: every send wait gives up

  // The port that went away while connected, until it is reopened or the user connects
  // or picks a port: its name ("COM33") and its node in the watched folder ("ttyUSB0").
  struct LostPort {
    std::string Name, Node;
  };
  std::optional<LostPort> lostPort_;
  int hangUps_ = 0;
  std::unique_ptr<DeviceNodeWatch> nodeWatch_;
  std::unique_ptr<QSocketNotifier> nodeNews_;  // on nodeWatch_'s descriptor
  std::vector<std::string> listedPorts_;  // what discovery found last

  std::unique_ptr<SessionLog> log_;
  QString logFolder_;       // of the last log; the home folder before the first
  int logFilterIndex_ = 1;  // the last log's type: 1 raw, 2 text
  int loggedHangUps_ = 0;   // hangUps_ when the log last noted a close
  // The network port that went away while connected, until it is reopened or the user
  // connects or picks a port.
  std::optional<std::string> lostNetworkPort_;
  int reconnectDelayMs_ = 0;
  QTimer* reconnectTimer_ = nullptr;
};
