// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/TextLines.h"

namespace {

std::string LastThreeUpper(const std::string& Text) {
  std::string key = Text.size() > 3 ? Text.substr(Text.size() - 3) : Text;
  for (char& c : key)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return key;
}

}  // namespace

std::vector<std::string> SplitTextLines(const std::string& FileBytes) {
  const std::string text = FileBytes.substr(0, FileBytes.find('\0'));
  std::vector<std::string> lines;
  std::string line;
  bool open = false;  // a line has begun that no line end has closed yet
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      open = false;
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
      open = true;
    }
  }
  if (open) lines.push_back(line);
  return lines;
}

std::string FileExtensionKey(const std::string& FileName) {
  const size_t dot = FileName.rfind('.');
  const size_t slash = FileName.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return LastThreeUpper(FileName.substr(dot));
}

std::string PatternKey(const std::string& Pattern) { return LastThreeUpper(Pattern); }
