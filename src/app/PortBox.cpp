// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/PortBox.h"

#include <QComboBox>

#include "app/Latin1.h"
#include "platform/PortDescription.h"

namespace {

int SortedPosition(const QComboBox* Box, const QString& Text) {
  int at = 0;
  while (at < Box->count() && Box->itemText(at).toLower() <= Text.toLower()) ++at;
  return at;
}

}  // namespace

void InsertPort(QComboBox* Box, const QString& Name) {
  const int at = SortedPosition(Box, Name);
  Box->insertItem(at, Name);
  Box->setItemData(at, FromBytes(PortDescription(ToBytes(Name))), Qt::ToolTipRole);
}

int FindPort(const QComboBox* Box, const QString& Name) {
  return Name.isEmpty() ? -1 : Box->findText(Name, Qt::MatchExactly | Qt::MatchCaseSensitive);
}
