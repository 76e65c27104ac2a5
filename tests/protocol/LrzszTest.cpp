// SPDX-License-Identifier: GPL-3.0-or-later
// Interoperability with lrzsz's sx and rx over a pseudo-terminal, both directions.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <thread>

#include "LrzszPeer.h"
#include "ProtocolRig.h"
#include "XModemFrames.h"
#include "platform/TickCount.h"

namespace {

const size_t Sizes[] = {0, 1, 128, 129, 1024, 1025, 1 << 20};

std::string Describe(const TransferLog& Log) {
  std::string text = "our side: ends " + std::to_string(Log.Ends) + " exit " +
                     std::to_string(Log.ExitCode) + ", packets " +
                     std::to_string(Log.Packets.size()) + ", errors";
  for (const auto& e : Log.Errors) text += " " + std::to_string(e.first);
  return text;
}

struct Endpoint {
  std::unique_ptr<PtyPair> Link;
  std::unique_ptr<TSerComm> Port;
  std::unique_ptr<TSerXModem> Xm;
  TransferLog Log;
  std::string Dir;
};

class LrzszTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveProgram("sx") || !HaveProgram("rx")) GTEST_SKIP() << "lrzsz is not installed";
    char pattern[] = "/tmp/tarvik-lrzsz-XXXXXX";
    end_.Dir = mkdtemp(pattern);
    OpenEndpoint();
  }
  void TearDown() override {
    CloseEndpoint();
    if (!end_.Dir.empty()) std::system(("rm -rf " + end_.Dir).c_str());
  }

  void OpenEndpoint() {
    end_.Log = TransferLog();
    end_.Link = std::make_unique<PtyPair>(true);
    end_.Port = std::make_unique<TSerComm>(nullptr);
    end_.Port->SetDeviceName(end_.Link->SlavePath);
    end_.Port->SetBaudrate(br115200);
    end_.Port->Open();
    end_.Xm = std::make_unique<TSerXModem>(nullptr);
    end_.Xm->SetComm(end_.Port.get());
    RecordEvents(*end_.Xm, end_.Log);
  }
  void CloseEndpoint() {
    if (end_.Xm && end_.Xm->Busy()) {
      end_.Xm->AbortTransfer();
      PumpUntil([&] { return !end_.Xm->Busy(); }, 10000);
    }
    program_.reset();
    end_.Xm.reset();
    end_.Port.reset();
    end_.Link.reset();
  }

  std::string WriteSource(size_t Size) {
    data_ = frames::RandomBytes(Size, static_cast<unsigned>(Size) + 77);
    std::ofstream(end_.Dir + "/src.bin", std::ios::binary) << data_;
    return end_.Dir + "/src.bin";
  }
  void Spawn(const std::vector<std::string>& Argv, bool CaptureDiagnostics = false) {
    program_ = std::make_unique<LineProgram>(Argv, end_.Link->Master, end_.Link->Master,
                                             end_.Dir, CaptureDiagnostics);
    ASSERT_TRUE(program_->Started());
  }
  std::string ProgramLog(const std::string& Name) {
    return program_ && !program_->Diagnostics().empty()
               ? program_->Diagnostics()
               : ReadWholeFile(end_.Dir + "/" + Name + ".log");
  }

  Endpoint end_;
  std::unique_ptr<LineProgram> program_;
  std::string data_;
};

// Our sender to rx: rx writes whole blocks, so the file holds our fill of zeroes.
struct SendCase {
  bool crc;
  size_t size;
};

class SendToRx : public LrzszTest, public ::testing::WithParamInterface<SendCase> {
 protected:
  // One run; false when rx gave up on it.
  bool SendOnce(const SendCase& C) {
    end_.Xm->SetFileName(end_.Dir + "/src.bin");
    // rx acknowledges EOT only after a second of silence.
    end_.Xm->SetTimeout(3000);
    std::vector<std::string> argv = {"rx"};
    if (C.crc) argv.push_back("-c");
    argv.push_back("out.bin");  // rx refuses absolute paths
    end_.Xm->OnFileInfo = [&](TObject*, const std::string&, int) {
      // rx flushes its input right after sending its start byte, which would lose a block
      // sent at once in reply: the start byte reaches the sender only once rx is past that.
      // rx announces itself just before it sends the start byte.
      Spawn(argv, true);
      program_->WaitForDiagnostic("ready to receive", 10000);
      SleepMs(100);
    };
    // rx also flushes its input right after each ACK. On a serial line the ACK's own time
    // on the wire covers that; on a pseudo-terminal our next block could arrive first, so
    // it is held back briefly.
    end_.Xm->OnPacketEvent = [&](TObject*, int Packet, int Bytes) {
      end_.Log.Packets.emplace_back(Packet, Bytes);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    end_.Xm->StartTransfer();
    EXPECT_TRUE(PumpUntil([&] { return program_ && program_->Exited(); }, 120000))
        << ProgramLog("rx") << Describe(end_.Log);
    if (!program_ || program_->ExitStatus() != 0) return false;
    // rx flushes its line as it exits, so its last ACK may be lost: then our sender waits
    // in vain for it, and is stopped.
    if (!PumpUntil([&] { return !end_.Xm->Busy(); }, 1000)) {
      end_.Xm->AbortTransfer();
      EXPECT_TRUE(PumpUntil([&] { return !end_.Xm->Busy(); }, 10000));
      EXPECT_EQ(end_.Log.ExitCode, -3);
    } else {
      EXPECT_EQ(end_.Log.ExitCode, 0);
    }
    return true;
  }
};

TEST_P(SendToRx, RxReceivesTheFileWithOurFill) {
  const SendCase c = GetParam();
  WriteSource(c.size);
  if (!SendOnce(c)) {
    // A flush of rx's can still meet a block when the machine is busy; rx then aborts.
    std::cerr << "rx gave up (" << ProgramLog("rx") << "); once more\n";
    CloseEndpoint();
    std::remove((end_.Dir + "/out.bin").c_str());
    OpenEndpoint();
    ASSERT_TRUE(SendOnce(c)) << ProgramLog("rx") << Describe(end_.Log);
  }
  const std::string received = ReadWholeFile(end_.Dir + "/out.bin");
  EXPECT_TRUE(received == frames::Padded(data_, c.crc ? 1024 : 128, '\0'))
      << "received " << received.size() << " bytes";
}

std::vector<SendCase> SendCases() {
  std::vector<SendCase> cases;
  // Every block of ours races rx's flush after its ACK, and a busy machine loses one now
  // and then: 128-byte blocks stop at 40 KiB, past a wrap of the block number.
  for (bool crc : {false, true})
    for (size_t size : Sizes) cases.push_back({crc, crc ? size : std::min<size_t>(size, 40 << 10)});
  return cases;
}

std::string SendName(const ::testing::TestParamInfo<SendCase>& Info) {
  return std::string(Info.param.crc ? "Crc1K_" : "Checksum_") + std::to_string(Info.param.size);
}

INSTANTIATE_TEST_SUITE_P(Lrzsz, SendToRx, ::testing::ValuesIn(SendCases()), SendName);

// sx to our receiver: sx fills its last block with 0x1A.
struct ReceiveCase {
  TSerXProtocol protocol;
  bool longBlocks;  // sx -k
  size_t size;
};

class ReceiveFromSx : public LrzszTest, public ::testing::WithParamInterface<ReceiveCase> {};

TEST_P(ReceiveFromSx, WeReceiveTheFileWithItsFill) {
  const ReceiveCase c = GetParam();
  WriteSource(c.size);
  std::vector<std::string> argv = {"sx"};
  if (c.longBlocks) argv.push_back("-k");
  argv.push_back("src.bin");
  Spawn(argv);
  end_.Xm->SetMode(tmDownload);
  end_.Xm->SetProtocol(c.protocol);
  end_.Xm->SetFileName(end_.Dir + "/copy.bin");
  end_.Xm->SetTimeout(5000);
  end_.Xm->StartTransfer();
  ASSERT_TRUE(PumpUntil([&] { return end_.Log.Ends == 1; }, 120000)) << ProgramLog("sx");
  EXPECT_EQ(end_.Log.ExitCode, 0) << ProgramLog("sx");
  EXPECT_TRUE(end_.Log.Errors.empty());
  ASSERT_TRUE(PumpUntil([&] { return program_->Exited(); }, 20000));
  EXPECT_EQ(program_->ExitStatus(), 0) << ProgramLog("sx");

  const std::string received = ReadWholeFile(end_.Dir + "/copy.bin");
  ASSERT_GE(received.size(), data_.size());
  EXPECT_TRUE(received.compare(0, data_.size(), data_) == 0) << "data differs";
  const std::string fill = received.substr(data_.size());
  EXPECT_EQ(fill, std::string(fill.size(), '\x1a'));
  EXPECT_EQ(received.size() % 128, 0u);
  EXPECT_LT(fill.size(), c.longBlocks ? 1024u : 128u);
}

std::vector<ReceiveCase> ReceiveCases() {
  std::vector<ReceiveCase> cases;
  for (size_t size : Sizes) {
    cases.push_back({XModem, false, size});
    cases.push_back({XModem1K, false, size});
    cases.push_back({XModem1K, true, size});
  }
  return cases;
}

std::string ReceiveName(const ::testing::TestParamInfo<ReceiveCase>& Info) {
  const char* mode = Info.param.protocol == XModem ? "Checksum_" : Info.param.longBlocks ? "Crc1K_" : "Crc_";
  return mode + std::to_string(Info.param.size);
}

INSTANTIATE_TEST_SUITE_P(Lrzsz, ReceiveFromSx, ::testing::ValuesIn(ReceiveCases()), ReceiveName);

}  // namespace
