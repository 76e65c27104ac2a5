// SPDX-License-Identifier: GPL-3.0-or-later
// The session's tools: a log of it on disk (raw bytes, or timed text lines of both
// directions with notes of the port's coming and going), bytes sent by their hexadecimal
// codes, and finding text in the pane. The log runs beside the terminal: a log that cannot
// go on is ended and said so once, and the pane and the port carry on untouched.
#include <QAction>
#include <QBoxLayout>
#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QTimer>

#include "app/FileNames.h"
#include "app/Handlers.h"
#include "app/Latin1.h"
#include "app/pane/BoardConsole.h"
#include "app/pane/FindBar.h"
#include "app/pane/HexSendBar.h"
#include "app/pane/PaneView.h"
#include "app/tarvik.h"
#include "console/SessionLog.h"
#include "framework/ExceptionReport.h"

namespace {

const char* const LogFilter = "Raw log|*.bin|Text log|*.log";
constexpr int LogFlushMs = 1000;

// The extension typed picks the form; without .bin or .log the type chosen does, and a
// name without any extension gets that type's.
LogForm FormOfChoice(QString& Name, int FilterIndex) {
  const QString suffix = QFileInfo(Name).suffix().toLower();
  if (suffix == "log") return LogForm::Text;
  if (suffix == "bin") return LogForm::Raw;
  const LogForm form = FilterIndex == 2 ? LogForm::Text : LogForm::Raw;
  if (suffix.isEmpty()) Name += form == LogForm::Text ? ".log" : ".bin";
  return form;
}

// A port name as part of a file name: "COM33"; a device path by its last part.
QString PortForFileName(const std::string& Device) {
  QString name = FromBytes(Device.substr(Device.rfind('/') + 1));
  for (QChar& c : name)
    if (!c.isLetterOrNumber() && c != '-' && c != '_' && c != '.') c = '_';
  return name.isEmpty() ? QString("none") : name;
}

QString SizeText(uint64_t Bytes) {
  if (Bytes < 1024) return QString("%1 bytes").arg(Bytes);
  if (Bytes < 1024 * 1024) return QString("%1 KiB").arg(static_cast<double>(Bytes) / 1024, 0, 'f', 1);
  return QString("%1 MiB").arg(static_cast<double>(Bytes) / (1024 * 1024), 0, 'f', 1);
}

LogTime Now() { return std::chrono::system_clock::now(); }

// Runs a function whenever the watched widget changes size.
class OnResize : public QObject {
 public:
  OnResize(QWidget* Watched, std::function<void()> Fn) : QObject(Watched), fn_(std::move(Fn)) {
    Watched->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject*, QEvent* Event) override {
    if (Event->type() == QEvent::Resize) fn_();
    return false;
  }

 private:
  std::function<void()> fn_;
};

}  // namespace

void TfrmTerm::CreateSession() {
  lblLog = new QLabel(pnlBot);
  lblLog->setObjectName("lblLog");
  lblLog->setAccessibleName("Log");
  lblLog->hide();
  new OnResize(pnlBot, [this] { ShowLogSize(); });
  tmrLog = new QTimer(this);
  tmrLog->setObjectName("tmrLog");
  tmrLog->setInterval(LogFlushMs);
  Bind(tmrLog, &QTimer::timeout, this, [this] { tmrLogTimer(); });
  Bind(LogtoFile1, &QAction::triggered, this, [this] { LogtoFile1Click(); });
  // The port's own open and close are what the log notes, whoever opened or closed it: a
  // close after a hang-up is an unplug, an open of the lost port a reconnection.
  SerComm1->OnOpen = [this](TObject*) {
    NoteInLog(SerComm1->GetDeviceFileName() + (lostPort_ || lostNetworkPort_ ? " reconnected" : " connected"));
  };
  SerComm1->OnClose = [this](TObject*) {
    const bool unplugged = hangUps_ != loggedHangUps_;
    loggedHangUps_ = hangUps_;
    NoteInLog(SerComm1->GetDeviceFileName() + (unplugged ? " unplugged" : " disconnected"));
  };

  View->Attach(mmoTerm, [this] { Console->Restart(); });

  auto* column = qobject_cast<QBoxLayout*>(centralWidget()->layout());
  barFind = new FindBar(mmoTerm, centralWidget());
  barSendHex = new HexSendBar(mmoTerm, centralWidget());
  column->insertWidget(column->indexOf(mmoTerm), barFind);
  column->insertWidget(column->indexOf(mmoTerm) + 1, barSendHex);
  barSendHex->OnSend = [this](const std::string& Bytes) { return SendHexBytes(Bytes); };
  Find1->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
  Bind(SendHex1, &QAction::triggered, this, [this] { SendHex1Click(); });
  Bind(Find1, &QAction::triggered, this, [this] { Find1Click(); });
}

bool TfrmTerm::IsSessionShortcut(const QKeyEvent& Key) const {
  return QKeySequence(Key.keyCombination()) == Find1->shortcut();
}

// Log to File.

void TfrmTerm::LogtoFile1Click() {
  if (!LogtoFile1->isChecked()) {
    EndLog();
    return;
  }
  {
    QSignalBlocker blocker(LogtoFile1);
    LogtoFile1->setChecked(false);  // until the log runs
  }
  OpenFileRequest request;
  request.Filter = LogFilter;
  request.FilterIndex = logFilterIndex_;
  request.InitialDir = logFolder_.isEmpty() ? QDir::homePath() : logFolder_;
  request.FileName = QDir(request.InitialDir).filePath(
      "tarvik-" + PortForFileName(SerComm1->GetDeviceFileName()) + "-" +
      QDateTime::currentDateTime().toString("yyyy-MM-dd_HH-mm-ss"));
  if (!Dialogs().SaveFile(this, request)) return;
  QString name = request.FileName;
  const LogForm form = FormOfChoice(name, request.FilterIndex);
  try {
    log_ = std::make_unique<SessionLog>(FileSystemName(name), form, Now);
  } catch (const std::exception& Failure) {
    Dialogs().Message(this, FileNameText(Failure.what()));
    return;
  }
  logFolder_ = QFileInfo(name).absolutePath();
  logFilterIndex_ = form == LogForm::Text ? 2 : 1;
  {
    QSignalBlocker blocker(LogtoFile1);
    LogtoFile1->setChecked(true);
  }
  lblLog->setToolTip(name);
  lblLog->show();
  tmrLog->start();
  const std::string port = SerComm1->GetDeviceFileName();
  NoteInLog("Log started, " + port + (SerComm1->Active() ? " connected" : " not connected"));
  ShowLogSize();
}

template <class LogStep>
bool TfrmTerm::WriteLog(LogStep&& Step) {
  if (!log_) return false;
  try {
    Step(*log_);
  } catch (const std::exception& Failure) {
    LogFailed(Failure);
    return false;
  }
  return true;
}

// Unchecked, or the window closes: the log ends with its last byte on disk.
void TfrmTerm::EndLog() {
  if (WriteLog([](SessionLog& Log) {
        Log.Note("Log ended");
        Log.Close();
      }))
    StopLogging();
}

void TfrmTerm::StopLogging() {
  log_.reset();
  tmrLog->stop();
  lblLog->hide();
  QSignalBlocker blocker(LogtoFile1);
  LogtoFile1->setChecked(false);
}

void TfrmTerm::tmrLogTimer() {
  if (WriteLog([](SessionLog& Log) { Log.Flush(); })) ShowLogSize();
}

// The log is over; its message is shown once the handler that met the failure (a received
// chunk's) has finished, so nothing of the terminal's work waits for the user.
void TfrmTerm::LogFailed(const std::exception& Failure) {
  StopLogging();
  const QString message = FileNameText(Failure.what());
  QTimer::singleShot(0, this, [this, message] { Dialogs().Message(this, message); });
}

void TfrmTerm::LogReceived(std::string_view Bytes) {
  WriteLog([Bytes](SessionLog& Log) { Log.Received(Bytes); });
}

void TfrmTerm::LogSent(std::string_view Bytes) {
  WriteLog([Bytes](SessionLog& Log) { Log.Sent(Bytes); });
}

void TfrmTerm::NoteInLog(const std::string& Text) {
  WriteLog([&Text](SessionLog& Log) { Log.Note(Text); });
}

// At the right end of the panel above the status bar, clear of the send progress.
void TfrmTerm::ShowLogSize() {
  if (!log_) return;
  lblLog->setText("Log " + SizeText(log_->Size()));
  lblLog->adjustSize();
  const int left = std::max(ProgressBar1->geometry().right() + 8, pnlBot->width() - lblLog->width() - 4);
  lblLog->move(left, (pnlBot->height() - lblLog->height()) / 2);
}

// Send Hex.

void TfrmTerm::SendHex1Click() { barSendHex->Open(); }

// Sent as typed keys are: echoed when Echo is on, and in the log as sent.
QString TfrmTerm::SendHexBytes(const std::string& Bytes) {
  if (!SerComm1->Active()) return "Not connected: nothing sent";
  try {
    writeToCom(Bytes);
    if (Echo1->isChecked()) showText(Bytes);
  } catch (...) {
    ReportCurrentException();
    return "Not all sent";
  }
  return {};
}

// Find.

void TfrmTerm::Find1Click() { barFind->Open(); }
