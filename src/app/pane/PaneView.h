// SPDX-License-Identifier: GPL-3.0-or-later
// How the pane shows a session besides its text: "Timestamps" (each line's time in a
// column beside the text) and "Hex View" (what arrives as hex rows instead of text).
// Both are off at first. Timestamps is kept in the [View] section; the hex view is off at
// every start, since it hides the board's text.
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <string_view>

class HexPane;
class LineTimes;
class Profile;
class QAction;
class QMenu;
class TerminalEdit;
class TimeGutter;

class PaneView : public QObject {
 public:
  explicit PaneView(QObject* Parent);
  ~PaneView() override;

  void AddMenuItems(QMenu* Settings);
  // Once the pane exists. TextResumes runs when the hex view ends, so the text display
  // takes the pane up as it stands.
  void Attach(TerminalEdit* Pane, std::function<void()> TextResumes);

  bool Hex() const;
  // What arrived, as hex rows.
  void ShowHex(std::string_view Bytes);
  LineTimes& Times() const { return *times_; }
  TimeGutter& Gutter() const { return *gutter_; }

  // The [View] section.
  void ReadSettings(const Profile& Ini);
  void WriteSettings(Profile& Ini) const;

  QAction* Timestamps1 = nullptr;
  QAction* HexView1 = nullptr;

 private:
  void Timestamps1Click();
  void HexView1Click();

  TerminalEdit* pane_ = nullptr;
  LineTimes* times_ = nullptr;
  TimeGutter* gutter_ = nullptr;
  std::unique_ptr<HexPane> hex_;
  std::function<void()> textResumes_;
};
