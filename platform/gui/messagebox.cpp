#include "platform/gui/messagebox.h"

#include <QMessageBox>
#include <QPushButton>

namespace mv::gui {
namespace {

class QtMessageBoxes : public MessageBoxService {
 public:
  MsgAnswer show(const MessageRequest& r) override {
    QMessageBox box(r.owner.data());
    box.setWindowTitle(r.caption);
    box.setTextFormat(Qt::PlainText);
    box.setText(message_display_text(r.text));
    switch (r.icon) {
      case MsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
      case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
      case MsgIcon::Warning: box.setIcon(QMessageBox::Warning); break;
      case MsgIcon::Question: box.setIcon(QMessageBox::Question); break;
      case MsgIcon::Error: box.setIcon(QMessageBox::Critical); break;
    }
    // German texts set here, independent of installed translations.
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    QPushButton* yes = nullptr;
    QPushButton* no = nullptr;
    switch (r.buttons) {
      case MsgButtons::Ok:
        ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        break;
      case MsgButtons::OkCancel:
        ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        cancel = box.addButton(QStringLiteral("Abbrechen"), QMessageBox::RejectRole);
        break;
      case MsgButtons::YesNo:
        yes = box.addButton(QStringLiteral("&Ja"), QMessageBox::YesRole);
        no = box.addButton(QStringLiteral("&Nein"), QMessageBox::NoRole);
        break;
      case MsgButtons::YesNoCancel:
        yes = box.addButton(QStringLiteral("&Ja"), QMessageBox::YesRole);
        no = box.addButton(QStringLiteral("&Nein"), QMessageBox::NoRole);
        cancel = box.addButton(QStringLiteral("Abbrechen"), QMessageBox::RejectRole);
        break;
    }
    QPushButton* def = nullptr;
    switch (r.default_answer) {
      case MsgAnswer::Ok: def = ok; break;
      case MsgAnswer::Cancel: def = cancel; break;
      case MsgAnswer::Yes: def = yes; break;
      case MsgAnswer::No: def = no; break;
    }
    if (def) box.setDefaultButton(def);
    // Esc (or closing the box) answers the safe choice.
    if (cancel) box.setEscapeButton(cancel);
    else if (no) box.setEscapeButton(no);
    else if (ok) box.setEscapeButton(ok);
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    if (clicked && clicked == yes) return MsgAnswer::Yes;
    if (clicked && clicked == no) return MsgAnswer::No;
    if (clicked && clicked == ok) return MsgAnswer::Ok;
    if (r.buttons == MsgButtons::Ok) return MsgAnswer::Ok;
    if (r.buttons == MsgButtons::YesNo) return MsgAnswer::No;
    return MsgAnswer::Cancel;
  }
};

QtMessageBoxes& qt_boxes() {
  static QtMessageBoxes boxes;
  return boxes;
}
MessageBoxService* g_service = nullptr;

}  // namespace

MessageBoxService& message_boxes() { return g_service ? *g_service : qt_boxes(); }
void install_message_boxes(MessageBoxService* service) { g_service = service; }

QString message_display_text(const QString& text) {
  QString t = text;
  t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  t.replace(QChar('\r'), QChar('\n'));
  return t;
}

MsgAnswer message_box(const MessageRequest& request) { return message_boxes().show(request); }

static MessageRequest make(QWidget* owner, const QString& caption, const QString& text, MsgIcon icon,
                           MsgButtons buttons, MsgAnswer def) {
  MessageRequest r;
  r.owner = owner;
  r.caption = caption;
  r.text = text;
  r.icon = icon;
  r.buttons = buttons;
  r.default_answer = def;
  return r;
}

void info_box(QWidget* owner, const QString& caption, const QString& text) {
  message_box(make(owner, caption, text, MsgIcon::Information, MsgButtons::Ok, MsgAnswer::Ok));
}
bool status_box(QWidget* owner, const Status& status, const QString& caption) {
  if (status.is_ok()) return true;
  warning_box(owner, caption, QString::fromStdString(status.message()));
  return false;
}

void warning_box(QWidget* owner, const QString& caption, const QString& text) {
  message_box(make(owner, caption, text, MsgIcon::Warning, MsgButtons::Ok, MsgAnswer::Ok));
}
void error_box(QWidget* owner, const QString& caption, const QString& text) {
  message_box(make(owner, caption, text, MsgIcon::Error, MsgButtons::Ok, MsgAnswer::Ok));
}
bool yes_no_box(QWidget* owner, const QString& caption, const QString& text, MsgAnswer def) {
  return message_box(make(owner, caption, text, MsgIcon::Question, MsgButtons::YesNo, def)) ==
         MsgAnswer::Yes;
}
bool ok_cancel_box(QWidget* owner, const QString& caption, const QString& text, MsgIcon icon) {
  return message_box(make(owner, caption, text, icon, MsgButtons::OkCancel, MsgAnswer::Ok)) ==
         MsgAnswer::Ok;
}

RecordingMessageBoxes::RecordingMessageBoxes() : previous_(g_service) { install_message_boxes(this); }
RecordingMessageBoxes::~RecordingMessageBoxes() {
  if (g_service == this) install_message_boxes(previous_);
}

MsgAnswer RecordingMessageBoxes::show(const MessageRequest& request) {
  shown_.push_back(request);
  if (!answers_.empty()) {
    MsgAnswer a = answers_.front();
    answers_.pop_front();
    return a;
  }
  if (request.buttons == MsgButtons::Ok) return MsgAnswer::Ok;
  return request.default_answer;
}

}  // namespace mv::gui
