// SPDX-License-Identifier: GPL-3.0-or-later
#include "XModemScript.h"

#include <gtest/gtest.h>

void RunScript(ProtocolRig& Rig, const std::vector<ScriptStep>& Script, std::string& Wire,
               ScriptOutcome& Outcome) {
  Rig.RunPeer([&Wire, Script](LinePeer& Peer) {
    for (const ScriptStep& step : Script) {
      Wire += Peer.Read(step.Read);
      if (!step.Reply.empty()) Peer.Send(step.Reply);
    }
  });
  Rig.Xm.StartTransfer();
  ASSERT_TRUE(Rig.WaitForEnd()) << "the transfer did not end";
  Outcome.ExitCode = Rig.Log.ExitCode;
  Outcome.Errors = Rig.Log.ErrorCodes();
  Outcome.Tail = Rig.SentAfterPeer();
}

std::string Ctl(std::initializer_list<char> Bytes) { return std::string(Bytes); }

std::vector<ScriptStep> Repeat(int Count, ScriptStep Step) {
  return std::vector<ScriptStep>(static_cast<size_t>(Count), Step);
}

std::vector<ScriptStep> operator+(std::vector<ScriptStep> A, const std::vector<ScriptStep>& B) {
  A.insert(A.end(), B.begin(), B.end());
  return A;
}
