// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pane/BoardConsole.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <algorithm>
#include <chrono>

#include "app/pane/AnsiScreen.h"
#include "app/pane/PacedPaste.h"
#include "app/pane/PaneView.h"
#include "app/pane/PasteDelaysDialog.h"
#include "app/tarvik.h"
#include "framework/ExceptionReport.h"
#include "platform/Profile.h"
#include "serial/SerComm.h"

namespace {

const char* const Section = "Console";
constexpr std::chrono::seconds AnswerPause{10};

QAction* AddCheckItem(QMenu* Menu, const char* Name, const char* Caption) {
  QAction* item = Menu->addAction(Caption);
  item->setObjectName(Name);
  item->setCheckable(true);
  return item;
}

// A check mark set from the settings never runs the item's action.
void SetMark(QAction* Item, bool Checked) {
  QSignalBlocker blocker(Item);
  Item->setChecked(Checked);
}

bool IsLineEnd(const std::string& Keystroke) {
  return Keystroke == "\r" || Keystroke == "\n" || Keystroke == "\r\n";
}

}  // namespace

BoardConsole::BoardConsole(TfrmTerm* Window) : QObject(Window), window_(Window) {}

BoardConsole::~BoardConsole() = default;

void BoardConsole::AddMenuItems(QMenu* Settings) {
  Settings->addSeparator();
  ANSITerminal1 = AddCheckItem(Settings, "ANSITerminal1", "ANSI Terminal");
  UTF81 = AddCheckItem(Settings, "UTF81", "UTF-8");
  EnterSends1 = Settings->addMenu("Enter Sends");
  EnterSends1->setObjectName("EnterSends1");
  auto* enter = new QActionGroup(EnterSends1);
  EnterCR1 = AddCheckItem(EnterSends1, "EnterCR1", "CR");
  EnterLF1 = AddCheckItem(EnterSends1, "EnterLF1", "LF");
  EnterCRLF1 = AddCheckItem(EnterSends1, "EnterCRLF1", "CR LF");
  for (QAction* item : {EnterCR1, EnterLF1, EnterCRLF1}) enter->addAction(item);
  EnterCR1->setChecked(true);
  PasteDelays1 = Settings->addAction("Paste Delays...");
  PasteDelays1->setObjectName("PasteDelays1");
}

void BoardConsole::Attach(Hooks Callbacks) {
  TfrmTerm* w = window_;
  screen_ = std::make_unique<AnsiScreen>(
      w->mmoTerm,
      AnsiScreen::Hooks{Callbacks.AddCR, [w] { return w->mnuCtrl->isChecked(); },
                        [w] { w->Clearscreen1Click(); }, [this](const std::string& Text) { Answer(Text); }});
  paste_ =
      new PacedPaste(this, {[this](const std::string& Bytes) { return Type(Bytes); }, Callbacks.ShowProgress,
                            [w](int Typed) { w->ProgressBar1->setValue(Typed); }, Callbacks.HideProgress});
  connect(w->CancelSend1, &QAction::triggered, paste_, &PacedPaste::Cancel);
  connect(w->btnCancel, &QPushButton::clicked, paste_, &PacedPaste::Cancel);
  // Switched on, the screen takes the pane up as it stands.
  connect(ANSITerminal1, &QAction::toggled, this, [this](bool On) {
    if (On) screen_->Restart();
  });
  connect(UTF81, &QAction::toggled, this, [this] { plainDecoder_.Reset(); });
  connect(PasteDelays1, &QAction::triggered, this, [this] { Guarded([this] { PasteDelays1Click(); }); });
}

// A line that takes nothing (a board that does not read, or asks faster than the line
// carries the answers) must not stall the window: an answer the port refuses is dropped,
// and none is tried for a while after, since each try waits for room first.
void BoardConsole::Answer(const std::string& Text) {
  const auto now = std::chrono::steady_clock::now();
  if (now < answersPausedUntil_) return;
  try {
    window_->writeToCom(Text);
  } catch (const ESerCommError&) {
    answersPausedUntil_ = now + AnswerPause;
  }
}

bool BoardConsole::Ansi() const { return ANSITerminal1->isChecked(); }

bool BoardConsole::Utf8() const { return UTF81->isChecked(); }

TEnterSends BoardConsole::EnterSends() const {
  if (EnterLF1->isChecked()) return esLF;
  if (EnterCRLF1->isChecked()) return esCRLF;
  return esCR;
}

void BoardConsole::ReadSettings(const Profile& Ini) {
  SetMark(ANSITerminal1, Ini.ReadBool(Section, "AnsiTerminal", false));
  SetMark(UTF81, Ini.ReadBool(Section, "Utf8", false));
  int enter = Ini.ReadInteger(Section, "EnterSends", esCR);
  if (enter < esCR || enter > esCRLF) enter = esCR;
  SetMark(EnterCR1, enter == esCR);
  SetMark(EnterLF1, enter == esLF);
  SetMark(EnterCRLF1, enter == esCRLF);
  const auto delay = [&](const char* Key) {
    return std::clamp(Ini.ReadInteger(Section, Key, 0), 0, PasteDelaysDialog::MaxDelayMs);
  };
  PasteCharacterDelay = delay("PasteCharDelay");
  PasteLineDelay = delay("PasteLineDelay");
}

void BoardConsole::WriteSettings(Profile& Ini) const {
  Ini.WriteBool(Section, "AnsiTerminal", Ansi());
  Ini.WriteBool(Section, "Utf8", Utf8());
  Ini.WriteInteger(Section, "EnterSends", EnterSends());
  Ini.WriteInteger(Section, "PasteCharDelay", PasteCharacterDelay);
  Ini.WriteInteger(Section, "PasteLineDelay", PasteLineDelay);
}

void BoardConsole::ShowReceived(const std::string& Text) {
  screen_->SetUtf8(Utf8());
  screen_->Receive(Text);
}

std::string BoardConsole::PlainReceived(const std::string& Text) {
  return Utf8() ? plainDecoder_.WholeCharacters(Text) : Text;
}

void BoardConsole::Restart() {
  plainDecoder_.Reset();
  screen_->Restart();
}

// As a terminal with local echo shows typing; Enter, whatever it sends, starts a new line.
void BoardConsole::Echo(const std::string& Keystroke) {
  if (window_->View->Hex()) return;  // the hex view holds what the board sent
  if (!Ansi()) {
    window_->showText(Keystroke);
    return;
  }
  screen_->SetUtf8(Utf8());
  screen_->Echo(IsLineEnd(Keystroke) ? "\r\n" : Keystroke);
}

KeyboardMode BoardConsole::Keyboard() const {
  return {Ansi(), screen_ && screen_->ApplicationCursorKeys(), Utf8(), EnterSends()};
}

std::optional<std::string> BoardConsole::KeystrokeOf(const QKeyEvent& Event) const {
  return KeystrokeOfKey(Event, Keyboard());
}

std::vector<Keystroke> BoardConsole::KeystrokesOf(const QString& Text) const {
  return KeystrokesOfPaste(Text, Keyboard());
}

bool BoardConsole::Type(const std::string& Keystroke) {
  if (Keystroke.size() == 1) {
    std::optional<char> key = Keystroke[0];
    window_->mmoTermKeyPress(window_->mmoTerm, key);
    return !key;
  }
  if (!window_->SerComm1->Active()) return false;
  window_->writeToCom(Keystroke);
  if (window_->Echo1->isChecked()) Echo(Keystroke);
  return true;
}

// Unpaced, the text goes out at once as before; a failing write ends the rest.
bool BoardConsole::Paste(const QString& Text) {
  if (!window_->SerComm1->Active()) return false;
  const std::vector<Keystroke> keys = KeystrokesOf(Text);
  if (PasteCharacterDelay == 0 && PasteLineDelay == 0 && !paste_->Running()) {
    Guarded([&] {
      for (const Keystroke& key : keys)
        if (!Type(key.Bytes)) break;
    });
  } else {
    paste_->Start(keys, PasteCharacterDelay, PasteLineDelay);
  }
  return true;
}

bool BoardConsole::PasteRunning() const { return paste_->Running(); }

void BoardConsole::PasteDelays1Click() {
  if (!delays_) {
    delays_ = new PasteDelaysDialog(window_);
    connect(delays_, &QDialog::accepted, this, [this] {
      PasteCharacterDelay = delays_->CharacterDelay();
      PasteLineDelay = delays_->LineDelay();
    });
  }
  delays_->SetDelays(PasteCharacterDelay, PasteLineDelay);
  delays_->open();
}
