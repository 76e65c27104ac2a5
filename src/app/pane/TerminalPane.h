// SPDX-License-Identifier: GPL-3.0-or-later
// The terminal pane's text as the terminal counts it: bytes, a line break being the
// pair CR LF (two characters). A CR or LF that is not part of such a pair stays one
// character and is drawn as its control picture (U+240D, U+240A), so that counting,
// backspaces and the trim see every byte the pane was given. A NUL is drawn as its
// picture (U+2400) too: a raw U+0000 would cut the pane's text for screen readers and
// the clipboard.
#pragma once

#include <QString>
#include <string>

class QPlainTextEdit;

class TerminalPane {
 public:
  // Utf8: the bytes given are whole UTF-8 characters, not Latin-1.
  explicit TerminalPane(QPlainTextEdit* Pane, bool Utf8 = false) : pane_(Pane), utf8_(Utf8) {}

  // Characters, a line break counting as two.
  int Length() const;
  // Cuts the text to its last Count characters when it holds more.
  void KeepLast(int Count);
  // Cuts the text to as many whole last lines as hold at most Count characters (the last
  // line at least), when it holds more.
  void KeepLastLines(int Count);
  // The caret at the end of the text, nothing selected.
  void CaretToEnd();
  // Appends Bytes at the end (replacing the last character first when asked), leaving
  // the caret after them and in view.
  void Append(const std::string& Bytes, bool ReplaceLast);
  // The whole text as bytes, line breaks as CR LF.
  std::string Text() const;

  // How bytes are drawn: CR LF breaks the line, lone CR, LF and NUL are pictures, bytes
  // 128 to 255 are Latin-1 (or, with Utf8, UTF-8 text).
  static QString Drawn(const std::string& Bytes, bool Utf8 = false);
  // Characters the text box would take for line or paragraph breaks or frames become
  // U+FFFD: a received character never splits a line.
  static void KeepToTheLine(QChar* Text, qsizetype Size);

 private:
  static QString DrawnUtf8(const std::string& Bytes);
  bool EndsWithBreak() const;
  bool EndsWithLoneCr() const;
  void RemoveLastCharacter();

  QPlainTextEdit* pane_;
  bool utf8_;
};
