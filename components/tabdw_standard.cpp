#include "components/tabdw_standard.h"

#include <QEvent>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QResizeEvent>

#include "ui_TABDW_STANDARD_FORM.h"
#include "ui_TAB_BEENDEN_FORM.h"
#include "platform/gui/dispatch.h"

namespace mv {

DocumentWindowHooks& document_window_hooks() {
  static DocumentWindowHooks hooks;
  return hooks;
}

// The form: 519 x 257 dialog units, the tab control filling it.
TABDW_STANDARD_FORM::TABDW_STANDARD_FORM(QObject* owner)
    : gui::DATAWINDOW(owner), form_(new Ui::TABDW_STANDARD_FORM) {
  form_->setupUi(this);
  resize(gui::dialog_units_to_pixels(this, 519, 257));
  if (!document_window_hooks().icon.isNull()) setWindowIcon(document_window_hooks().icon);
  bind_controls();
}

TABDW_STANDARD_FORM::~TABDW_STANDARD_FORM() { delete form_; }

QRect TABDW_STANDARD::placement(unsigned mode, QSize canvas, int n) {
  const int W = canvas.width();
  const int H = canvas.height();
  switch (mode) {
    case 1: {
      const int w = std::min(1012, W);
      const int h = std::min(620, H);
      const int step = 30 * std::max(0, n);
      return QRect(std::min(step, W - w), std::min(step, H - h), w, h);
    }
    case 2:
      return QRect(0, 0, W, H);
    default:
      return QRect();
  }
}

TABDW_STANDARD::TABDW_STANDARD(gui::SHELLWINDOW* owner) : TABDW_STANDARD_FORM(owner), shell_(owner) {
  tabs_ = form_->TABCONTROL;
  tabs_->set_page_owner(this);
  if (!gui::is_window_class("TAB_BEENDEN")) gui::register_window_class<TAB_BEENDEN>("TAB_BEENDEN");

  auto& hooks = document_window_hooks();
  if (hooks.make_menu) menu_ = hooks.make_menu(this);

  QMdiSubWindow* frame = mdi_frame();
  if (frame) {
    const QMargins m = frame->contentsMargins();
    frame->resize(size() + QSize(m.left() + m.right(), m.top() + m.bottom()));
    frame->installEventFilter(this);
  }
  min_size_ = outer()->size();

  if (owner && frame) {
    const unsigned mode = hooks.placement_mode ? hooks.placement_mode() : 1u;
    const QRect r = placement(mode, owner->canvas_size(), owner->ANZAHLCHILD());
    if (!r.isNull()) frame->setGeometry(r);
  }
}

TABDW_STANDARD::~TABDW_STANDARD() {
  // A shell that is itself going (its canvas deletes the windows) keeps no list to update.
  if (gui::SHELLWINDOW* s = shell()) s->REMOVECHILD(this);
}

TABDW_STANDARD* TABDW_STANDARD::APPENDTAB(const QString& page_class, const QString& caption, int image) {
  tabs_->APPENDTAB(page_class, caption, nullptr, image);
  return this;
}

TABDW_STANDARD* TABDW_STANDARD::SELECTTAB(const QString& page_class) {
  tabs_->SELECTTAB(page_class);
  return this;
}

void TABDW_STANDARD::forward(const char* name, const QVariantList& args) {
  QWidget* page = tabs_->current_page();
  if (gui::has_operation(page, name, int(args.size()))) gui::call_operation(page, name, args);
}

void TABDW_STANDARD::GOTOP() { forward("GOTOP"); }
void TABDW_STANDARD::GOBOTTOM() { forward("GOBOTTOM"); }
void TABDW_STANDARD::SKIPNEXT() { forward("SKIPNEXT"); }
void TABDW_STANDARD::SKIPPREVIOUS() { forward("SKIPPREVIOUS"); }
void TABDW_STANDARD::GOTO(int record) { forward("GOTO", {record}); }
void TABDW_STANDARD::FILEREPORT(bool preview) { forward("FILEREPORT", {preview}); }

void TABDW_STANDARD::SHOW() {
  const auto& hooks = document_window_hooks();
  const unsigned mode = hooks.placement_mode ? hooks.placement_mode() : 1u;
  QWidget::show();
  if (QMdiSubWindow* frame = mdi_frame()) {
    if (mode == 3) frame->showMaximized();
    else frame->show();
  }
}

void TABDW_STANDARD::FILECLOSE() { end_window(); }

bool TABDW_STANDARD::eventFilter(QObject* watched, QEvent* event) {
  // A frame being destroyed is no longer a QMdiSubWindow: nothing to correct then.
  QMdiSubWindow* frame = qobject_cast<QMdiSubWindow*>(watched);
  if (frame && frame == mdi_frame()) {
    // The form's size is the limit only while the user drags the frame: a click leaves
    // the window as it is, and placement and arrangement may make it smaller.
    switch (event->type()) {
      case QEvent::MouseButtonPress:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && !frame->isMaximized()) {
          dragging_ = true;
          press_geometry_ = frame->geometry();
        }
        break;
      case QEvent::MouseButtonRelease:
        dragging_ = false;
        break;
      case QEvent::Resize:
        if (dragging_ && !correcting_) {
          // The dragged edge gives way; the opposite edge stays where it is.
          QRect g = frame->geometry();
          if (g.width() < min_size_.width()) {
            if (g.left() == press_geometry_.left()) g.setWidth(min_size_.width());
            else g.setLeft(g.right() + 1 - min_size_.width());
          }
          if (g.height() < min_size_.height()) {
            if (g.top() == press_geometry_.top()) g.setHeight(min_size_.height());
            else g.setTop(g.bottom() + 1 - min_size_.height());
          }
          if (g != frame->geometry()) {
            correcting_ = true;
            frame->setGeometry(g);
            correcting_ = false;
          }
        }
        break;
      default:
        break;
    }
  }
  return TABDW_STANDARD_FORM::eventFilter(watched, event);
}

void TABDW_STANDARD::resizeEvent(QResizeEvent* e) {
  TABDW_STANDARD_FORM::resizeEvent(e);
  const QWidget* o = outer();
  if (!o->isMinimized() && tabs_) tabs_->ensure_current_page();
}

TAB_BEENDEN_FORM::TAB_BEENDEN_FORM(QWidget* owner) : STD_DATAWINDOW(owner), form_(new Ui::TAB_BEENDEN_FORM) {
  form_->setupUi(this);
  bind_controls();
}

TAB_BEENDEN_FORM::~TAB_BEENDEN_FORM() { delete form_; }

TAB_BEENDEN::TAB_BEENDEN(QWidget* owner) : TAB_BEENDEN_FORM(owner) {}

void TAB_BEENDEN::SHOW() {
  QObject* o = owner();
  if (gui::has_operation(o, "FILECLOSE", 0)) gui::call_operation(o, "FILECLOSE");
}

}  // namespace mv
