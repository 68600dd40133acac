#pragma once
// Every message box of both programs goes through one service, so tests can see what
// was asked and answer it. The real service shows a QMessageBox with German button
// texts; "\r\n" in a text becomes a line break.
#include <QString>
#include <QWidget>
#include <QPointer>
#include <deque>
#include <vector>

#include "platform/base/status.h"

namespace mv::gui {

enum class MsgIcon { None, Information, Warning, Question, Error };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgAnswer { Ok, Cancel, Yes, No };

struct MessageRequest {
  QPointer<QWidget> owner;  // may be empty: a box without owner window
  QString caption;
  QString text;             // as the caller gave it ("\r\n" kept)
  MsgIcon icon = MsgIcon::Information;
  MsgButtons buttons = MsgButtons::Ok;
  // The button that Enter presses; Yes/No boxes default to Yes unless told otherwise.
  MsgAnswer default_answer = MsgAnswer::Ok;
};

class MessageBoxService {
 public:
  virtual ~MessageBoxService() = default;
  virtual MsgAnswer show(const MessageRequest& request) = 0;
};

// The service in force (the real one unless a test installed another).
MessageBoxService& message_boxes();
// Installs `service` (nullptr goes back to the real one). The caller keeps ownership.
void install_message_boxes(MessageBoxService* service);

// The text as a box shows it: "\r\n" and a lone "\r" become "\n".
QString message_display_text(const QString& text);

// Shorthands. Each shows one modal box and returns when it is closed.
MsgAnswer message_box(const MessageRequest& request);
void info_box(QWidget* owner, const QString& caption, const QString& text);
void warning_box(QWidget* owner, const QString& caption, const QString& text);
void error_box(QWidget* owner, const QString& caption, const QString& text);
// A failed step of the table layer as the German box: caption "Achtung" unless given, the
// Status's own text (it names the file), the warning icon. Nothing for a success. Answers
// whether the step succeeded, so a caller can write `if (!status_box(this, st)) return;`.
bool status_box(QWidget* owner, const Status& status, const QString& caption = QStringLiteral("Achtung"));
// Question with "Ja" / "Nein" and the question icon; true only for "Ja".
bool yes_no_box(QWidget* owner, const QString& caption, const QString& text,
                MsgAnswer default_answer = MsgAnswer::Yes);
// "OK" / "Abbrechen"; true only for "OK".
bool ok_cancel_box(QWidget* owner, const QString& caption, const QString& text,
                   MsgIcon icon = MsgIcon::Question);

// Test double: records every box and answers from a script. With the script empty it
// answers the box's default button (Ok for an OK box, the default answer otherwise).
// Installs itself on construction and restores the previous service on destruction.
class RecordingMessageBoxes : public MessageBoxService {
 public:
  RecordingMessageBoxes();
  ~RecordingMessageBoxes() override;
  RecordingMessageBoxes(const RecordingMessageBoxes&) = delete;
  RecordingMessageBoxes& operator=(const RecordingMessageBoxes&) = delete;

  MsgAnswer show(const MessageRequest& request) override;

  void script(MsgAnswer answer) { answers_.push_back(answer); }
  const std::vector<MessageRequest>& shown() const { return shown_; }
  int count() const { return int(shown_.size()); }
  const MessageRequest& last() const { return shown_.back(); }
  void clear() { shown_.clear(); answers_.clear(); }

 private:
  MessageBoxService* previous_ = nullptr;
  std::vector<MessageRequest> shown_;
  std::deque<MsgAnswer> answers_;
};

}  // namespace mv::gui
