// SPDX-License-Identifier: GPL-3.0-or-later
// How a text file becomes lines for a text send, and which automation row a file takes.
#pragma once

#include <string>
#include <vector>

// Splits at CR, LF or CR LF (one line end); LF CR is two line ends. A line end at the
// very end makes no extra empty line; a NUL byte ends the text.
std::vector<std::string> SplitTextLines(const std::string& FileBytes);

// The file's extension (from the last dot after the last path separator, dot included),
// cut to its last three characters, letters a to z in upper case. Automation patterns
// are keyed the same way from their last three characters.
std::string FileExtensionKey(const std::string& FileName);
std::string PatternKey(const std::string& Pattern);
