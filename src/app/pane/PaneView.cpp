// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pane/PaneView.h"

#include <QAction>
#include <QMenu>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "app/pane/HexPane.h"
#include "app/pane/LineTimes.h"
#include "app/pane/ProgramEdit.h"
#include "app/pane/TerminalEdit.h"
#include "app/pane/TimeGutter.h"
#include "platform/Profile.h"

namespace {

const char* const Section = "View";

QAction* AddCheckItem(QMenu* Menu, const char* Name, const char* Caption) {
  QAction* item = Menu->addAction(Caption);
  item->setObjectName(Name);
  item->setCheckable(true);
  return item;
}

}  // namespace

PaneView::PaneView(QObject* Parent) : QObject(Parent) {}

PaneView::~PaneView() = default;

void PaneView::AddMenuItems(QMenu* Settings) {
  Settings->addSeparator();
  Timestamps1 = AddCheckItem(Settings, "Timestamps1", "Timestamps");
  HexView1 = AddCheckItem(Settings, "HexView1", "Hex View");
}

void PaneView::Attach(TerminalEdit* Pane, std::function<void()> TextResumes) {
  pane_ = Pane;
  textResumes_ = std::move(TextResumes);
  times_ = new LineTimes(Pane->document(), this);
  gutter_ = new TimeGutter(Pane);
  hex_ = std::make_unique<HexPane>(Pane);
  // Toggled, so that a check mark set from the settings applies too.
  connect(Timestamps1, &QAction::toggled, this, [this] { Timestamps1Click(); });
  connect(HexView1, &QAction::toggled, this, [this] { HexView1Click(); });
}

bool PaneView::Hex() const { return HexView1->isChecked(); }

void PaneView::ShowHex(std::string_view Bytes) { hex_->Show(Bytes); }

void PaneView::Timestamps1Click() {
  times_->SetOn(Timestamps1->isChecked());
  gutter_->SetShown(Timestamps1->isChecked());
}

// Rows start on a line of their own, and so does the text after them.
void PaneView::HexView1Click() {
  if (Hex()) {
    hex_->Start();
    return;
  }
  QTextDocument* doc = pane_->document();
  if (doc->lastBlock().length() > 1) {
    ProgramEdit program(doc);
    QTextCursor end(doc);
    end.movePosition(QTextCursor::End);
    end.insertBlock(QTextBlockFormat(), QTextCharFormat());
    pane_->setTextCursor(end);
  }
  textResumes_();
}

void PaneView::ReadSettings(const Profile& Ini) { Timestamps1->setChecked(Ini.ReadBool(Section, "Timestamps", false)); }

void PaneView::WriteSettings(Profile& Ini) const { Ini.WriteBool(Section, "Timestamps", Timestamps1->isChecked()); }
