// SPDX-License-Identifier: GPL-3.0-or-later
// The exception report: every exception that a handler raises and that is swallowed
// (event deliveries, OnOpen, OnError, protocol events) is shown through this hook.
#pragma once

#include <exception>
#include <functional>
#include <string>

using ExceptionReportHook = std::function<void(const std::string& Message)>;

// Installs the hook; returns the previous one. Without a hook reports go to stderr.
ExceptionReportHook SetExceptionReportHook(ExceptionReportHook Hook);

// Shows the message of E through the hook. EAbort is silent.
void ReportException(const std::exception& E);
// Reports the exception being handled (call inside a catch block).
void ReportCurrentException();

// The text the report shows: a full stop is added when the last character's code
// is above that of the full stop.
std::string ExceptionReportText(const std::string& Message);

// Runs Fn; any exception it raises is reported and swallowed.
template <typename Fn>
void Guarded(Fn&& fn) {
  try {
    fn();
  } catch (...) {
    ReportCurrentException();
  }
}
