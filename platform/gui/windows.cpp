#include "platform/gui/windows.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMdiSubWindow>
#include <QScreen>

namespace mv::gui {

QSize dialog_units_to_pixels(const QWidget* w, int dx, int dy) {
  const QFontMetrics fm = w ? w->fontMetrics() : QFontMetrics(QGuiApplication::font());
  // Average width over the alphabet, as dialog units are defined.
  const int avg = (fm.horizontalAdvance(QStringLiteral(
                       "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 26 + 1) / 2;
  const int h = fm.height();
  return QSize((dx * avg + 2) / 4, (dy * h + 4) / 8);
}

void bind_buttons(QWidget* form, QObject* handler, std::function<void(QAbstractButton*)> on_button) {
  if (!form || !handler) return;
  QPointer<QObject> h(handler);
  for (QAbstractButton* b : form->findChildren<QAbstractButton*>()) {
    const QByteArray name = b->objectName().toLatin1();
    if (name.startsWith("qt_")) continue;
    QPointer<QAbstractButton> pb(b);
    QObject::connect(b, &QAbstractButton::clicked, handler, [h, pb, name, on_button] {
      if (!h || !pb) return;
      if (on_button) on_button(pb.data());
      if (h && !name.isEmpty() && has_operation(h.data(), name.constData(), 0))
        call_operation(h.data(), name.constData());
    });
  }
}

// WINDOW

WINDOW::WINDOW(QObject* owner, QWidget* parent) : QWidget(parent), owner_(owner) {}

void WINDOW::FORCEPAINT() { repaint(); }

// DATAWINDOW

DATAWINDOW::DATAWINDOW(QObject* owner)
    : QWidget(qobject_cast<SHELLWINDOW*>(owner) ? nullptr : qobject_cast<QWidget*>(owner)),
      owner_(owner) {
  if (auto* shell = qobject_cast<SHELLWINDOW*>(owner)) {
    QMdiSubWindow* frame = shell->canvas()->addSubWindow(this);
    frame_ = frame;
    frame->setAttribute(Qt::WA_DeleteOnClose);
    frame->hide();
  }
}

DATAWINDOW::~DATAWINDOW() {
  // Deleted directly (not through its frame): the empty frame goes too. A frame that is
  // itself being destroyed (it deletes its children from QWidget's destructor) is no
  // longer a QMdiSubWindow then, and is left alone.
  QMdiSubWindow* frame = mdi_frame();
  if (frame && frame->widget() == this) {
    frame->setWidget(nullptr);
    frame->deleteLater();
  }
}

QWidget* DATAWINDOW::outer() const {
  QMdiSubWindow* frame = mdi_frame();
  return frame ? static_cast<QWidget*>(frame) : const_cast<DATAWINDOW*>(this);
}

QMdiSubWindow* DATAWINDOW::mdi_frame() const { return qobject_cast<QMdiSubWindow*>(frame_.data()); }

void DATAWINDOW::BUTTONCLICK(QAbstractButton*) {}

void DATAWINDOW::SHOW() {
  if (QMdiSubWindow* frame = mdi_frame()) {
    QWidget::show();
    frame->show();
  } else {
    show();
  }
}

void DATAWINDOW::end_window() {
  if (QMdiSubWindow* frame = mdi_frame()) frame->close();
  else close();
}

void DATAWINDOW::bind_controls() {
  bind_buttons(this, this, [this](QAbstractButton* b) { BUTTONCLICK(b); });
}

// DIALOGWINDOW

DIALOGWINDOW::DIALOGWINDOW(QObject* owner, bool modal)
    : QDialog(qobject_cast<QWidget*>(owner)), modal_(modal), owner_(owner) {
  setModal(modal);
}

void DIALOGWINDOW::BUTTONCLICK(QAbstractButton*) {}

void DIALOGWINDOW::SHOW() {
  if (modal_) {
    exec();
  } else {
    show_modeless();
  }
}

void DIALOGWINDOW::show_modeless() {
  show();
  raise();
  activateWindow();
}

void DIALOGWINDOW::ENDDIALOG(int result) {
  result_ = result;
  done(result);
}

bool DIALOGWINDOW::CENTER() {
  QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  if (!screen) return false;
  const QRect r = screen->geometry();
  const QSize s = frameGeometry().size();
  move(r.x() + (r.width() - s.width()) / 2, r.y() + (r.height() - s.height()) / 2);
  return true;
}

void DIALOGWINDOW::bind_controls() {
  bind_buttons(this, this, [this](QAbstractButton* b) { BUTTONCLICK(b); });
}

// SHELLWINDOW

SHELLWINDOW::SHELLWINDOW(QWidget* parent) : QMainWindow(parent) {
  area_ = new QMdiArea(this);
  area_->setObjectName(QStringLiteral("canvas"));
  setCentralWidget(area_);
  router_ = new CommandRouter(this, area_, this);
}

QSize SHELLWINDOW::canvas_size() const { return area_->viewport()->size(); }

QList<QWidget*> SHELLWINDOW::children_windows() const {
  QList<QWidget*> out;
  for (const auto& c : children_)
    if (c) out.push_back(c.data());
  return out;
}

void SHELLWINDOW::REGISTERCHILD(QWidget* child) {
  if (!child) return;
  for (const auto& c : children_)
    if (c == child) return;
  children_.push_back(child);
  child_list_changed();
}

void SHELLWINDOW::REMOVECHILD(QWidget* child) {
  const qsizetype before = children_.size();
  children_.removeIf([child](const QPointer<QWidget>& c) { return !c || c == child; });
  if (children_.size() != before) child_list_changed();
}

int SHELLWINDOW::ANZAHLCHILD() const {
  int n = 0;
  for (const auto& c : children_)
    if (c) ++n;
  return n;
}

SHELLWINDOW* shell_of(QObject* w) {
  auto owner_of = [](QObject* o) -> QObject* {
    if (auto* x = qobject_cast<WINDOW*>(o)) return x->owner();
    if (auto* x = qobject_cast<DATAWINDOW*>(o)) return x->owner();
    if (auto* x = qobject_cast<DIALOGWINDOW*>(o)) return x->owner();
    return o ? o->parent() : nullptr;
  };
  int guard = 0;
  for (QObject* o = owner_of(w); o && guard < 64; o = owner_of(o), ++guard) {
    if (auto* s = qobject_cast<SHELLWINDOW*>(o)) return s;
  }
  return nullptr;
}

// Class registry

static std::map<std::string, WindowFactory>& registry() {
  static std::map<std::string, WindowFactory> r;
  return r;
}

void register_window_class(const std::string& name, WindowFactory factory) {
  registry()[name] = std::move(factory);
}

bool is_window_class(const std::string& name) { return registry().count(name) != 0; }

QWidget* create_window(const std::string& name, QWidget* owner) {
  auto it = registry().find(name);
  if (it == registry().end()) return nullptr;
  return it->second(owner);
}

}  // namespace mv::gui
