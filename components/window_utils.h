#pragma once
// Menu and window helpers. A menu's registered items are its QActions (depth first,
// in menu order, sub-menus included); the command name is the action's object name and
// the item id is the number in the action's data().
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

class QAction;
class QWidget;
class QObject;

namespace mv {

namespace gui {
class SHELLWINDOW;
}

struct MenuItem {
  int id = 0;
  QString name;
  QAction* action = nullptr;
};
// ITEMS: the registered items of a menu (a QMenuBar, QMenu or any widget with actions).
QList<MenuItem> menu_items(const QWidget* menu);

int MENUGETID(const QWidget* menu, const QString& name);
// With names: each named item; without (nullopt): every item except the exceptions.
void MENUENABLEALL(const QWidget* menu, bool enable = true,
                   const std::optional<QStringList>& names = std::nullopt,
                   const std::optional<QStringList>& exceptions = std::nullopt);
bool MENUISCHECKED(const QWidget* menu, const QString& name);
bool MENUISENABLED(const QWidget* menu, const QString& name);

// Window flags stand in for the style word.
bool HASSTYLE(const QWidget* w, unsigned flags);
// Centres the window on its screen, keeping its size.
bool CENTERWINDOW(QWidget* w);
// The position CENTERWINDOW gives (rounded down).
int centered_offset(int screen_extent, int window_extent);
void EDITSETREADONLY(QWidget* control);
void EDITSETREADWRITE(QWidget* control);
// The direct child widgets of a window, in creation order.
QList<QWidget*> GETALLCONTROLS(const QWidget* w);
int GETCAPTIONY();
int GETFRAMEY();
int GETMENUY();
bool ISENABLED(const QWidget* w);
bool ISVISIBLE(const QWidget* w);
gui::SHELLWINDOW* GETSHELL(QObject* w);
inline bool _CALLFROMSELF() { return false; }

// The version of a loaded system module. There are none to ask here, so the numbers stay
// as they are (0 at first) and ISWINNT answers false.
class WINDLLVERSION {
 public:
  explicit WINDLLVERSION(const QString& name) { DLL(name); }
  QString DLL() const { return CDLLNAME; }
  QString DLL(const QString& name) {
    CDLLNAME = name;
    return name;
  }
  bool ISWINNT() const { return PLATFORMID == 2; }

  QString CDLLNAME;
  uint32_t MAJORVERSION = 0;
  uint32_t MINORVERSION = 0;
  uint32_t BUILD = 0;
  uint32_t PLATFORMID = 0;
};

}  // namespace mv
