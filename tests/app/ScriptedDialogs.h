// A dialog seam for window tests: records every message and report, and answers the
// standard dialogs with scripted choices.
#pragma once

#include <QStringList>
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
  bool OpenFile(QWidget*, OpenFileRequest& Request) override {
    if (!FileChoice) return false;
    Request.FileName = *FileChoice;
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
  std::optional<QFont> FontChoice;
  QColor FontColourChoice;
  std::optional<QColor> ColourChoice;

 private:
  DialogSeam* previous_;
};
