// SPDX-License-Identifier: GPL-3.0-or-later
// The session log on disk: the raw form byte for byte, the text form's lines and times,
// what a crash would leave after each flush, and a file deleted under the log.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <vector>

#include "console/SessionLog.h"
#include "console/TimeOfDay.h"
#include "framework/Exceptions.h"
#include "support/FileFaults.h"

namespace {

using std::chrono::milliseconds;

class Log : public ::testing::Test {
 protected:
  // Local time two hours ahead of UTC; the log starts at 2024-05-01 12:00:00 UTC.
  void SetUp() override {
    setenv("TZ", "TST-2", 1);
    tzset();
  }
  void TearDown() override {
    unsetenv("TZ");
    tzset();
  }

  SessionLog Open(LogForm Form) {
    return SessionLog(path, Form, [this] { return now; });
  }
  void At(int Ms) { now = start + milliseconds(Ms); }

  TempFolder folder;
  std::string path = folder / "session.log";
  const LogTime start = LogTime(std::chrono::seconds(1714564800));
  LogTime now = start;
};

TEST_F(Log, RawHoldsEveryByteAsItCameSplitAnyhow) {
  std::string bytes;
  for (int round = 0; round < 300; ++round)  // past the point where held bytes are written out
    for (int c = 0; c < 256; ++c) bytes += static_cast<char>((c + round) & 0xFF);
  SessionLog log = Open(LogForm::Raw);
  const size_t chunks[] = {1, 2, 255, 4096, 70000};
  size_t at = 0;
  for (size_t i = 0; at < bytes.size(); ++i) {
    const size_t size = std::min(chunks[i % std::size(chunks)], bytes.size() - at);
    log.Received(std::string_view(bytes).substr(at, size));
    log.Sent("typed");  // the raw form is what came, nothing else
    log.Note("COM1 unplugged");
    if (i == 3) log.Flush();
    at += size;
  }
  EXPECT_EQ(log.Size(), bytes.size());
  log.Close();
  EXPECT_EQ(FileBytes(path), bytes);
}

struct Step {
  char Kind;  // 'r' received, 's' sent, 'n' a note
  std::string Bytes;
  int Ms;
};

struct TextCase {
  const char* Name;
  std::vector<Step> Steps;
  std::string Log;
};

TEST_F(Log, TextLinesAndTheirTimes) {
  const std::string t = "2024-05-01 14:00:";
  const TextCase cases[] = {
      {"each line end ends a line, CR LF split over chunks too",
       {{'r', "a\rb\nc\r", 0}, {'r', "\nd\r\n\r\n", 5}},
       t + "00.000 a\n" + t + "00.000 b\n" + t + "00.000 c\n" + t + "00.005 d\n" + t + "00.005 \n"},
      {"control bytes in the pane's notation",
       {{'r', std::string("\x1b[0m\t\0\x7f\xff\bx\n", 11), 0}},
       t + "00.000 [1B][0m[09][00][7F][FF][08]x\n"},
      {"a line keeps the time of its first byte",
       {{'r', "ab", 0}, {'r', "c\n", 1500}},
       t + "00.000 abc\n"},
      {"typed keys and their echo fill a line each",
       {{'s', "l", 0}, {'r', "l", 1}, {'s', "s", 2}, {'r', "s", 3}, {'s', "\r", 4}, {'r', "\r\n", 5}},
       t + "00.000 [sent] ls\n" + t + "00.001 ls\n"},
      {"lines are written in the order they began",
       {{'r', "login: ", 0}, {'s', "root\r", 100}, {'r', "root\r\n", 105}},
       t + "00.000 login: root\n" + t + "00.100 [sent] root\n"},
      {"a note ends the lines begun and stands alone; the CR before it pairs with nothing",
       {{'r', "abc\r", 0}, {'s', "x", 5}, {'n', "COM1 unplugged", 10}, {'r', "\ndef", 20}},
       t + "00.000 abc\n" + t + "00.005 [sent] x\n" + t + "00.010 [note] COM1 unplugged\n" +
           t + "00.020 \n" + t + "00.020 def\n"},
  };
  for (const TextCase& c : cases) {
    SessionLog log = Open(LogForm::Text);
    for (const Step& step : c.Steps) {
      At(step.Ms);
      if (step.Kind == 'r') log.Received(step.Bytes);
      if (step.Kind == 's') log.Sent(step.Bytes);
      if (step.Kind == 'n') log.Note(step.Bytes);
    }
    log.Close();
    EXPECT_EQ(FileBytes(path), c.Log) << c.Name;
  }
}

// The pane's time column: local time, milliseconds cut so no second shows early.
TEST_F(Log, TimeOfDayIsLocalAndCutToTheMillisecond) {
  using std::chrono::microseconds;
  const std::pair<LogTime, const char*> times[] = {
      {start, "14:00:00.000"},
      {start + microseconds(1999999), "14:00:01.999"},
      {start - microseconds(1), "13:59:59.999"},
      {LogTime(-milliseconds(1)), "01:59:59.999"},
  };
  for (const auto& [at, text] : times) EXPECT_EQ(TimeOfDay(at), text);
}

// After each flush the file reads as the log so far: a line not yet ended stands as it is
// and is completed in place, not written twice.
TEST_F(Log, EachFlushLeavesTheLogSoFarOnDisk) {
  SessionLog log = Open(LogForm::Text);
  log.Received("login: ");
  log.Flush();
  EXPECT_EQ(FileBytes(path), "2024-05-01 14:00:00.000 login: \n");
  log.Received("root\r\n$ ");
  log.Flush();
  EXPECT_EQ(FileBytes(path), "2024-05-01 14:00:00.000 login: root\n2024-05-01 14:00:00.000 $ \n");
  EXPECT_EQ(log.Size(), FileBytes(path).size());
}

// A full disk and an unwritable folder are said through the window (SessionTest); here,
// the file taken away under an open log.
TEST_F(Log, ADeletedFileEndsTheLog) {
  SessionLog log = Open(LogForm::Text);
  log.Received("a\n");
  log.Flush();
  unlink(path.c_str());
  log.Received("b\n");
  try {
    log.Flush();
    ADD_FAILURE() << "no failure";
  } catch (const Exception& Error) {
    EXPECT_EQ(Error.Message(), "Logging to \"" + path + "\" stopped. The file was deleted");
  }
}

}  // namespace
