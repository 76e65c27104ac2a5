// SPDX-License-Identifier: GPL-3.0-or-later
// Window activation follows focus between our own windows, not to other programs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QWidget>

#include "ScriptedDialogs.h"
#include "TempSettings.h"
#include "TestDevices.h"
#include "app/ActivationTracker.h"
#include "app/ProgramWindows.h"
#include "platform/Profile.h"

namespace {

class CountingWindow : public QWidget, public ActivationAware {
 public:
  void FormActivate() override { ++Activations; }
  void FormDeactivate() override { ++Deactivations; }
  int Activations = 0;
  int Deactivations = 0;
};

class Activation : public ::testing::Test {
 protected:
  ActivationTracker& tracker = *ActivationTracker::Instance();
  CountingWindow one, two;
};

TEST_F(Activation, CountedAcrossTwoOfOurWindowsOnly) {
  tracker.FocusMovedTo(&one);
  EXPECT_EQ(one.Activations, 1);  // first shown
  tracker.FocusMovedTo(&two);
  EXPECT_EQ(one.Deactivations, 1);
  EXPECT_EQ(two.Activations, 1);

  // To another program and back: nothing.
  tracker.FocusMovedTo(nullptr);
  tracker.FocusMovedTo(&two);
  EXPECT_EQ(two.Deactivations, 0);
  EXPECT_EQ(two.Activations, 1);

  // Away from `two`, back to `one`: a switch between our windows.
  tracker.FocusMovedTo(nullptr);
  tracker.FocusMovedTo(&one);
  EXPECT_EQ(two.Deactivations, 1);
  EXPECT_EQ(one.Activations, 2);
}

TEST_F(Activation, ExceptionReportDoesNotCount) {
  tracker.FocusMovedTo(&one);
  QWidget report;
  MarkOutsideActivation(&report);
  tracker.FocusMovedTo(&report);
  tracker.FocusMovedTo(&one);
  EXPECT_EQ(one.Activations, 1);
  EXPECT_EQ(one.Deactivations, 0);

  // An ordinary message box of ours does count.
  QWidget box;
  tracker.FocusMovedTo(&box);
  tracker.FocusMovedTo(&one);
  EXPECT_EQ(one.Deactivations, 1);
  EXPECT_EQ(one.Activations, 2);
}

TEST_F(Activation, HidingTheActiveWindowDeactivatesIt) {
  one.show();
  tracker.FocusMovedTo(&one);
  one.hide();
  EXPECT_EQ(one.Deactivations, 1);
  tracker.FocusMovedTo(&two);
  EXPECT_EQ(two.Activations, 1);
  EXPECT_EQ(one.Deactivations, 1);
}

TEST_F(Activation, RealFocusChangesReachTheWindows) {
  one.resize(100, 100);
  two.resize(100, 100);
  one.show();
  QApplication::setActiveWindow(&one);
  QApplication::processEvents();
  int before = one.Activations;
  two.show();
  QApplication::setActiveWindow(&two);
  QApplication::processEvents();
  EXPECT_EQ(two.Activations, 1);
  EXPECT_EQ(one.Deactivations, 1);
  EXPECT_GE(before, 1);
}

// The XMODEM window saves its section whenever the focus passes from it to the main
// window, and the main window loads its settings at its first activation.
TEST(ProgramActivation, XModemSavesWhenTheMainWindowTakesTheFocus) {
  TestDeviceRoot root;
  TempSettings settings;
  ScriptedDialogs dialogs;
  ProgramWindows w;
  ActivationTracker& tracker = *ActivationTracker::Instance();
  tracker.FocusMovedTo(w.frmTerm.get());
  EXPECT_FALSE(w.frmTerm->FirstActivation);
  tracker.FocusMovedTo(w.frmXModem.get());
  w.frmXModem->txtXModemFileName->setText("/tmp/board.bin");
  tracker.FocusMovedTo(nullptr);  // another program: nothing is saved
  EXPECT_EQ(settings.Read(), "");
  tracker.FocusMovedTo(w.frmTerm.get());
  EXPECT_EQ(Profile(settings.Path()).ReadString("XModem", "FileName", ""), "/tmp/board.bin");
  tracker.FocusMovedTo(nullptr);
}

}  // namespace

namespace {

// A desktop that gives a newly started program no focus (no window manager): the window
// is shown and closed without the focus ever coming to it. The showing alone loads the
// settings, so closing keeps them.
TEST(ProgramActivation, FirstShowingWithoutFocusLoadsTheSettings) {
  TestDeviceRoot root;
  TempSettings settings;
  ScriptedDialogs dialogs;
  settings.Write("[Comms]\nBaud=13\nStopBits=0\n[Window]\nColour=255\n");
  ProgramWindows w;
  TfrmTerm& term = *w.frmTerm;
  term.show();  // the platform's focus change waits in the event queue, never handled
  ASSERT_NE(QGuiApplication::focusWindow(), term.windowHandle());
  EXPECT_EQ(term.cboBaudRate->currentText(), "115200");
  term.close();
  Profile ini(settings.Path());
  EXPECT_EQ(ini.ReadInteger("Comms", "Baud", -1), 13);
  EXPECT_EQ(ini.ReadInteger("Comms", "StopBits", -1), 0);
  EXPECT_EQ(ini.ReadInteger("Window", "Colour", -1), 255);
}

}  // namespace
