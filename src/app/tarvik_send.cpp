// SPDX-License-Identifier: GPL-3.0-or-later
// Sending files from the main window: a text file line by line, paced by the board's
// end-of-line answer and a delay, after the file type's load command; any file as raw
// bytes in small batches that follow the line, each batch only while the board asserts
// CTS. Both run on the main thread and keep the window alive by letting its events run
// while they wait.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <optional>
#include <vector>

#include "app/FileNames.h"
#include "app/Handlers.h"
#include "app/Latin1.h"
#include "app/TextLines.h"
#include "app/TextSet.h"
#include "app/tarvik.h"
#include "framework/Exceptions.h"
#include "framework/IntConvert.h"
#include "framework/Threads.h"
#include "platform/SerialDevice.h"

namespace {

const char* const SendFilter = "All Files|*.*|BASIC|*.bas|Hex Files|*.hex|Forth Files|*.fth";

// No event announces a change of CTS on the main port, so its wait looks again this
// often while nothing else happens.
constexpr int CtsRecheckMs = 5;

// A binary send keeps no more than a few milliseconds of line on its way (in the port and
// the device), and CTS is asked before each batch, so that little leaves once CTS drops.
// A batch is never smaller than MinBatch, so that a line faster than its rate (a
// pseudo-terminal, a USB device that ignores it) is not held to a few bytes a pass.
constexpr int AheadMs = 4;
constexpr int MinBatch = 256;

int SendAhead(uint32_t Rate) {
  return std::max(MinBatch, static_cast<int>(static_cast<int64_t>(Rate) / 10 * AheadMs / 1000));
}

// A file that could not be opened or read for a binary send.
class EInOutError : public Exception {
 public:
  EInOutError(std::string Message, int Code) : Exception(std::move(Message)), ErrorCode(Code) {}
  int ErrorCode;
};

bool ParentFolderExists(const std::string& Path) {
  const size_t slash = Path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : Path.substr(0, slash);
  struct stat info{};
  return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A missing folder on the way counts as a malformed name, as a missing file does not.
[[noreturn]] void RaiseInOutError(int Error, const std::string& Path) {
  switch (Error) {
    case ENOENT:
      if (ParentFolderExists(Path)) throw EInOutError("File not found", Error);
      throw EInOutError("Invalid filename", Error);
    case EACCES:
    case EPERM:
    case EISDIR:
      throw EInOutError("File access denied", Error);
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL:
      throw EInOutError("Invalid filename", Error);
    default:
      throw EInOutError(FormatMessage("I/O error %d", Error), Error);
  }
}

// The bytes of a file for a binary send, read in order; opened for reading only, so a
// file the user may only read can still be sent.
class ByteFile {
 public:
  explicit ByteFile(const std::string& Path) : path_(Path) {
    fd_ = open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) RaiseInOutError(errno, Path);
    struct stat info{};
    if (fstat(fd_, &info) != 0 || S_ISDIR(info.st_mode)) {
      const int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
      close(fd_);
      RaiseInOutError(error, Path);
    }
    size_ = info.st_size;
  }
  ~ByteFile() { close(fd_); }
  ByteFile(const ByteFile&) = delete;
  ByteFile& operator=(const ByteFile&) = delete;

  int64_t Size() const { return size_; }

  // Up to Count of the next bytes into Data; 0 at the end of the file.
  int Read(char* Data, int Count) {
    ssize_t got;
    do got = read(fd_, Data, static_cast<size_t>(Count));
    while (got < 0 && errno == EINTR);
    if (got < 0) RaiseInOutError(errno, path_);
    return static_cast<int>(got);
  }

 private:
  std::string path_;
  int fd_ = -1;
  int64_t size_ = 0;
};

[[noreturn]] void RaiseOpenError(const QString& Name, int Error) {
  throw Exception(FormatMessage("Cannot open file \"%s\". %s", ToBytes(Name).c_str(), std::strerror(Error)));
}

// The whole text file, for splitting into lines.
std::string ReadWholeFile(const QString& Name) {
  const int fd = open(FileSystemName(Name).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) RaiseOpenError(Name, errno);
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got > 0) {
      bytes.append(buffer, static_cast<size_t>(got));
    } else if (got == 0) {
      break;
    } else if (errno != EINTR) {
      const int error = errno;
      close(fd);
      RaiseOpenError(Name, error);
    }
  }
  close(fd);
  return bytes;
}

// The pause after a line holds the window: no window event (Cancel, a key) is handled
// until it is over. The port's own hand-overs to the main thread still run, because its
// write thread waits for each of them before it writes more: without them the lines
// would not leave during the pause at all. A negative pause is no pause.
void PauseHoldingTheWindow(int Ms) {
  using namespace std::chrono;
  const auto until = steady_clock::now() + milliseconds(std::max(0, Ms));
  for (auto left = until - steady_clock::now(); left > steady_clock::duration::zero();
       left = until - steady_clock::now())
    CheckSynchronize(static_cast<int>(ceil<milliseconds>(left).count()));
}

// Runs its function when the scope is left, by the normal end or by an error.
template <typename Fn>
class AtScopeEnd {
 public:
  explicit AtScopeEnd(Fn F) : fn_(std::move(F)) {}
  ~AtScopeEnd() { fn_(); }
  AtScopeEnd(const AtScopeEnd&) = delete;
  AtScopeEnd& operator=(const AtScopeEnd&) = delete;

 private:
  Fn fn_;
};

}  // namespace

// Start-up: the send items bound, the progress bar hidden until a send, Timer1 running.
void TfrmTerm::CreateSending() {
  ProgressBar1->hide();
  ProgressBar1->setValue(0);
  Bind(SendText1, &QAction::triggered, this, [this] { SendText1Click(); });
  Bind(ResendText1, &QAction::triggered, this, [this] { ResendText1Click(); });
  Bind(CancelSend1, &QAction::triggered, this, [this] { CancelSend1Click(); });
  Bind(SendBinary1, &QAction::triggered, this, [this] { SendBinary1Click(); });
  Bind(ToolButton1, &QToolButton::clicked, this, [this] { SendText1Click(); });
  Bind(ToolButton2, &QToolButton::clicked, this, [this] { ResendText1Click(); });
  Bind(ToolButton8, &QToolButton::clicked, this, [this] { SendBinary1Click(); });
  Bind(ToolButton9, &QToolButton::clicked, this, [this] { ToolButton9Click(); });
  Bind(btnCancel, &QPushButton::clicked, this, [this] { CancelSend1Click(); });
  Bind(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
  Timer1->start();
}

// The window is closing: a send in one of its waits gives up, so the program can end.
void TfrmTerm::StopSends() {
  closing_ = true;
  CancelSend = true;
}

// One pass of the window's event handling. With MayWait the pass sleeps until the next
// event when none is pending, so a wait uses no processor time while nothing happens.
void TfrmTerm::HandleEventsOnce(bool MayWait) {
  QCoreApplication::processEvents(MayWait ? QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents
                                          : QEventLoop::AllEvents);
}

bool TfrmTerm::ChooseFileToSend() {
  dlgOpen.Filter = SendFilter;
  if (!Dialogs().OpenFile(this, dlgOpen)) return false;
  staPanel0->setText(QFileInfo(dlgOpen.FileName).absoluteFilePath());
  return true;
}

// A range of 0 to 0 would show the busy animation: an empty file gets an empty bar.
void TfrmTerm::ShowSendProgress(int Maximum) {
  ProgressBar1->show();
  btnCancel->show();
  ProgressBar1->setRange(0, std::max(Maximum, 1));
  ProgressBar1->setValue(0);
}

void TfrmTerm::HideSendProgress() {
  ProgressBar1->hide();
  btnCancel->hide();
}

void TfrmTerm::CancelSend1Click() { CancelSend = true; }

void TfrmTerm::Timer1Timer() { ++WaitTicks; }

// Text file.

void TfrmTerm::SendText1Click() {
  if (ChooseFileToSend()) SendTextFile();
}

void TfrmTerm::ResendText1Click() {
  if (staPanel0->text().isEmpty()) {
    Dialogs().Message(this, "No file to send");
    return;
  }
  SendTextFile();
}

void TfrmTerm::SendTextFile() {
  const QString name = staPanel0->text();
  if (name.isEmpty()) {
    Dialogs().Message(this, " ** no File selected to send **");
    return;
  }
  std::vector<std::string> lines = SplitTextLines(ReadWholeFile(name));
  ShowSendProgress(static_cast<int>(std::min<size_t>(lines.size(), INT_MAX)));
  bool sendingLines = false;
  const int hangUps = hangUps_;
  AtScopeEnd end([this, &sendingLines, hangUps] {
    HideSendProgress();
    if (sendingLines) SendingText = false;
    SendEnded(hangUps);
  });
  CancelSend = false;
  std::optional<char> awaited;
  const TTextTransferSettings settings = frmTransfer_->TextTransferSettings();
  if (settings.WaitEolChar) awaited = static_cast<char>(StrToInt(settings.EolChar) & 0xFF);
  if (!RunTransferAutomation()) return;

  SendingText = true;
  sendingLines = true;
  ReceivedText.clear();
  for (size_t i = 0; i < lines.size(); ++i) {
    writeToCom(lines[i] + '\r');
    ProgressBar1->setValue(static_cast<int>(i));
    const TTextTransferSettings now = frmTransfer_->TextTransferSettings();
    if (now.WaitEolDelay) PauseHoldingTheWindow(StrToInt(now.EolDel));
    if (awaited) WaitForCharacter(*awaited, hangUps);
    if (closing_) break;
    showReceived(ReceivedText);
    ReceivedText.clear();
    if (CancelSend || LineLostSince(hangUps)) break;
  }
}

// Until the awaited character has arrived (anywhere in what is held), Cancel is pressed
// or the line goes away; events are handled at least once before the first look.
void TfrmTerm::WaitForCharacter(char Awaited, int HangUps) {
  bool firstPass = true;
  do {
    HandleEventsOnce(!firstPass);
    firstPass = false;
    if (SendStopped(HangUps)) return;
  } while (ReceivedText.find(Awaited) == std::string::npos);
}

bool TfrmTerm::RunTransferAutomation() {
  if (!SerComm1->Active()) {
    Dialogs().Message(this, "You need to open a com port first");
    return false;
  }
  const std::string key = FileExtensionKey(ToBytes(staPanel0->text()));
  std::string command;
  int wait = 0;
  const TTextTransferSettings settings = frmTransfer_->TextTransferSettings();
  if (settings.ActiveXfer) {
    for (const TAutomationRule& rule : settings.Automation) {
      if (PatternKey(rule.Pattern) != key) continue;
      command = rule.Command;
      wait = StrToInt(rule.Wait);
    }
  }
  if (command.size() >= 2) writeToCom(command + '\r');

  // The wait counts ticks of Timer1; a running timer keeps its phase.
  WaitTicks = 0;
  const int hangUps = hangUps_;
  bool firstPass = true;
  do {
    // A send started and ended inside this wait stops the timer; this wait still needs it.
    if (!Timer1->isActive()) Timer1->start();
    HandleEventsOnce(!firstPass);
    firstPass = false;
  } while (!(WaitTicks > wait / 10.0) && !closing_ && !LineLostSince(hangUps));
  Timer1->stop();
  CancelSend = false;
  // The window closed meanwhile, and its port with it, or the line went away.
  return !closing_ && !LineLostSince(hangUps);
}

// Binary file.

void TfrmTerm::SendBinary1Click() {
  if (ChooseFileToSend()) SendBinaryFile();
}

void TfrmTerm::ToolButton9Click() { SendBinaryFile(); }

void TfrmTerm::SendBinaryFile() {
  const QString name = staPanel0->text();
  if (name.isEmpty()) {
    Dialogs().Message(this, " ** no File selected to send **");
    return;
  }
  ByteFile file(FileSystemName(name));
  ShowSendProgress(static_cast<int>(std::min<int64_t>(file.Size(), INT_MAX)));
  const int hangUps = hangUps_;
  // The wait for room wakes when the port's queue drains: the port tells of that only to
  // someone who listens.
  const bool listening = SerComm1->OnTxEmpty.Assigned();
  if (!listening) SerComm1->OnTxEmpty = [](TObject*) {};
  AtScopeEnd end([this, hangUps, listening] {
    if (!listening) SerComm1->OnTxEmpty = nullptr;
    HideSendProgress();
    ProgressBar1->setValue(0);
    CancelSend = false;
    SendEnded(hangUps);
  });
  CancelSend = false;
  const int ahead = SendAhead(SerComm1->LineRate());
  std::vector<char> batch(static_cast<size_t>(ahead));
  int64_t written = 0;
  for (;;) {
    const int room = WaitForLineRoom(ahead, hangUps);
    if (room == 0 || !WaitForClearToSend(hangUps)) break;
    const int count = file.Read(batch.data(), room);
    if (count == 0) break;
    SerComm1->WriteBuf(batch.data(), count);
    LogSent(std::string_view(batch.data(), static_cast<size_t>(count)));
    written += count;
    ProgressBar1->setValue(static_cast<int>(std::min<int64_t>(written, INT_MAX)));
    HandleEventsOnce(false);
    if (SendStopped(hangUps)) break;
  }
  // What the line has not taken yet stays behind, so that the send stops now.
  if (CancelSend) SerComm1->Purge(PURGE_TXABORT | PURGE_TXCLEAR);
}

// Until what is still on its way has fallen to half of Ahead; the room for the next batch,
// or 0 when Cancel or the line's going away ends the wait. The port's transmitter-empty
// delivery ends a pass when its queue drains; what the device holds drains without a
// word, so the pass also ends when the line should have sent it.
int TfrmTerm::WaitForLineRoom(int Ahead, int HangUps) {
  QTimer recheck;
  recheck.setSingleShot(true);
  recheck.setTimerType(Qt::PreciseTimer);
  for (;;) {
    const int toGo = SerComm1->OutputToGo();
    if (toGo <= Ahead / 2) return Ahead - toGo;
    recheck.start(LineTimeMs(toGo - Ahead / 2, SerComm1->LineRate()));
    HandleEventsOnce(true);
    if (SendStopped(HangUps)) return 0;
  }
}

// CTS is asked afresh before every batch; false when Cancel or the line's going away ends
// the wait.
bool TfrmTerm::WaitForClearToSend(int HangUps) {
  if (SerComm1->GetModemState(1)) return true;
  QTimer recheck;
  recheck.setSingleShot(true);
  do {
    recheck.start(CtsRecheckMs);  // wakes the pass below when nothing else does
    HandleEventsOnce(true);
    if (SendStopped(HangUps)) return false;
  } while (!SerComm1->GetModemState(1));
  return true;
}
