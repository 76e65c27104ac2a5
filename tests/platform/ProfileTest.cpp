// SPDX-License-Identifier: GPL-3.0-or-later
// The INI profile: lookup and write rules, value encodings, atomic and refused writes.
#include "platform/Profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

class ProfileFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/profile-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    path = dir + "/tarvik-33.ini";
  }
  void TearDown() override {
    chmod(dir.c_str(), 0700);
    std::string command = "rm -rf '" + dir + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  void Write(const std::string& Text) { std::ofstream(path, std::ios::binary) << Text; }
  std::string Read() const {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  int FilesInDir() const {
    std::string command = "test $(ls -A '" + dir + "' | wc -l) -eq 1";
    return std::system(command.c_str()) == 0 ? 1 : 0;
  }

  std::string dir, path;
};

TEST_F(ProfileFile, AbsentFileSectionOrKeyGivesTheDefault) {
  Profile ini(path);
  EXPECT_EQ(ini.ReadString("Comms", "Baud", "x"), "x");
  EXPECT_EQ(ini.ReadInteger("Comms", "Baud", 6), 6);
  EXPECT_TRUE(ini.ReadBool("Comms", "Echo", true));
  Write("[Other]\nBaud=1\n[Comms]\nPort=2\n");
  EXPECT_EQ(ini.ReadInteger("Comms", "Baud", 6), 6);
  EXPECT_EQ(ini.ReadInteger("Missing", "Port", 7), 7);
}

TEST_F(ProfileFile, NamesMatchWithoutCaseAndBlanksAreDropped) {
  Write("  [ form ]  \nheightTERM =  436  \n\tFont=\tFixed sys \n");
  Profile ini(path);
  EXPECT_EQ(ini.ReadInteger("Form", "HeightTERM", 0), 436);
  EXPECT_EQ(ini.ReadString("FORM", "font", ""), "Fixed sys");
}

TEST_F(ProfileFile, FirstSectionAndKeyOfTheNameCount) {
  Write("[A]\nk=1\nk=2\n[a]\nk=3\n");
  Profile ini(path);
  EXPECT_EQ(ini.ReadInteger("A", "K", 0), 1);
  ini.WriteInteger("a", "k", 9);
  EXPECT_EQ(Read(), "[A]\nk=9\nk=2\n[a]\nk=3\n");
}

TEST_F(ProfileFile, ValuesAreReadWithAtMost2047Characters) {
  Write("[S]\nlong=" + std::string(3000, 'v') + "\n");
  EXPECT_EQ(Profile(path).ReadString("S", "long", ""), std::string(2047, 'v'));
}

TEST_F(ProfileFile, IntegerAndBooleanReadingRules) {
  Write(
      "[S]\nhex=0x0D\nHEX=0X1f\ndollar=$10\nneg=-5\nbare0x=0x\nword=yes\nempty=\n"
      "trail=12abc\ntwo=2\nzero=0\n");
  Profile ini(path);
  EXPECT_EQ(ini.ReadInteger("S", "hex", -1), 13);
  EXPECT_EQ(ini.ReadInteger("S", "dollar", -1), 16);
  EXPECT_EQ(ini.ReadInteger("S", "neg", 0), -5);
  EXPECT_EQ(ini.ReadInteger("S", "bare0x", -1), -1);
  EXPECT_EQ(ini.ReadInteger("S", "word", -1), -1);
  EXPECT_EQ(ini.ReadInteger("S", "empty", -1), -1);
  EXPECT_EQ(ini.ReadInteger("S", "trail", -1), -1);
  EXPECT_FALSE(ini.ReadBool("S", "word", false));
  EXPECT_TRUE(ini.ReadBool("S", "two", false));
  EXPECT_FALSE(ini.ReadBool("S", "zero", true));
}

TEST_F(ProfileFile, WritesCreateReplaceInPlaceAndAppend) {
  Profile ini(path);
  ini.WriteString("Comms", "Ctrl", "0");
  EXPECT_EQ(Read(), "[Comms]\nCtrl=0\n");
  Write("; comment\n[Comms]\nBaud=6\nnot a key line\n\n[Window]\nFont=Fixedsys\n");
  ini.WriteInteger("comms", "BAUD", 13);
  ini.WriteBool("Comms", "DTRLow", true);
  ini.WriteString("Form", "widthTERM", "551");
  EXPECT_EQ(Read(),
            "; comment\n[Comms]\nBAUD=13\nnot a key line\nDTRLow=1\n\n[Window]\nFont=Fixedsys\n"
            "[Form]\nwidthTERM=551\n");
}

TEST_F(ProfileFile, WindowsLineEndsAreKept) {
  Write("[S]\r\na=1\r\n");
  Profile ini(path);
  EXPECT_EQ(ini.ReadInteger("S", "a", 0), 1);
  ini.WriteInteger("S", "b", 2);
  EXPECT_EQ(Read(), "[S]\r\na=1\r\nb=2\r\n");
}

TEST_F(ProfileFile, WriteLeavesNoTemporaryFileAndKeepsTheMode) {
  Write("[S]\na=1\n");
  chmod(path.c_str(), 0640);
  Profile(path).WriteInteger("S", "a", 2);
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(FilesInDir(), 1);
}

TEST_F(ProfileFile, ReadOnlyFileIsRefusedAndLeftAsItWas) {
  Write("[S]\na=1\n");
  chmod(path.c_str(), 0444);
  Profile ini(path);
  try {
    ini.WriteInteger("S", "a", 2);
    FAIL() << "the write went through";
  } catch (const EProfileError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
  }
  EXPECT_EQ(Read(), "[S]\na=1\n");
  EXPECT_EQ(ini.ReadInteger("S", "a", 0), 1);
  EXPECT_EQ(FilesInDir(), 1);
}

TEST_F(ProfileFile, UnwritableDirectoryFailsForANewFile) {
  std::string missing = dir + "/no/such/dir/tarvik-33.ini";
  EXPECT_THROW(Profile(missing).WriteString("S", "a", "1"), EProfileError);
}

TEST_F(ProfileFile, SymbolicLinkStaysAndItsTargetIsWritten) {
  std::string target = dir + "/real.ini";
  std::ofstream(target) << "[S]\na=1\n";
  std::string link = dir + "/link.ini";
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  Profile(link).WriteInteger("S", "a", 5);
  struct stat st {};
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(Profile(target).ReadInteger("S", "a", 0), 5);
}

}  // namespace
