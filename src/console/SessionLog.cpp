// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/SessionLog.h"

SessionLog::SessionLog(std::string Path, LogForm Form, Clock Now)
    : file_(std::move(Path)), form_(Form), now_(std::move(Now)) {}

void SessionLog::Received(std::string_view Bytes) {
  if (form_ == LogForm::Raw) {
    file_.Append(Bytes);
    if (file_.Held() >= WriteOutAt) file_.WriteOut();
    return;
  }
  text_.Received(Bytes, now_());
  HandDone();
}

void SessionLog::Sent(std::string_view Bytes) {
  if (form_ == LogForm::Raw) return;
  text_.Sent(Bytes, now_());
  HandDone();
}

void SessionLog::Note(std::string_view Text) {
  if (form_ == LogForm::Raw) return;
  text_.Note(Text, now_());
  HandDone();
}

void SessionLog::HandDone() {
  file_.Append(text_.TakeDone());
  if (file_.Held() < WriteOutAt) return;
  file_.SetTail(text_.Unfinished());
  file_.WriteOut();
}

void SessionLog::Flush() {
  if (form_ == LogForm::Text) file_.SetTail(text_.Unfinished());
  file_.Flush();
}

void SessionLog::Close() {
  if (form_ == LogForm::Text) {
    text_.EndLines();
    file_.Append(text_.TakeDone());
    file_.SetTail({});
  }
  file_.Close();
}
