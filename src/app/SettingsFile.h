// SPDX-License-Identifier: GPL-3.0-or-later
// Where the settings file lives: beside the executable when the file exists there or the
// directory is writable, otherwise in the user's configuration directory.
#pragma once

#include <string>

inline constexpr const char* SettingsFileName = "tarvik-33.ini";

// The full path, computed afresh at every call.
std::string SettingsFilePath();
// Tests point the program at a file of their own; an empty path restores the rule.
void SetSettingsFilePath(const std::string& Path);

// The local date and time as the user's locale writes it (short date, long time).
std::string LocalDateTimeText();
