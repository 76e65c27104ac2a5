// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "protocol/TransferFile.h"

namespace {

class TransferFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tarvik-file-XXXXXX";
    dir_ = mkdtemp(pattern);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Path(const std::string& Name) const { return dir_ + "/" + Name; }
  void Write(const std::string& Name, const std::string& Contents) const {
    std::ofstream(Path(Name), std::ios::binary) << Contents;
  }
  std::string Read(const std::string& Name) const {
    std::ifstream in(Path(Name), std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
  }

  std::string dir_;
};

TEST_F(TransferFileTest, NumberedNamesKeepTheExtension) {
  EXPECT_EQ(NumberedFileName("/a/data.bin", 1), "/a/data-1.bin");
  EXPECT_EQ(NumberedFileName("/a/data.tar.gz", 2), "/a/data.tar-2.gz");
  EXPECT_EQ(NumberedFileName("/a.b/data", 3), "/a.b/data-3");
  EXPECT_EQ(NumberedFileName("plain", 12), "plain-12");
}

TEST_F(TransferFileTest, CreatingANameTakenSinceItWasChosenMovesOnToTheNextFreeName) {
  // The existence check chose data.bin, then another program created it and data-1.bin.
  Write("data.bin", "theirs");
  Write("data-1.bin", "theirs too");
  TTransferFile file;
  std::string used;
  ASSERT_TRUE(file.CreateNew(Path("data.bin"), Path("data.bin"), used));
  EXPECT_EQ(used, Path("data-2.bin"));
  ASSERT_TRUE(file.Write("new", 3));
  file.Close();
  EXPECT_EQ(Read("data.bin"), "theirs");
  EXPECT_EQ(Read("data-1.bin"), "theirs too");
  EXPECT_EQ(Read("data-2.bin"), "new");
}

TEST_F(TransferFileTest, ADanglingLinkIsNotFollowed) {
  std::filesystem::create_symlink(Path("target.bin"), Path("link.bin"));
  TTransferFile file;
  std::string used;
  ASSERT_TRUE(file.CreateNew(Path("link.bin"), Path("link.bin"), used));
  EXPECT_EQ(used, Path("link-1.bin"));
  EXPECT_FALSE(std::filesystem::exists(Path("target.bin")));
}

TEST_F(TransferFileTest, CreateFailsInAMissingDirectory) {
  TTransferFile file;
  std::string used = "unchanged";
  EXPECT_FALSE(file.CreateNew(Path("no/x.bin"), Path("no/x.bin"), used));
  EXPECT_EQ(used, "unchanged");
  EXPECT_FALSE(file.IsOpen());
}

TEST_F(TransferFileTest, OpenReadsToTheEndWithPositionAndSize) {
  Write("f.bin", std::string(300, 'x'));
  TTransferFile file;
  ASSERT_TRUE(file.OpenExisting(Path("f.bin")));
  char block[256];
  EXPECT_EQ(file.Read(block, 256), 256);
  EXPECT_EQ(file.Position(), 256);
  EXPECT_EQ(file.Read(block, 256), 44);
  EXPECT_EQ(file.Position(), file.Size());
  EXPECT_EQ(file.Read(block, 256), 0);
  EXPECT_FALSE(file.OpenExisting(Path("absent.bin")));
}

TEST_F(TransferFileTest, AFileLockedByAnotherOpenerIsRefused) {
  Write("busy.bin", "x");
  const int other = open(Path("busy.bin").c_str(), O_RDONLY);
  ASSERT_EQ(flock(other, LOCK_EX), 0);
  TTransferFile file;
  EXPECT_FALSE(file.OpenExisting(Path("busy.bin")));
  close(other);
  EXPECT_TRUE(file.OpenExisting(Path("busy.bin")));
}

}  // namespace
