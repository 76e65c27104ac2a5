// SPDX-License-Identifier: GPL-3.0-or-later
#include "framework/ExceptionReport.h"

#include <cstdio>
#include <mutex>

#include "framework/Exceptions.h"

namespace {
std::mutex hookMutex;
ExceptionReportHook hook;
}  // namespace

ExceptionReportHook SetExceptionReportHook(ExceptionReportHook Hook) {
  std::lock_guard<std::mutex> lock(hookMutex);
  std::swap(hook, Hook);
  return Hook;
}

std::string ExceptionReportText(const std::string& Message) {
  if (!Message.empty() && static_cast<unsigned char>(Message.back()) > '.') return Message + ".";
  return Message;
}

void ReportException(const std::exception& E) {
  if (dynamic_cast<const EAbort*>(&E)) return;
  ExceptionReportHook current;
  {
    std::lock_guard<std::mutex> lock(hookMutex);
    current = hook;
  }
  if (current)
    current(E.what());
  else
    std::fprintf(stderr, "%s\n", ExceptionReportText(E.what()).c_str());
}

void ReportCurrentException() {
  try {
    throw;
  } catch (const std::exception& e) {
    ReportException(e);
  } catch (...) {
    ReportException(Exception("Unknown exception"));
  }
}
