// SPDX-License-Identifier: GPL-3.0-or-later
// Boards' consoles as the pane shows them with ANSI Terminal on: what a board sends, cut
// into the pieces it may arrive in, and the lines and colours the pane must end with.
#include <gtest/gtest.h>

#include <QTextBlock>
#include <QTextDocument>
#include <vector>

#include "TerminalRig.h"
#include "app/pane/AnsiScreen.h"
#include "app/pane/BoardConsole.h"

namespace {

struct Scene {
  const char* Name;
  std::vector<std::string> Pieces;
  QString Lines;                                 // the pane's text, lines joined by LF
  std::vector<std::pair<int, QString>> Colours;  // a line and its runs, as Runs writes them
  int Caret = -1;                                // where the board's cursor stands in the last line
};

// I, W and E lines of an ESP-IDF boot, each coloured by its level; the second colour
// sequence is cut between two pieces.
const Scene EspIdfBoot{
    "EspIdfBoot",
    {"ESP-ROM:esp32s3-20210327\r\nBuild:Mar 27 2021\r\n\x1b[0;32mI (27) boot: ESP-IDF v5.1.2 2nd stage "
     "bootloader\x1b[0m\r\n\x1b[0;3",
     "3mW (120) spi_flash: Detected size(8192k) larger than the size in the binary image "
     "header(2048k).\x1b[0m\r\n"
     "\x1b[0;31mE (230) wifi: wifi not start\x1b[0m\r\n"},
    "ESP-ROM:esp32s3-20210327\nBuild:Mar 27 2021\nI (27) boot: ESP-IDF v5.1.2 2nd stage bootloader\n"
    "W (120) spi_flash: Detected size(8192k) larger than the size in the binary image header(2048k).\n"
    "E (230) wifi: wifi not start\n",
    {{0, "'ESP-ROM:esp32s3-20210327'"},
     {2, "'I (27) boot: ESP-IDF v5.1.2 2nd stage bootloader'#00cd00"},
     {3,
      "'W (120) spi_flash: Detected size(8192k) larger than the size in the binary image "
      "header(2048k).'#cdcd00"},
     {4, "'E (230) wifi: wifi not start'#cd0000"}}};

// The REPL redraws its input line: a recalled history entry written over a longer typed
// line (cursor back without erasing, then erase to the end), and an insertion in the
// middle (the rest of the line written again, the cursor moved back over it).
const Scene MicroPythonRepl{
    "MicroPythonRepl",
    {">>> print(1+1)\r\n2\r\n>>> ", "import machine", "\b\b\b\b\b\b\b\b\b\b\b\b\b\bprint(1+1)\x1b[K",
     "\b\b\b\b", "2*1+1)\x1b[4D", "\r\n3\r\n>>> "},
    ">>> print(1+1)\n2\n>>> print(2*1+1)\n3\n>>> ",
    {}};

// The shell's coloured prompt; a tab with two candidates lists them and writes the
// prompt and the input again, a tab with one completes the word in place (after a bell).
const Scene ZephyrTab{"ZephyrTab",
                      {"\x1b[1;32muart:~$ \x1b[m", "ke",
                       "\r\n  kernel  kevents\r\n\x1b[1;32muart:~$ \x1b[mke", "r", "\x07nel "},
                      "uart:~$ ke\n  kernel  kevents\nuart:~$ kernel ",
                      {{0, "'uart:~$ '#00cd00,b 'ke'"}, {2, "'uart:~$ '#00cd00,b 'kernel '"}}};

const Scene ProgressBar{"ProgressBar",
                        {"Flashing [          ]   0%\r", "Flashing [#####     ]  50%\r",
                         "Flashing [##########] 100%\r\nDone\r\n"},
                        "Flashing [##########] 100%\nDone\n",
                        {}};

const Scene ClearAndStatusLine{"ClearAndStatusLine",
                               {"old\r\nlines\r\n", "\x1b[H\x1b[2J\x1b[3J", "one\r\ntwo\r\nthree\r\n",
                                "\x1b"
                                "7\x1b[1;1H\x1b[7mSTATUS\x1b[m\x1b[K\x1b"
                                "8",
                                "four", "\x1b[2;2H\x1b[J"},
                               "STATUS\nt\n\n",
                               {{0, "'STATUS'#0000a0"}}};

// The caret stands where the board's cursor is, not at the end of the text.
const Scene LineEditing{
    "LineEditing", {"abcdef\x1b[3G\x1b[2P", "\x1b[1@", "\x1b[6GXY\x1b[2D\x1b[1X", "\x1b[1K"}, "      Y", {}, 5};

void PrintTo(const Scene& C, std::ostream* Out) { *Out << C.Name; }

class ConsoleScreen : public ::testing::Test, public VirtualLineTerminal {
 protected:
  void SetUp() override {
    ASSERT_TRUE(term->SerComm1->Active());
    term->Console->ANSITerminal1->setChecked(true);
    // The default background, so that an inverse run shows it.
    term->SetPaneBackground(QColor(0, 0, 0xA0));
    term->show();  // the screen is the rows the pane shows
  }
  void TearDown() override { term->hide(); }
  void Show(const std::string& Bytes) { ASSERT_TRUE(Receive(Bytes)) << "not handled: " << Bytes; }

  // A line's runs: text in quotes, and the colour and boldness of those not drawn in the
  // pane's own look.
  QString Runs(int Line) const {
    std::vector<std::pair<QString, QString>> runs;  // text, look
    const QTextBlock block = Pane().document()->findBlockByNumber(Line);
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextCharFormat f = it.fragment().charFormat();
      QString look = f.hasProperty(QTextFormat::ForegroundBrush) ? f.foreground().color().name() : "";
      if (f.fontWeight() == QFont::Bold) look += ",b";
      if (!runs.empty() && runs.back().second == look)
        runs.back().first += it.fragment().text();
      else
        runs.emplace_back(it.fragment().text(), look);
    }
    QStringList written;
    for (const auto& [text, look] : runs) written << "'" + text + "'" + look;
    return written.join(' ');
  }
};

class Scenes : public ConsoleScreen, public ::testing::WithParamInterface<Scene> {};

TEST_P(Scenes, ShowAsTheConsoleDrewThem) {
  const Scene& scene = GetParam();
  for (const std::string& piece : scene.Pieces) Show(piece);
  EXPECT_EQ(Pane().toPlainText(), scene.Lines);
  for (const auto& [line, runs] : scene.Colours) EXPECT_EQ(Runs(line), runs) << "line " << line;
  if (scene.Caret >= 0) {
    EXPECT_EQ(Pane().textCursor().block(), Pane().document()->lastBlock());
    EXPECT_EQ(Pane().textCursor().positionInBlock(), scene.Caret);
  }
}

INSTANTIATE_TEST_SUITE_P(Boards, Scenes,
                         ::testing::Values(EspIdfBoot, MicroPythonRepl, ZephyrTab, ProgressBar,
                                           ClearAndStatusLine, LineEditing),
                         [](const ::testing::TestParamInfo<Scene>& Info) {
                           return std::string(Info.param.Name);
                         });

// Addressing works on the rows the pane shows, below the lines scrolled out of them.
TEST_F(ConsoleScreen, AddressingReachesTheLastScreenful) {
  const int rows = term->Console->Screen().Rows();
  ASSERT_GT(rows, 2);
  std::string lines;
  for (int i = 0; i < rows + 5; ++i) lines += "line" + std::to_string(i) + "\r\n";
  Show(lines);
  Show("\x1b[1;1HX\x1b[2;3H\x1b[6n");
  EXPECT_EQ(Pane().document()->findBlockByNumber(6).text(), "Xine6");
  EXPECT_EQ(Pane().document()->findBlockByNumber(5).text(), "line5");
  EXPECT_EQ(BoardGot(6), "\x1b[2;3R");
}

TEST_F(ConsoleScreen, ControlCharactersAndLineFeedsFollowTheirSettings) {
  Show(
      "a\x01"
      "b\r\n");
  term->mnuCtrl->trigger();
  Show(
      "c\x01"
      "d\x1b[12\xe9!\r\n");    // the broken sequence is shown, its ESC in notation
  SetCompletion(false, true);  // without Add CR an LF keeps the column; Add LF never applies
  Show("ef\ngh\r");
  EXPECT_EQ(Pane().toPlainText(), QString::fromUtf8("ab\nc[01]d[1B][12é!\nef\n  gh"));
}

// Switched off, the plain display goes on after the last line in the pane's own look.
TEST_F(ConsoleScreen, SwitchedOffThePlainDisplayGoesOnInItsOwnLook) {
  Show("\x1b[31mred\n");
  term->Console->ANSITerminal1->setChecked(false);
  Show("plain\x1b[1m");
  EXPECT_EQ(Pane().toPlainText(), "red\nplain[1m");
  EXPECT_EQ(Runs(1), "'plain[1m'");
}

// A character split between pieces waits for its rest, in either display.
TEST_F(ConsoleScreen, Utf8SplitBetweenPieces) {
  term->Console->UTF81->setChecked(true);
  for (bool ansi : {true, false}) {
    term->Console->ANSITerminal1->setChecked(ansi);
    term->Clearscreen1->trigger();
    for (const char* piece : {"caf\xc3", "\xa9 \xe2\x82", "\xac \xf0\x9f", "\x98\x80\xff!\r\n"}) Show(piece);
    EXPECT_EQ(Pane().toPlainText(), QString::fromUtf8("café € 😀\uFFFD!\n")) << "ansi " << ansi;
  }
  // In the plain display a backspace takes a whole character, and only controls are
  // shown in notation.
  Show("\xc3\xa9\xe2\x82\xac\by");
  term->mnuCtrl->trigger();
  Show("\x01\xc3\xa9!");
  term->Console->UTF81->setChecked(false);
  Show("caf\xe9.");
  EXPECT_EQ(Pane().toPlainText(), QString::fromUtf8("café € 😀\uFFFD!\néy[01]é!caf[E9]."));
}

// The pane keeps its bounds at whole lines; the cursor's line survives the trim.
TEST_F(ConsoleScreen, TrimKeepsWholeLastLines) {
  std::string many;
  for (int i = 0; i < 700; ++i) many += std::string(98, 'a' + i % 26) + "\r\n";
  term->showReceived(many);  // one piece, so that the trim comes with the next
  Show("tail\x1b[2D");
  EXPECT_LE(TerminalPane(&Pane()).Length(), AnsiScreen::PaneKeep + 100);
  EXPECT_EQ(Pane().document()->firstBlock().text(), QString(98, QChar(u'a' + (700 - 164) % 26)));
  Show("!");
  EXPECT_EQ(Pane().document()->lastBlock().text(), "ta!l");
}

}  // namespace
