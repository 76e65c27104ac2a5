// SPDX-License-Identifier: GPL-3.0-or-later
// The one way the program shows a message box, the exception report or a standard
// dialog. Tests install a scripted seam instead of the real dialogs.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QWidget;

struct OpenFileRequest {
  QString Filter;          // "All Files|*.*|BASIC|*.bas" style, pairs of name and pattern
  int FilterIndex = 1;     // 1-based, updated to the filter the user chose
  QString InitialDir;
  QString DefaultExt;
  bool AnyName = false;    // a name that does not exist yet may be given
  QString FileName;        // the chosen file's full path; for a save, the name proposed
};

class DialogSeam {
 public:
  virtual ~DialogSeam() = default;
  // A message of the program's own with an OK button.
  virtual void Message(QWidget* Parent, const QString& Text) = 0;
  // The application's exception report: error icon, the text (full stop already added), OK.
  virtual void ExceptionReport(const QString& Text) = 0;
  virtual bool OpenFile(QWidget* Parent, OpenFileRequest& Request) = 0;
  // A file to write; the user confirms replacing one that exists.
  virtual bool SaveFile(QWidget* Parent, OpenFileRequest& Request) = 0;
  // Font with its colour; true when the user confirmed.
  virtual bool ChooseFont(QWidget* Parent, QFont& Font, QColor& Colour) = 0;
  virtual bool ChooseColour(QWidget* Parent, QColor& Colour) = 0;
};

// The seam in use; the real dialogs unless a test has installed its own.
DialogSeam& Dialogs();
// Installs Seam (not owned); nullptr goes back to the real dialogs. Returns the previous.
DialogSeam* SetDialogs(DialogSeam* Seam);

// Marks a window that must not count for window activation (the exception report).
void MarkOutsideActivation(QWidget* Window);
bool IsOutsideActivation(const QWidget* Window);
