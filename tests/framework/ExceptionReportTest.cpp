// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/ExceptionReport.h"
#include "framework/Exceptions.h"

TEST(ExceptionReport, AddsAFullStopOnlyAfterCharactersAboveIt) {
  EXPECT_EQ(ExceptionReportText("Select a port first"), "Select a port first.");
  EXPECT_EQ(ExceptionReportText("Specified device not found (COM0)."), "Specified device not found (COM0).");
  EXPECT_EQ(ExceptionReportText("Transfer already in progress..."), "Transfer already in progress...");
  EXPECT_EQ(ExceptionReportText("Error (5)"), "Error (5)");  // ')' is below '.'
  EXPECT_EQ(ExceptionReportText("code 7"), "code 7.");
  EXPECT_EQ(ExceptionReportText(""), "");
}

TEST(ExceptionReport, GuardedReportsThroughTheHookAndAbortStaysSilent) {
  std::vector<std::string> shown;
  auto previous = SetExceptionReportHook([&](const std::string& m) { shown.push_back(m); });
  Guarded([] { throw Exception("Output buffer is full. Please check comm status."); });
  Guarded([] { throw EAbort(); });
  Guarded([] { throw 42; });
  SetExceptionReportHook(previous);
  EXPECT_EQ(shown, (std::vector<std::string>{"Output buffer is full. Please check comm status.",
                                             "Unknown exception"}));
}
