// SPDX-License-Identifier: GPL-3.0-or-later
// A dialog seam for window tests: records every message and report, and answers the
// standard dialogs with scripted choices, or lets the real file dialog answer.
#pragma once

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <optional>
#include <ostream>

#include "app/DialogSeam.h"

// Readable failures for Qt strings.
inline void PrintTo(const QString& Text, std::ostream* Out) { *Out << '"' << Text.toStdString() << '"'; }

class ScriptedDialogs : public DialogSeam {
 public:
  ScriptedDialogs() { previous_ = SetDialogs(this); }
  ~ScriptedDialogs() override { SetDialogs(previous_); }

  void Message(QWidget*, const QString& Text) override { Messages << Text; }
  void ExceptionReport(const QString& Text) override { Reports << Text; }
  bool OpenFile(QWidget* Parent, OpenFileRequest& Request) override {
    if (RealFileDialog) {
      SetDialogs(nullptr);
      const bool chosen = Dialogs().OpenFile(Parent, Request);
      SetDialogs(this);
      return chosen;
    }
    if (!FileChoice) return false;
    Request.FileName = *FileChoice;
    return true;
  }
  // The request is kept; SaveChoice answers it, with the type SaveFilterChoice when set.
  bool SaveFile(QWidget*, OpenFileRequest& Request) override {
    SaveAsked = Request;
    if (!SaveChoice) return false;
    Request.FileName = *SaveChoice;
    if (SaveFilterChoice) Request.FilterIndex = SaveFilterChoice;
    return true;
  }
  bool ChooseFont(QWidget*, QFont& Font, QColor& Colour) override {
    if (!FontChoice) return false;
    Font = *FontChoice;
    Colour = FontColourChoice;
    return true;
  }
  bool ChooseColour(QWidget*, QColor& Colour) override {
    if (!ColourChoice) return false;
    Colour = *ColourChoice;
    return true;
  }

  QStringList Messages;
  QStringList Reports;
  std::optional<QString> FileChoice;
  std::optional<OpenFileRequest> SaveAsked;
  std::optional<QString> SaveChoice;
  int SaveFilterChoice = 0;
  std::optional<QFont> FontChoice;
  QColor FontColourChoice;
  std::optional<QColor> ColourChoice;
  bool RealFileDialog = false;  // driven with WhenFileDialogOpens

 private:
  DialogSeam* previous_;
};

// Runs Script on the real file dialog once it is shown (within a few seconds), inside the
// dialog's own event loop. Whatever is still open a few seconds later (the dialog, a
// warning it raised) is cancelled, so a test cannot hang on it.
inline void WhenFileDialogOpens(std::function<void(QFileDialog&)> Script) {
  auto* poll = new QTimer(qApp);
  poll->setInterval(10);
  QTimer::singleShot(5000, poll, [poll] { poll->deleteLater(); });
  QObject::connect(poll, &QTimer::timeout, [poll, Script] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    poll->stop();
    poll->deleteLater();
    QTimer::singleShot(3000, dialog, [] {
      while (auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget())) open->reject();
    });
    Script(*dialog);
  });
  poll->start();
}

// The names the file dialog lists in its folder, as far as it has read them.
inline QStringList FileDialogListing(const QFileDialog& Dialog) {
  QStringList names;
  const auto* view = Dialog.findChild<QListView*>("listView");
  for (int row = 0; view && row < view->model()->rowCount(view->rootIndex()); ++row)
    names << view->model()->index(row, 0, view->rootIndex()).data().toString();
  return names;
}

// Types Path into the dialog's name box and confirms, as a user does.
inline void ChooseInFileDialog(QFileDialog& Dialog, const QString& Path) {
  if (auto* name = Dialog.findChild<QLineEdit*>("fileNameEdit")) name->setText(Path);
  QMetaObject::invokeMethod(&Dialog, "accept");
}
