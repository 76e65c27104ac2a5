// SPDX-License-Identifier: GPL-3.0-or-later
// The windows as shown at the default fonts: every caption fits its control, no control
// covers another or reaches out of its window, and the main window can be made small.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <optional>

#include "ScriptedDialogs.h"
#include "TempSettings.h"
#include "TestDevices.h"
#include "app/ProgramWindows.h"

namespace {

// The room a control's caption needs: a button's text with the style's margins, any
// other captioned control (label, check box, group box) its own least size.
std::optional<QSize> CaptionNeeds(const QWidget* Control) {
  if (const auto* push = qobject_cast<const QPushButton*>(Control)) {
    const int margin = push->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, push);
    const QString text = QString(push->text()).remove('&');
    return QSize(push->fontMetrics().horizontalAdvance(text) + 2 * margin,
                 push->fontMetrics().height());
  }
  const auto* button = qobject_cast<const QAbstractButton*>(Control);
  const auto* label = qobject_cast<const QLabel*>(Control);
  if ((button && !button->text().isEmpty()) || (label && !label->text().isEmpty()) ||
      qobject_cast<const QGroupBox*>(Control))
    return Control->minimumSizeHint();
  return std::nullopt;
}

// The window's own controls (named ones) that are cut: smaller than their caption needs,
// covered by a sibling, or reaching out of their parent.
QStringList Clipped(const QWidget* Window) {
  QStringList clipped;
  for (const QWidget* c : Window->findChildren<QWidget*>()) {
    if (!c->isVisible() || c->objectName().isEmpty() || c->objectName().startsWith("qt_")) continue;
    const QString name = c->objectName();
    const std::optional<QSize> needs = CaptionNeeds(c);
    if (needs && (c->width() < needs->width() || c->height() < needs->height()))
      clipped << QString("%1 %2x%3 needs %4x%5")
                     .arg(name)
                     .arg(c->width())
                     .arg(c->height())
                     .arg(needs->width())
                     .arg(needs->height());
    if (!c->parentWidget()->rect().contains(c->geometry()))
      clipped << name + " outside " + c->parentWidget()->objectName();
    for (const QWidget* s : c->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      if (s != c && s->isVisible() && !s->objectName().isEmpty() &&
          !s->objectName().startsWith("qt_") && s->geometry().intersects(c->geometry()) &&
          name < s->objectName())
        clipped << name + " and " + s->objectName() + " overlap";
  }
  return clipped;
}

class Layout : public ::testing::Test {
 protected:
  TestDeviceRoot root;
  TempSettings settings;
  ScriptedDialogs dialogs;
  ProgramWindows w;
};

TEST_F(Layout, NothingIsClippedAtTheDefaultFonts) {
  for (QWidget* window : std::initializer_list<QWidget*>{w.frmTerm.get(), w.frmXModem.get(),
                                                         w.frmTransfer.get(), w.AboutBox.get()}) {
    window->show();
    EXPECT_EQ(Clipped(window), QStringList()) << window->objectName().toStdString();
    window->hide();
  }
}

// The status panels' widths follow the window without holding it at its width: after
// growing, the window still shrinks to a small size.
TEST_F(Layout, MainWindowShrinksAfterGrowing) {
  w.frmTerm->show();
  w.frmTerm->resize(900, 500);
  QApplication::processEvents();  // the window settles at its new size
  w.frmTerm->resize(300, 200);
  EXPECT_EQ(w.frmTerm->size(), QSize(300, 200));
  EXPECT_EQ(Clipped(w.frmTerm.get()), QStringList());
  w.frmTerm->hide();
}

}  // namespace
