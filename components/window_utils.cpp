#include "components/window_utils.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStyle>

#include "components/slestandard.h"
#include "platform/gui/windows.h"

namespace mv {

static void collect(const QList<QAction*>& actions, QList<MenuItem>& out) {
  for (QAction* a : actions) {
    if (a->isSeparator()) continue;
    if (!a->objectName().isEmpty() || a->data().isValid()) out.push_back({a->data().toInt(), a->objectName(), a});
    if (QMenu* sub = a->menu()) collect(sub->actions(), out);
  }
}

QList<MenuItem> menu_items(const QWidget* menu) {
  QList<MenuItem> out;
  if (menu) collect(menu->actions(), out);
  return out;
}

static const MenuItem* find_item(const QList<MenuItem>& items, const QString& name) {
  for (const MenuItem& i : items)
    if (i.name == name) return &i;
  return nullptr;
}

int MENUGETID(const QWidget* menu, const QString& name) {
  const auto items = menu_items(menu);
  const MenuItem* i = find_item(items, name);
  return i ? i->id : 0;
}

void MENUENABLEALL(const QWidget* menu, bool enable, const std::optional<QStringList>& names,
                   const std::optional<QStringList>& exceptions) {
  const auto items = menu_items(menu);
  auto set_id = [&](int id) {
    if (id == 0) return;
    for (const MenuItem& i : items)
      if (i.id == id) i.action->setEnabled(enable);
  };
  if (names) {
    for (const QString& n : *names) set_id(MENUGETID(menu, n));
    return;
  }
  for (const MenuItem& i : items) {
    if (exceptions && exceptions->contains(i.name)) continue;
    set_id(i.id);
  }
}

bool MENUISCHECKED(const QWidget* menu, const QString& name) {
  const auto items = menu_items(menu);
  const MenuItem* i = find_item(items, name);
  return i && i->action->isCheckable() && i->action->isChecked();
}

bool MENUISENABLED(const QWidget* menu, const QString& name) {
  const auto items = menu_items(menu);
  const MenuItem* i = find_item(items, name);
  return i && i->action->isEnabled();
}

bool HASSTYLE(const QWidget* w, unsigned flags) { return w && (unsigned(w->windowFlags()) & flags) != 0; }

int centered_offset(int screen_extent, int window_extent) {
  const int d = screen_extent - window_extent;
  // Round down also for a window larger than the screen.
  return d >= 0 ? d / 2 : -((-d + 1) / 2);
}

bool CENTERWINDOW(QWidget* w) {
  if (!w) return false;
  QScreen* s = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
  if (!s) return false;
  const QRect r = s->geometry();
  const QSize size = w->frameGeometry().size();
  w->move(r.x() + centered_offset(r.width(), size.width()), r.y() + centered_offset(r.height(), size.height()));
  w->update();
  return true;
}

static void set_read_only(QWidget* control, bool on) {
  if (auto* sle = qobject_cast<SLESTANDARD*>(control)) sle->READONLY(on);
  else if (auto* e = qobject_cast<QLineEdit*>(control)) e->setReadOnly(on);
  else if (control) control->setProperty("readOnly", on);
}

void EDITSETREADONLY(QWidget* control) { set_read_only(control, true); }
void EDITSETREADWRITE(QWidget* control) { set_read_only(control, false); }

QList<QWidget*> GETALLCONTROLS(const QWidget* w) {
  QList<QWidget*> out;
  if (!w) return out;
  for (QObject* o : w->children())
    if (auto* c = qobject_cast<QWidget*>(o)) out.push_back(c);
  return out;
}

int GETCAPTIONY() { return QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight); }
int GETFRAMEY() { return QApplication::style()->pixelMetric(QStyle::PM_DefaultFrameWidth); }
int GETMENUY() {
  QMenuBar bar;
  bar.addMenu(QStringLiteral("X"));
  return bar.sizeHint().height();
}
bool ISENABLED(const QWidget* w) { return w && w->isEnabled(); }
bool ISVISIBLE(const QWidget* w) { return w && w->isVisible(); }
gui::SHELLWINDOW* GETSHELL(QObject* w) { return gui::shell_of(w); }

}  // namespace mv
