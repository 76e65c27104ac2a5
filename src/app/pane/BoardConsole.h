// SPDX-License-Identifier: GPL-3.0-or-later
// The settings for today's board consoles and what they change in the terminal pane:
// "ANSI Terminal" (received text drawn through the console parser, the keys without a
// character sent as the sequences consoles expect), "UTF-8" (both ways), "Enter Sends",
// and pastes paced for slow boards. All are off by default: the pane is then the plain
// display, and the keyboard sends what it always sent.
#pragma once

#include <QObject>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/pane/TypedKeys.h"
#include "console/Utf8.h"

class AnsiScreen;
class PacedPaste;
class PasteDelaysDialog;
class Profile;
class QAction;
class QKeyEvent;
class QMenu;
class TfrmTerm;

class BoardConsole : public QObject {
 public:
  struct Hooks {
    std::function<bool()> AddCR;  // the text transfer settings' "Add CR"
    std::function<void(int Total)> ShowProgress;
    std::function<void()> HideProgress;
  };

  explicit BoardConsole(TfrmTerm* Window);
  ~BoardConsole() override;

  void AddMenuItems(QMenu* Settings);
  // Once the pane and the send progress panel exist.
  void Attach(Hooks Callbacks);

  bool Ansi() const;
  bool Utf8() const;
  TEnterSends EnterSends() const;

  // The [Console] section.
  void ReadSettings(const Profile& Ini);
  void WriteSettings(Profile& Ini) const;

  // Received text drawn as a console's screen.
  void ShowReceived(const std::string& Text);
  // Received text for the plain display: with UTF-8, whole characters only, the start of
  // one split between pieces kept for the next.
  std::string PlainReceived(const std::string& Text);
  // The echo of one typed key.
  void Echo(const std::string& Keystroke);
  // The pane taken up as it stands, nothing held from before (the hex view has ended).
  void Restart();

  std::optional<std::string> KeystrokeOf(const QKeyEvent& Event) const;
  std::vector<Keystroke> KeystrokesOf(const QString& Text) const;
  // Sends the bytes of one key, echoed once; false, sending nothing, while the port is
  // closed. A single byte goes the way every typed character goes (mmoTermKeyPress).
  bool Type(const std::string& Keystroke);
  // Text pasted or dropped into the pane, typed out (paced when delays are set); false
  // while the port is closed.
  bool Paste(const QString& Text);
  void PasteDelays1Click();

  AnsiScreen& Screen() const { return *screen_; }
  bool PasteRunning() const;

  QAction* ANSITerminal1 = nullptr;
  QAction* UTF81 = nullptr;
  QMenu* EnterSends1 = nullptr;
  QAction* EnterCR1 = nullptr;
  QAction* EnterLF1 = nullptr;
  QAction* EnterCRLF1 = nullptr;
  QAction* PasteDelays1 = nullptr;
  int PasteCharacterDelay = 0;  // ms
  int PasteLineDelay = 0;       // ms

 private:
  KeyboardMode Keyboard() const;
  void Answer(const std::string& Text);

  TfrmTerm* window_;
  std::unique_ptr<AnsiScreen> screen_;
  PacedPaste* paste_ = nullptr;
  PasteDelaysDialog* delays_ = nullptr;
  Utf8Decoder plainDecoder_;
  std::chrono::steady_clock::time_point answersPausedUntil_{};
};
