// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up of the program: time from launching a process to its main window painted
// for the first time, and its resident memory at that moment. Five starts, offscreen;
// the median is printed. Each start is a fresh process running the program's own start
// (application, the four windows in their order, the main window shown).
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QEvent>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "app/ProgramWindows.h"
#include "app/TarvikApplication.h"

extern char** environ;

namespace {

long long MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

long ResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

// Reports the first paint of the main window, then ends the program.
class FirstPaint : public QObject {
 public:
  explicit FirstPaint(TfrmTerm* Window) : window_(Window) { Window->installEventFilter(this); }

 protected:
  bool eventFilter(QObject*, QEvent* Event) override {
    if (Event->type() == QEvent::Paint && !done_) {
      done_ = true;
      std::printf("%lld %ld %d\n", MonotonicNs(), ResidentKb(), window_->FirstActivation ? 0 : 1);
      std::fflush(stdout);
      QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    }
    return false;
  }

 private:
  TfrmTerm* window_;
  bool done_ = false;
};

int Child(int argc, char** argv) {
  TarvikApplication app(argc, argv);
  ProgramWindows windows;
  FirstPaint watch(windows.frmTerm.get());
  windows.frmTerm->show();
  return app.exec();
}

struct Start {
  double Ms;
  long RssKb;
  bool Activated;
};

bool RunOnce(const char* Self, Start& Result) {
  int out[2];
  if (pipe(out) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  char* args[] = {const_cast<char*>(Self), const_cast<char*>("--child"), nullptr};
  pid_t pid = 0;
  long long launched = MonotonicNs();
  int rc = posix_spawn(&pid, Self, &actions, nullptr, args, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (rc != 0) return false;
  char buffer[256] = {};
  std::string line;
  ssize_t n;
  while ((n = read(out[0], buffer, sizeof buffer - 1)) > 0) line.append(buffer, static_cast<size_t>(n));
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  long long painted = 0;
  long rss = 0;
  int activated = 0;
  if (std::sscanf(line.c_str(), "%lld %ld %d", &painted, &rss, &activated) != 3) return false;
  Result = {(painted - launched) / 1e6, rss, activated != 0};
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--child") == 0) return Child(argc, argv);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  std::vector<Start> starts;
  for (int i = 0; i < 5; ++i) {
    Start s{};
    if (!RunOnce("/proc/self/exe", s)) {
      std::fprintf(stderr, "start %d failed\n", i + 1);
      return 1;
    }
    std::printf("start %d: %.1f ms to the main window shown, %ld kB resident%s\n", i + 1, s.Ms,
                s.RssKb, s.Activated ? "" : " (not yet activated)");
    starts.push_back(s);
  }
  auto byTime = starts;
  std::sort(byTime.begin(), byTime.end(), [](auto& a, auto& b) { return a.Ms < b.Ms; });
  auto byRss = starts;
  std::sort(byRss.begin(), byRss.end(), [](auto& a, auto& b) { return a.RssKb < b.RssKb; });
  std::printf("median of 5 starts: %.1f ms, %ld kB resident\n", byTime[2].Ms, byRss[2].RssKb);
  return 0;
}
