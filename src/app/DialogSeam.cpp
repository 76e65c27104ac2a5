// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/DialogSeam.h"

#include <QColorDialog>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char* const OutsideActivationProperty = "tarvikOutsideActivation";

// "All Files|*.*|BASIC|*.bas" -> "All Files (*)", "BASIC (*.bas)". On Linux "*.*" would
// hide every name without a dot; it means every file.
QStringList QtFilters(const QString& Filter) {
  QStringList parts = Filter.split('|');
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = QString(parts[i + 1]).replace(';', ' ');
    if (patterns == "*.*") patterns = "*";
    filters << QString("%1 (%2)").arg(parts[i], patterns);
  }
  return filters;
}

// The font dialog with a colour choice beside it, as the pane keeps both.
class FontColourDialog : public QDialog {
 public:
  FontColourDialog(QWidget* Parent, const QFont& Font, const QColor& Colour)
      : QDialog(Parent), colour_(Colour) {
    setWindowTitle("Font");
    fonts_ = new QFontDialog(Font, this);
    fonts_->setOptions(QFontDialog::NoButtons);
    fonts_->setWindowFlags(Qt::Widget);
    auto* colourButton = new QPushButton("&Colour...", this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fonts_);
    layout->addWidget(colourButton, 0, Qt::AlignLeft);
    layout->addWidget(buttons);
    connect(colourButton, &QPushButton::clicked, this, [this] {
      QColor chosen = QColorDialog::getColor(colour_, this, "Colour");
      if (chosen.isValid()) colour_ = chosen;
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  }
  QFont Font() const { return fonts_->currentFont(); }
  QColor Colour() const { return colour_; }

 private:
  QFontDialog* fonts_;
  QColor colour_;
};

class RealDialogs : public DialogSeam {
 public:
  void Message(QWidget* Parent, const QString& Text) override {
    QMessageBox box(QMessageBox::NoIcon, QApplicationName(), Text, QMessageBox::Ok, Parent);
    box.exec();
  }

  void ExceptionReport(const QString& Text) override {
    QMessageBox box(QMessageBox::Critical, QApplicationName(), Text, QMessageBox::Ok);
    MarkOutsideActivation(&box);
    box.exec();
  }

  bool OpenFile(QWidget* Parent, OpenFileRequest& Request) override {
    QFileDialog dialog(Parent, "Open", Request.InitialDir);
    QStringList filters = QtFilters(Request.Filter);
    dialog.setNameFilters(filters);
    if (Request.FilterIndex >= 1 && Request.FilterIndex <= filters.size())
      dialog.selectNameFilter(filters[Request.FilterIndex - 1]);
    dialog.setDefaultSuffix(Request.DefaultExt);
    dialog.setFileMode(Request.AnyName ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The desktop's own open dialogs refuse a name that does not exist yet.
    dialog.setOption(QFileDialog::DontUseNativeDialog, Request.AnyName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    Request.FileName = dialog.selectedFiles().first();
    Request.FilterIndex = static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1;
    return true;
  }

  bool SaveFile(QWidget* Parent, OpenFileRequest& Request) override {
    QFileDialog dialog(Parent, "Save As", Request.InitialDir);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontUseNativeDialog);  // the default suffix follows the type
    const QStringList filters = QtFilters(Request.Filter);
    dialog.setNameFilters(filters);
    auto suffixOf = [](const QString& Filter) {
      return Filter.section("*.", 1, 1).section(')', 0, 0).section(' ', 0, 0);
    };
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog, suffixOf](const QString& Filter) { dialog.setDefaultSuffix(suffixOf(Filter)); });
    if (Request.FilterIndex >= 1 && Request.FilterIndex <= filters.size()) {
      dialog.selectNameFilter(filters[Request.FilterIndex - 1]);
      dialog.setDefaultSuffix(suffixOf(filters[Request.FilterIndex - 1]));
    }
    dialog.selectFile(Request.FileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    Request.FileName = dialog.selectedFiles().first();
    Request.FilterIndex = static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1;
    return true;
  }

  bool ChooseFont(QWidget* Parent, QFont& Font, QColor& Colour) override {
    FontColourDialog dialog(Parent, Font, Colour);
    if (dialog.exec() != QDialog::Accepted) return false;
    Font = dialog.Font();
    Colour = dialog.Colour();
    return true;
  }

  bool ChooseColour(QWidget* Parent, QColor& Colour) override {
    QColor chosen = QColorDialog::getColor(Colour, Parent, "Colour");
    if (!chosen.isValid()) return false;
    Colour = chosen;
    return true;
  }

 private:
  static QString QApplicationName() { return "Tarvik"; }
};

RealDialogs realDialogs;
DialogSeam* current = nullptr;

}  // namespace

DialogSeam& Dialogs() { return current ? *current : realDialogs; }

DialogSeam* SetDialogs(DialogSeam* Seam) {
  DialogSeam* previous = current;
  current = Seam;
  return previous;
}

void MarkOutsideActivation(QWidget* Window) { Window->setProperty(OutsideActivationProperty, true); }

bool IsOutsideActivation(const QWidget* Window) {
  return Window && Window->property(OutsideActivationProperty).toBool();
}
