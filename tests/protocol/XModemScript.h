// SPDX-License-Identifier: GPL-3.0-or-later
// A scripted far end for one transfer: read so many bytes, then reply, step by step.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ProtocolRig.h"

struct ScriptStep {
  size_t Read;        // bytes the peer waits for
  std::string Reply;  // what it sends then
};

struct ScriptOutcome {
  int ExitCode = 0;
  std::vector<int> Errors;  // the ErrorCode of each OnError, in order
  std::string Tail;         // what the component sent after the script's last read
};

// Runs Script against Rig's component (already set up, not started) and starts it; the
// peer's reads, concatenated, go to Wire. Fails the test when the transfer does not end.
void RunScript(ProtocolRig& Rig, const std::vector<ScriptStep>& Script, std::string& Wire,
               ScriptOutcome& Outcome);

std::string Ctl(std::initializer_list<char> Bytes);
// Script steps: Count times the same step.
std::vector<ScriptStep> Repeat(int Count, ScriptStep Step);
std::vector<ScriptStep> operator+(std::vector<ScriptStep> A, const std::vector<ScriptStep>& B);
