// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include "framework/IntConvert.h"

namespace {

struct IniText {
  std::vector<std::string> Lines;
  std::string LineEnd = "\n";
};

std::string Trim(const std::string& Text) {
  size_t begin = Text.find_first_not_of(" \t");
  if (begin == std::string::npos) return "";
  size_t end = Text.find_last_not_of(" \t\r");
  return Text.substr(begin, end - begin + 1);
}

bool SameName(const std::string& A, const std::string& B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i) {
    unsigned char a = A[i], b = B[i];
    if (a >= 'A' && a <= 'Z') a += 'a' - 'A';
    if (b >= 'A' && b <= 'Z') b += 'a' - 'A';
    if (a != b) return false;
  }
  return true;
}

std::optional<std::string> SectionOf(const std::string& Line) {
  std::string text = Trim(Line);
  if (text.empty() || text[0] != '[') return std::nullopt;
  size_t close = text.find(']');
  return Trim(text.substr(1, close == std::string::npos ? std::string::npos : close - 1));
}

std::optional<std::string> KeyOf(const std::string& Line) {
  if (SectionOf(Line)) return std::nullopt;
  size_t eq = Line.find('=');
  if (eq == std::string::npos) return std::nullopt;
  std::string key = Trim(Line.substr(0, eq));
  if (key.empty()) return std::nullopt;
  return key;
}

IniText Load(const std::string& Path) {
  IniText ini;
  std::ifstream in(Path, std::ios::binary);
  if (!in) return ini;
  std::stringstream buffer;
  buffer << in.rdbuf();
  std::string all = buffer.str();
  if (all.find("\r\n") != std::string::npos) ini.LineEnd = "\r\n";
  size_t start = 0;
  while (start < all.size()) {
    size_t nl = all.find('\n', start);
    std::string line = all.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ini.Lines.push_back(line);
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  return ini;
}

// The lines of the first section named Section: [Begin, End) after its header.
struct SectionRange {
  size_t Begin;
  size_t End;
};

std::optional<SectionRange> FindSection(const IniText& Ini, const std::string& Section) {
  for (size_t i = 0; i < Ini.Lines.size(); ++i) {
    auto name = SectionOf(Ini.Lines[i]);
    if (!name || !SameName(*name, Section)) continue;
    size_t end = i + 1;
    while (end < Ini.Lines.size() && !SectionOf(Ini.Lines[end])) ++end;
    return SectionRange{i + 1, end};
  }
  return std::nullopt;
}

std::optional<size_t> FindKey(const IniText& Ini, SectionRange Range, const std::string& Key) {
  for (size_t i = Range.Begin; i < Range.End; ++i) {
    auto name = KeyOf(Ini.Lines[i]);
    if (name && SameName(*name, Key)) return i;
  }
  return std::nullopt;
}

// The file itself when Path names a symbolic link, so the link stays in place.
std::string TargetOf(const std::string& Path) {
  struct stat st {};
  if (lstat(Path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return Path;
  char resolved[PATH_MAX];
  if (!realpath(Path.c_str(), resolved)) return Path;
  return resolved;
}

mode_t NewFileMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

bool WriteAll(int Fd, const std::string& Data) {
  size_t done = 0;
  while (done < Data.size()) {
    ssize_t n = write(Fd, Data.data() + done, Data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Writes the new text beside the file and renames it over the file. A file without any
// write permission bit is refused, also for a user (root) whom the system would let write.
bool Replace(const std::string& Path, const std::string& Data) {
  std::string target = TargetOf(Path);
  mode_t mode = NewFileMode();
  struct stat st {};
  if (stat(target.c_str(), &st) == 0) {
    if ((st.st_mode & 0222) == 0 || access(target.c_str(), W_OK) != 0) return false;
    mode = st.st_mode & 07777;
  }
  std::string temp = target + ".XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, Data);
  ok = (close(fd) == 0) && ok;
  if (ok) ok = rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) unlink(temp.c_str());
  return ok;
}

std::string Join(const IniText& Ini) {
  std::string out;
  for (const auto& line : Ini.Lines) out += line + Ini.LineEnd;
  return out;
}

}  // namespace

std::string Profile::ReadString(const std::string& Section, const std::string& Key,
                                const std::string& Default) const {
  IniText ini = Load(path_);
  auto range = FindSection(ini, Section);
  if (!range) return Default;
  auto line = FindKey(ini, *range, Key);
  if (!line) return Default;
  const std::string& text = ini.Lines[*line];
  std::string value = Trim(text.substr(text.find('=') + 1));
  if (value.size() > MaxValueLength) value.resize(MaxValueLength);
  return value;
}

int Profile::ReadInteger(const std::string& Section, const std::string& Key, int Default) const {
  std::string text = ReadString(Section, Key, "");
  return TryStrToInt(text).value_or(Default);
}

bool Profile::ReadBool(const std::string& Section, const std::string& Key, bool Default) const {
  return ReadInteger(Section, Key, Default ? 1 : 0) != 0;
}

void Profile::WriteString(const std::string& Section, const std::string& Key,
                          const std::string& Value) {
  IniText ini = Load(path_);
  std::string line = Key + "=" + Value;
  auto range = FindSection(ini, Section);
  if (!range) {
    ini.Lines.push_back("[" + Section + "]");
    ini.Lines.push_back(line);
  } else if (auto existing = FindKey(ini, *range, Key)) {
    ini.Lines[*existing] = line;
  } else {
    size_t at = range->End;
    while (at > range->Begin && Trim(ini.Lines[at - 1]).empty()) --at;
    ini.Lines.insert(ini.Lines.begin() + static_cast<long>(at), line);
  }
  if (!Replace(path_, Join(ini)))
    throw EProfileError(FormatMessage("Unable to write to %s", path_.c_str()));
}

void Profile::WriteInteger(const std::string& Section, const std::string& Key, int Value) {
  WriteString(Section, Key, std::to_string(Value));
}

void Profile::WriteBool(const std::string& Section, const std::string& Key, bool Value) {
  WriteString(Section, Key, Value ? "1" : "0");
}
