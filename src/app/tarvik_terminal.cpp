// SPDX-License-Identifier: GPL-3.0-or-later
// How text reaches the terminal pane and the port: received chunks, the pane's display
// rules, and the keys typed into the pane.
#include <QAction>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPlainTextEdit>

#include "console/PaneRules.h"
#include "app/pane/BoardConsole.h"
#include "app/pane/PaneView.h"
#include "app/pane/TerminalPane.h"
#include "app/TextSet.h"
#include "app/pane/TypedKeys.h"
#include "app/tarvik.h"
#include "framework/ExceptionReport.h"
#include "framework/IntConvert.h"

namespace {

constexpr int PaneLimit = 64000;
constexpr int PaneKeep = 16384;
constexpr size_t ReceivedLimit = 2400;

// While the port is open, every character the pane's keyboard produces goes to
// mmoTermKeyPress instead of being inserted (and, with ANSI Terminal, every key that
// sends a sequence goes to the board); the shortcuts bound to such keys (copy, paste,
// select all) do not fire then, and text pasted or dropped is typed the same way.
// While it is closed the pane is a text box.
class PaneKeys : public QObject {
 public:
  PaneKeys(TfrmTerm* Window, TerminalEdit* Pane) : QObject(Pane), window_(Window) {
    Pane->installEventFilter(this);
    Pane->TakeInsertedText = [this](const QString& Text) { return TypeOut(Text); };
  }

 protected:
  bool eventFilter(QObject*, QEvent* Event) override {
    if (IsWindowKey(Event)) return false;
    switch (Event->type()) {
      case QEvent::ShortcutOverride:
        if (!Connected() || !Keys().KeystrokeOf(*static_cast<QKeyEvent*>(Event))) return false;
        Event->accept();  // the key comes to the pane as a key press
        return true;
      case QEvent::KeyPress:
        if (std::optional<std::string> key = Keys().KeystrokeOf(*static_cast<QKeyEvent*>(Event)))
          return Press(*key);
        return false;
      case QEvent::InputMethod:
        Compose(*static_cast<QInputMethodEvent*>(Event));
        return false;
      default:
        return false;
    }
  }

 private:
  bool Connected() const { return window_->SerComm1->Active(); }
  BoardConsole& Keys() const { return *window_->Console; }
  // The window's own shortcuts (Find) stay the window's, connected or not.
  bool IsWindowKey(QEvent* Event) const {
    return (Event->type() == QEvent::ShortcutOverride || Event->type() == QEvent::KeyPress) &&
           window_->IsSessionShortcut(*static_cast<QKeyEvent*>(Event));
  }

  // True when the key was taken; a handler that fails has taken it as well.
  bool Press(const std::string& Keystroke) {
    try {
      return Keys().Type(Keystroke);
    } catch (...) {
      ReportCurrentException();
      return true;
    }
  }

  // Typed key by key; a failing write ends the rest.
  bool TypeOut(const QString& Text) { return Keys().Paste(Text); }

  // Characters composed by an input method (dead keys) are typed characters too; the
  // pane still shows the composition in progress.
  void Compose(QInputMethodEvent& Event) {
    if (!Connected() || Event.commitString().isEmpty()) return;
    for (const Keystroke& key : Keys().KeystrokesOf(Event.commitString())) Press(key.Bytes);
    Event.setCommitString(QString());
  }

  TfrmTerm* window_;
};

}  // namespace

void TfrmTerm::BindTerminal() {
  SerComm1->OnRxChar = [this](TObject* Sender, int Count) { SerComm1RxChar(Sender, Count); };
  new PaneKeys(this, mmoTerm);
  Console->Attach({[this] { return frmTransfer_->TextTransferSettings().AddCR; },
                   [this](int Total) { ShowSendProgress(Total); }, [this] { HideSendProgress(); }});
}

void TfrmTerm::SerComm1RxChar(TObject*, int) {
  const std::string text = SerComm1->ReadText();
  LogReceived(text);  // every byte as it came, before any display rule
  ReceivedText += text;
  // With CTS flow control the board is held off while the chunk is handled; RTS comes
  // back also when showing fails, or the board would wait for ever.
  const bool holdOff = HWFlow1->isChecked();
  struct RtsBack {
    TSerComm* Port;
    bool Hold;
    ~RtsBack() {
      if (Hold) Guarded([this] { Port->SetRTS(true); });
    }
  } rtsBack{SerComm1, holdOff};
  if (holdOff) SerComm1->SetRTS(false);
  // The hex view shows every byte as it came, also during a text send.
  if (View->Hex()) View->ShowHex(text);
  else if (!SendingText) showReceived(text);
  if (ReceivedText.size() > ReceivedLimit) ReceivedText.clear();
}

void TfrmTerm::showReceived(const std::string& Received) {
  if (View->Hex()) return;  // shown as it came
  if (Console->Ansi()) {
    // During a text send the board's end-of-line answers stay out of the pane, as in
    // the plain display.
    std::string text = Received;
    if (SendingText)
      std::erase(text, static_cast<char>(StrToInt(frmTransfer_->TextTransferSettings().EolChar) % 256));
    Console->ShowReceived(text);
    return;
  }
  const std::string Text = Console->PlainReceived(Received);
  const ClearScreenSplit split = SplitAtClearScreen(Text);
  if (!split.HasEscape) {
    showText(Text);
    return;
  }
  if (!split.Before.empty()) showText(split.Before);
  if (split.Clears) Clearscreen1Click();
  if (!split.After.empty()) showText(split.After);
}

void TfrmTerm::showText(const std::string& Text) {
  if (View->Hex()) return;  // the hex view holds what the board sent, nothing else
  const bool utf8 = Console->Utf8();
  TerminalPane pane(mmoTerm, utf8);
  if (pane.Length() > PaneLimit) pane.KeepLast(PaneKeep);
  pane.CaretToEnd();

  std::string text = mnuCtrl->isChecked() ? ShowControlChars(Text, utf8) : Text;
  const bool replaceLast = ApplyBackspaces(text, utf8);
  const TTextTransferSettings settings = frmTransfer_->TextTransferSettings();
  // During a text send, a piece holding the end-of-line character is left out (the
  // send's acknowledgements); otherwise every byte is shown, a NUL too.
  if (SendingText) {
    const char eol = static_cast<char>(StrToInt(settings.EolChar) % 256);
    if (text.find(eol) != std::string::npos) return;
  }
  if (settings.AddLF) text = AddLineFeeds(text);
  if (settings.AddCR) text = AddCarriageReturns(text);
  if (text.empty() && !replaceLast) return;
  pane.Append(text, replaceLast);
}

void TfrmTerm::writeToCom(const std::string& Text) {
  for (char c : Text) {
    if (!SerComm1->Active()) return;
    SerComm1->WriteChar(c);
    LogSent(std::string_view(&c, 1));
  }
}

void TfrmTerm::mmoTermKeyPress(QObject*, std::optional<char>& Key) {
  if (!Key || !SerComm1->Active()) return;
  SerComm1->WriteChar(*Key);
  LogSent(std::string_view(&*Key, 1));
  if (Echo1->isChecked()) Console->Echo(std::string(1, *Key));
  Key.reset();
}

void TfrmTerm::Clearscreen1Click() { mmoTerm->clear(); }
