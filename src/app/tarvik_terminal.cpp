// How text reaches the terminal pane and the port.
#include <QAction>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>

#include "app/Latin1.h"
#include "app/TextSet.h"
#include "app/tarvik.h"
#include "framework/IntConvert.h"

namespace {

constexpr int PaneLimit = 64000;
constexpr int PaneKeep = 16384;

// Characters below 32 or above 127 as "[hh]", all but the last character of the text.
std::string ShowControlChars(const std::string& Text) {
  std::string out;
  for (size_t i = 0; i < Text.size(); ++i) {
    unsigned char c = Text[i];
    if (i + 1 < Text.size() && (c < 32 || c > 127)) {
      char notation[5];
      std::snprintf(notation, sizeof notation, "[%02X]", c);
      out += notation;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string AddLineFeeds(const std::string& Text) {
  std::string out;
  for (size_t i = 0; i < Text.size(); ++i) {
    out += Text[i];
    if (Text[i] == '\r' && (i + 1 >= Text.size() || Text[i + 1] != '\n')) out += '\n';
  }
  return out;
}

std::string AddCarriageReturns(const std::string& Text) {
  std::string out;
  for (size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] == '\n' && (i == 0 || Text[i - 1] != '\r')) out += '\r';
    out += Text[i];
  }
  return out;
}

// The pane breaks lines at a CR LF pair or a lone LF; a lone CR shows nothing.
QString PaneText(const std::string& Text) {
  std::string out;
  for (size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] == '\r') {
      if (i + 1 < Text.size() && Text[i + 1] == '\n') out += '\n', ++i;
    } else {
      out += Text[i];
    }
  }
  return FromBytes(out);
}

}  // namespace

void TfrmTerm::showText(const std::string& Text) {
  if (mmoTerm->document()->characterCount() - 1 > PaneLimit) {
    QString all = mmoTerm->toPlainText();
    mmoTerm->setPlainText(all.right(PaneKeep));
  }
  QTextCursor caret = mmoTerm->textCursor();
  caret.movePosition(QTextCursor::End);
  const int length = caret.position();

  std::string text = mnuCtrl->isChecked() ? ShowControlChars(Text) : Text;
  for (size_t at; (at = text.find('\b')) != std::string::npos;) {
    if (at == 0) {
      if (length > 0) caret.setPosition(length - 1, QTextCursor::KeepAnchor);
      text.erase(0, 1);
    } else {
      text.erase(at - 1, 2);
    }
  }
  TTextTransferSettings settings = frmTransfer_->TextTransferSettings();
  int eol = SendingText ? ((StrToInt(settings.EolChar) % 256) + 256) % 256 : 0;
  if (text.find(static_cast<char>(eol)) != std::string::npos) {
    mmoTerm->setTextCursor(caret);
    return;
  }
  if (settings.AddLF) text = AddLineFeeds(text);
  if (settings.AddCR) text = AddCarriageReturns(text);
  caret.insertText(PaneText(text));
  mmoTerm->setTextCursor(caret);
  mmoTerm->ensureCursorVisible();
}

void TfrmTerm::writeToCom(const std::string& Text) {
  for (char c : Text) {
    if (!SerComm1->Active()) return;
    SerComm1->WriteChar(c);
  }
}

void TfrmTerm::Clearscreen1Click() { mmoTerm->clear(); }
