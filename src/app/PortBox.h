// SPDX-License-Identifier: GPL-3.0-or-later
// The port box's entries: port names kept sorted as text, each with what the system knows
// of its device as its tool tip.
#pragma once

#include <QString>

class QComboBox;

// Adds Name at its sorted place: letter case does not count, so "<none>" comes first and
// COM10 before COM2.
void InsertPort(QComboBox* Box, const QString& Name);
// The entry whose text is exactly Name, or -1.
int FindPort(const QComboBox* Box, const QString& Name);
