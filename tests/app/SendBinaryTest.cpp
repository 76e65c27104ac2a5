// SPDX-License-Identifier: GPL-3.0-or-later
// Binary sends through the real window to the board simulator on the virtual line, whose
// board can hold CTS off: the exact bytes, the CTS hold, Cancel and the file errors.
#include <sys/stat.h>

#include <QComboBox>

#include "SendRig.h"
#include "support/PtyPair.h"

namespace {

class BinarySend : public SendRig {
 protected:
  static std::string Pattern(size_t Size) {
    std::string bytes(Size, '\0');
    for (size_t i = 0; i < Size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    return bytes;
  }
  // Counts passes of the window's event handling, so a step can let some go by.
  static std::function<bool()> AfterPasses(int Count, std::function<void()> Then) {
    auto left = std::make_shared<int>(Count);
    return [left, Then] {
      if (--*left > 0) return false;
      Then();
      return true;
    };
  }

  // The board on a virtual line paced at 115200 baud, which takes bytes as a UART does.
  static constexpr size_t LineBytesPerMs = 115200 / 10 / 1000;
  void ConnectPacedBoard() {
    term->cboBaudRate->setCurrentIndex(term->cboBaudRate->findText("115200"));
    ConnectVirtualBoard();
    line->SetPaced(true);
  }
};

TEST_F(BinarySend, BytesGoOutExactlyAsTheyStand) {
  ConnectVirtualBoard();
  std::string bytes = std::string("\r\n\0\r", 4) + Pattern(100000) + std::string("\0", 1);
  QString path = File("raw.bin", bytes);
  chmod(path.toLocal8Bit().constData(), 0444);  // read-only files can be sent
  SendScript script(term);
  int maximum = -1;
  script.Then([&] {
    maximum = ProgressShown() ? term->ProgressBar1->maximum() : -2;
    return true;
  });
  SendBinary(path);
  ExpectBoardGot(bytes);
  EXPECT_EQ(maximum, static_cast<int>(bytes.size()));
  EXPECT_FALSE(ProgressShown());
  EXPECT_EQ(term->ProgressBar1->value(), 0);
  EXPECT_TRUE(dialogs.Reports.isEmpty()) << Reports();
  EXPECT_EQ(dialogs.Asked.at(0).Filter, "All Files|*.*|BASIC|*.bas|Hex Files|*.hex|Forth Files|*.fth");
  EXPECT_EQ(term->staPanel0->text(), path);
}

// The real open dialog under "All Files" lists a firmware image named without a dot.
TEST_F(BinarySend, AllFilesListsNamesWithoutADot) {
  ConnectVirtualBoard();
  const QString firmware = File("fw", "image");
  File("notes.txt", "");
  term->dlgOpen.InitialDir = files.path();
  dialogs.RealFileDialog = true;
  QStringList listed;
  WhenFileDialogOpens([&](QFileDialog& Dialog) {
    (void)QTest::qWaitFor([&] { return (listed = FileDialogListing(Dialog)).size() == 2; }, 2000);
    ChooseInFileDialog(Dialog, firmware);
  });
  term->SendBinary1->trigger();
  EXPECT_EQ(listed, (QStringList{"fw", "notes.txt"}));
  ExpectBoardGot("image");
}

TEST_F(BinarySend, ResendSendsTheLastTextFileAsRawBytes) {
  ConnectPtyBoard();
  QString path = File("prog.txt", "a\nb\r\n");
  SendText(path);
  ExpectBoardGot("a\rb\r");
  term->ToolButton9->click();
  ExpectBoardGot("a\rb\ra\nb\r\n");
}

// Pulled mid-file: the port closes and its CTS reads off, which must not hold the send.
TEST_F(BinarySend, UnplugEndsTheSendAtOnce) {
  PtyPair adapter;
  Connect(adapter.SlavePath);
  std::chrono::steady_clock::time_point unplugged;
  SendScript script(term);
  script.Then([&] {
    if (term->ProgressBar1->value() < 1000) return false;
    adapter.CloseMaster();
    unplugged = std::chrono::steady_clock::now();
    return true;
  });
  CancelLater(script, term);
  SendBinary(File("big.bin", Pattern(200000)));
  ExpectStoppedByTheUnplug(unplugged);
}

TEST_F(BinarySend, EmptyFileSendsNothing) {
  ConnectVirtualBoard();
  SendBinary(File("empty.bin", ""));
  EXPECT_FALSE(ProgressShown());
  EXPECT_FALSE(board->WaitForReceived(std::string(1, '\0'), 100));
  EXPECT_EQ(Received(), "");
}

// CTS drops while a batch is on its way on a line that takes its time: that batch still
// arrives, nothing after it, and the send goes on with the next byte when CTS is back.
TEST_F(BinarySend, CtsOffHoldsTheNextByteUntilItComesOn) {
  ConnectPacedBoard();
  const std::string bytes = Pattern(8000);
  board->SetClearToSend(false);
  SendScript script(term);
  bool nothingBeforeCts = false;
  int heldAt = -1;
  size_t gotAtDrop = 0;
  std::string gotWhileHeld;
  script.Then(AfterPasses(20, [&] {
    nothingBeforeCts = term->ProgressBar1->value() == 0 && Received().empty();
    board->SetClearToSend(true);
  }));
  script.Then([&] {
    if (term->ProgressBar1->value() < 3000) return false;
    board->SetClearToSend(false);
    gotAtDrop = Received().size();
    heldAt = term->ProgressBar1->value();
    return true;
  });
  script.Then(AfterPasses(20, [&] {
    board->WaitForReceived(bytes.substr(0, heldAt), 10000);
    gotWhileHeld = Received();
    EXPECT_EQ(term->ProgressBar1->value(), heldAt);
    board->SetClearToSend(true);
  }));
  SendBinary(File("held.bin", bytes));
  EXPECT_TRUE(script.Finished());
  EXPECT_TRUE(nothingBeforeCts);
  ASSERT_GT(heldAt, 0);
  EXPECT_EQ(gotWhileHeld, bytes.substr(0, heldAt));
  EXPECT_LE(gotWhileHeld.size() - gotAtDrop, 50 * LineBytesPerMs)
      << "no more than 50 ms of line leaves once CTS has dropped";
  ExpectBoardGot(bytes);
}

// Cancel while a batch is on its way: what the line has not taken is dropped, so the board
// gets no more than the line carries until the send has ended.
TEST_F(BinarySend, CancelStopsTheLineAtOnce) {
  ConnectPacedBoard();
  const std::string bytes = Pattern(20000);
  SendScript script(term);
  int cancelledAt = -1;
  size_t gotAtCancel = 0;
  std::chrono::steady_clock::time_point clicked;
  script.Then([&] {
    if (term->ProgressBar1->value() < 3000) return false;
    cancelledAt = term->ProgressBar1->value();
    gotAtCancel = Received().size();
    clicked = std::chrono::steady_clock::now();
    term->btnCancel->click();
    return true;
  });
  SendBinary(File("long.bin", bytes));
  const auto sendMs = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - clicked).count();
  EXPECT_FALSE(BoardGets(bytes, 300));  // what is still on the line arrives meanwhile
  const std::string got = Received();
  ASSERT_GT(cancelledAt, 0);
  EXPECT_EQ(got, bytes.substr(0, got.size()));
  EXPECT_LE(got.size(), static_cast<size_t>(cancelledAt));
  // The board reads its line on a thread of its own: allow it 20 ms more.
  EXPECT_LE(got.size() - gotAtCancel, (sendMs + 1 + 20) * LineBytesPerMs);
  EXPECT_FALSE(ProgressShown());
  EXPECT_EQ(term->ProgressBar1->value(), 0);
  EXPECT_FALSE(term->CancelSend);
}

TEST_F(BinarySend, CancelDuringTheCtsWaitSendsNothing) {
  // No port open: CTS reads off, so the send waits before the first byte.
  SendScript closed(term);
  closed.Then(AfterPasses(10, [&] { term->btnCancel->click(); }));
  SendBinary(File("closed.bin", "abc"));
  EXPECT_TRUE(closed.Finished());
  EXPECT_FALSE(ProgressShown());

  ConnectVirtualBoard();
  board->SetClearToSend(false);
  SendScript held(term);
  held.Then(AfterPasses(10, [&] { term->CancelSend1->trigger(); }));
  term->ToolButton9->click();
  EXPECT_TRUE(held.Finished());
  EXPECT_FALSE(held.TimedOut);
  EXPECT_FALSE(board->WaitForReceived("a", 100));
  EXPECT_FALSE(ProgressShown());
  EXPECT_TRUE(dialogs.Reports.isEmpty()) << Reports();
}

TEST_F(BinarySend, FileErrors) {
  term->ToolButton9->click();
  EXPECT_EQ(dialogs.Messages, QStringList{" ** no File selected to send **"});

  const QString folder = files.path();
  const struct {
    QString Path;
    QString Report;
  } cases[] = {
      {folder + "/none.bin", "File not found."},
      {folder + "/nofolder/x.bin", "Invalid filename."},
      {File("plain", "x") + "/x.bin", "Invalid filename."},
      {folder, "File access denied."},
  };
  for (const auto& c : cases) {
    dialogs.Reports.clear();
    term->staPanel0->setText(c.Path);
    term->ToolButton9->click();
    EXPECT_EQ(dialogs.Reports, QStringList{c.Report}) << c.Path.toStdString();
    EXPECT_FALSE(ProgressShown());
  }
}

TEST_F(BinarySend, FailedReadEndsTheSendAndCleansUp) {
  ConnectVirtualBoard();
  term->staPanel0->setText("/proc/self/mem");  // opens, but its first page cannot be read
  term->ToolButton9->click();
  EXPECT_EQ(dialogs.Reports, QStringList{"I/O error 5."});
  EXPECT_FALSE(ProgressShown());
  EXPECT_EQ(term->ProgressBar1->value(), 0);
  EXPECT_FALSE(term->CancelSend);
}

}  // namespace
