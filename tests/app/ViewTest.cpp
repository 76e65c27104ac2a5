// SPDX-License-Identifier: GPL-3.0-or-later
// Timestamps and the hex view in the window: times that stay with their lines whatever
// the pane does to them, hex rows completed in place, and the text display after them.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>

#include "TerminalRig.h"
#include "app/pane/BoardConsole.h"
#include "app/pane/LineTimes.h"
#include "app/pane/PaneView.h"
#include "app/pane/TimeGutter.h"
#include "console/HexRows.h"
#include "console/TimeOfDay.h"

namespace {

using Seconds = std::chrono::seconds;
using Time = std::chrono::system_clock::time_point;

enum class Display { Plain, Ansi, Hex };

class View : public ::testing::Test, public VirtualLineTerminal {
 protected:
  void SetUp() override {
    ASSERT_TRUE(term->SerComm1->Active());
    view.Times().SetClock([this] { return now; });
  }
  void SetDisplay(Display Mode) {
    term->Console->ANSITerminal1->setChecked(Mode == Display::Ansi);
    view.HexView1->setChecked(Mode == Display::Hex);
  }
  // Bytes as they come at second At of the test.
  void ComeAt(int At, const std::string& Bytes) {
    now = Time(Seconds(At));
    ASSERT_TRUE(Receive(Bytes)) << Bytes;
  }
  // Each line's time as seconds of the test, -1 for none.
  std::vector<int> Times() const {
    std::vector<int> times;
    for (QTextBlock line = Pane().document()->firstBlock(); line.isValid(); line = line.next()) {
      const std::optional<Time> at = LineTimes::TimeOf(line);
      times.push_back(at ? static_cast<int>(std::chrono::duration_cast<Seconds>(at->time_since_epoch()).count()) : -1);
    }
    return times;
  }

  PaneView& view = *term->View;
  Time now;
};

TEST_F(View, TimesBesideTheTextForLinesThatCameAfterTheCheck) {
  SetCompletion(false, false);
  ComeAt(1, "old\r\npar");
  term->show();
  view.Timestamps1->trigger();
  EXPECT_GT(Pane().viewport()->x(), view.Gutter().x());  // the column stands left of the text
  EXPECT_TRUE(view.Gutter().isVisible());
  term->resize(term->width() + 40, term->height() + 60);  // the column follows the pane's size
  EXPECT_EQ(view.Gutter().geometry().bottom(), Pane().viewport()->geometry().bottom());
  ComeAt(2, "tial\r\n\r\n");
  ComeAt(3, "ab");
  ComeAt(4, "\bc\r\n");  // a line keeps its time while it is edited
  EXPECT_EQ(Pane().toPlainText(), "old\npartial\n\nac\n");  // copied text holds no times
  EXPECT_EQ(Times(), (std::vector<int>{-1, -1, 2, 3, -1}));
  EXPECT_EQ(LineTimes::TextOf(Pane().document()->findBlockByNumber(3)), QString::fromStdString(TimeOfDay(Time(Seconds(3)))));
  // Echoed keys are a line's first characters too.
  term->Echo1->trigger();
  now = Time(Seconds(5));
  Pane().setFocus();
  QTest::keyClicks(&Pane(), "k");
  EXPECT_EQ(Times().back(), 5);
  term->Clearscreen1->trigger();
  ComeAt(6, "new\r\n");
  EXPECT_EQ(Times(), (std::vector<int>{6, -1}));
  view.Timestamps1->trigger();
  EXPECT_FALSE(view.Gutter().isVisible());
  EXPECT_EQ(Pane().viewport()->x(), Pane().contentsRect().x());
  term->hide();
}

// A console's cursor moves and overwrites keep each line's time; a cleared screen starts
// afresh.
TEST_F(View, ConsoleEditsKeepTheTimesOfTheirLines) {
  SetDisplay(Display::Ansi);
  term->show();
  view.Timestamps1->trigger();
  ComeAt(1, "one\r\ntwo\r\n");
  ComeAt(2, "\x1b[2A\r\x1b[KONE\x1b[2B\r\x1b[Kthree");  // a line erased and rewritten keeps its block
  EXPECT_EQ(Pane().toPlainText(), "ONE\ntwo\nthree");
  EXPECT_EQ(Times(), (std::vector<int>{1, 1, 2}));
  ComeAt(3, "\x1b[2J\x1b[Hfour");
  EXPECT_EQ(Times(), (std::vector<int>{3}));
  term->hide();
}

class Trimmed : public View, public ::testing::WithParamInterface<Display> {};

// Piece k comes at second k; after the pane's trim every line still has the time of the
// piece that began it: text lines end with their k (the plain trim may cut a line's
// start), hex rows say it by their offset.
TEST_P(Trimmed, TimesStayWithTheirLines) {
  SetDisplay(GetParam());
  view.Timestamps1->trigger();
  const bool hex = GetParam() == Display::Hex;
  for (int k = 1; k <= 1000; ++k) {
    now = Time(Seconds(k));
    char piece[128];
    std::snprintf(piece, sizeof piece, "%-16d", k);
    if (hex) view.ShowHex(std::string_view(piece, 16));
    else term->showReceived("line " + std::string(90, '-') + " " + std::to_string(k) + "\r\n");
  }
  const std::vector<int> times = Times();
  ASSERT_LT(TerminalPane(&Pane()).Length(), 64000 + 200);
  int checked = 0;
  for (QTextBlock line = Pane().document()->firstBlock(); line.isValid(); line = line.next()) {
    const QString text = line.text();
    if (text.isEmpty()) continue;
    bool ok = false;
    const int k = hex ? text.left(8).toInt(&ok, 16) / 16 + 1 : text.section(' ', -1).toInt(&ok);
    ASSERT_TRUE(ok) << text.toStdString();
    EXPECT_EQ(times[line.blockNumber()], k) << text.toStdString();
    ++checked;
  }
  EXPECT_GT(checked, 100);
  EXPECT_GT(times.front(), 300);  // trimmed
}

std::string NameOf(const ::testing::TestParamInfo<Display>& Info) {
  static const char* const Names[] = {"Plain", "Ansi", "Hex"};
  return Names[static_cast<int>(Info.param)];
}

INSTANTIATE_TEST_SUITE_P(Displays, Trimmed, ::testing::Values(Display::Plain, Display::Ansi, Display::Hex), NameOf);

TEST_F(View, HexRowsCompletedInPlaceThenTextAgain) {
  SetCompletion(true, true);
  view.Timestamps1->trigger();
  ComeAt(1, "boot");
  SetDisplay(Display::Hex);
  ComeAt(2, "AB");
  ComeAt(3, std::string("\r\n\0\x1b", 4) + "0123456789abcdef\xff");
  Pane().setFocus();
  term->Echo1->trigger();
  QTest::keyClicks(&Pane(), "q");  // sent, and not shown among what the board sent
  EXPECT_EQ(BoardGot(1), "q");
  EXPECT_EQ(term->ReceivedText, std::string("\r\n\0\x1b", 4) + "0123456789abcdef\xff");
  const QStringList rows = Pane().toPlainText().split('\n');
  ASSERT_EQ(rows.size(), 3) << Pane().toPlainText().toStdString();
  EXPECT_EQ(rows[1], "00000000  41 42 0d 0a 00 1b 30 31  32 33 34 35 36 37 38 39  |AB....0123456789|");
  EXPECT_EQ(rows[2].toStdString(), HexRows::Format(16, "abcdef\xff"));
  EXPECT_EQ(Times(), (std::vector<int>{1, 2, 3}));  // a row has the time of its first byte

  SetDisplay(Display::Ansi);  // the text display goes on below the rows, on a line of its own
  ComeAt(4, "\x1b[1mbold\x1b[0m\r\n");
  SetDisplay(Display::Hex);  // offsets from 0 again
  ComeAt(5, "z");
  SetDisplay(Display::Plain);
  ComeAt(6, "plain\r\n");
  EXPECT_EQ(Pane().toPlainText().split('\n').mid(3),
            QStringList({"bold", QString::fromStdString(HexRows::Format(0, "z")), "plain", ""}));

  // A piece so large that the trim would cut most of its rows puts only whole last rows.
  SetDisplay(Display::Hex);
  std::string flood;
  for (int i = 0; i < 65536; ++i) flood += static_cast<char>(i * 7);
  view.ShowHex(flood);
  const QTextDocument& doc = *Pane().document();
  EXPECT_LE(TerminalPane(&Pane()).Length(), 16384);
  EXPECT_TRUE(QRegularExpression("^[0-9a-f]{8}  ").match(doc.firstBlock().text()).hasMatch());
  EXPECT_EQ(doc.lastBlock().text().toStdString(), HexRows::Format(65536 - 16, flood.substr(65536 - 16)));
}

}  // namespace
