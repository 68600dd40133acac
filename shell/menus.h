#pragma once
// The two menus of the program, each with its toolbar and accelerators:
//   EMPTYSHELLMENU  the shell's menu while no table window is open;
//   STDSHELLMENU    the menu of every table window, shown while that window is active.
// Every item and toolbar button carries a command name (the QAction's object name); the
// shell's command router sends it to the active table window when that has an operation
// of the name, else to the shell. Items are switched by their ids.
#include <QKeySequence>
#include <QToolBar>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <vector>

class QAction;
class QMainWindow;
class QMenu;
class QToolBar;

namespace mv {

// One row of a menu table.
struct MenuEntry {
  enum Kind { Popup, Item, Separator };
  Kind kind;
  int id;               // 0 for separators
  const char* caption;  // as shown, "&" marks the mnemonic, "\t" the key text
  const char* name;     // command name of an item; label name of a popup
  const char* status;   // status text; may be empty
};

// One row of a toolbar table; `item` 0 is a separator.
struct ToolbarEntry {
  int picture;
  int item;
  const char* caption;  // may be empty
  const char* tip;
};

// One row of an accelerator table.
struct AcceleratorEntry {
  QKeySequence key;
  int item;
};

const std::vector<MenuEntry>& empty_shell_menu_table();
const std::vector<MenuEntry>& std_shell_menu_table();
const std::vector<ToolbarEntry>& empty_shell_toolbar_table();
const std::vector<ToolbarEntry>& std_shell_toolbar_table();

// The accelerator tables.
class EMPTYSHELLMENU_ACCELERATOR {
 public:
  const std::vector<AcceleratorEntry>& entries() const;
};
class STDSHELLMENU_ACCELERATOR {
 public:
  const std::vector<AcceleratorEntry>& entries() const;
};

// A registered item or popup: its id and label name (the command name of an item).
struct MenuItemRow {
  int id;
  QByteArray name;
  QAction* action;
};

// Base of both menus: owns its popups, its items, its toolbar and its accelerators.
class ShellMenu : public QObject {
  Q_OBJECT
 public:
  ~ShellMenu() override;

  // The popups in menu-bar order.
  const QList<QMenu*>& popups() const { return popups_; }
  // The registered items and popups in registration order (ITEMS).
  const std::vector<MenuItemRow>& ITEMS() const { return items_; }
  QAction* action(int id) const;
  QAction* action_named(const QByteArray& name) const;
  QToolBar* TOOLBAR() const { return toolbar_.data(); }

  void ENABLEITEM(int id) { set_enabled(id, true); }
  void DISABLEITEM(int id) { set_enabled(id, false); }
  void CHECKITEM(int id) { set_checked(id, true); }
  void UNCHECKITEM(int id) { set_checked(id, false); }
  void set_enabled(int id, bool on);
  void set_checked(int id, bool on);
  bool is_enabled(int id) const;
  bool is_checked(int id) const;

  // Makes this the menu of `window`: its popups fill the window's menu bar and its toolbar
  // replaces the toolbar there; `toolbar_visible` says whether that toolbar shows.
  void install(QMainWindow* window, bool toolbar_visible);
  // The window the menu was last installed in.
  QMainWindow* installed_in() const { return window_.data(); }

  // Keeps popup `index` listing the document windows after its own items.
  void SETAUTOUPDATE(int index);

 protected:
  ShellMenu(QObject* owner, const std::vector<MenuEntry>& table,
            const std::vector<AcceleratorEntry>& accelerators);
  // Builds a toolbar from `table`; `style` < 0 leaves the default style.
  QToolBar* build_toolbar(const std::vector<ToolbarEntry>& table, int style, bool bands);
  void set_toolbar(QToolBar* toolbar);

 private:
  void connect_to_router(QObject* owner);
  void fill_window_list(QMenu* popup);

  QList<QMenu*> popups_;
  std::vector<MenuItemRow> items_;
  QPointer<QToolBar> toolbar_;
  QPointer<QMainWindow> window_;
  QPointer<QObject> router_;
  int auto_update_ = -1;
  int fixed_items_ = 0;
};

class EMPTYSHELLMENU : public ShellMenu {
  Q_OBJECT
 public:
  // The owner (the shell) is the menu's parent; the toolbar takes the button style in force
  // (GNTOOLBARSTYLE: 0 captions, 1 pictures, 2 pictures and captions).
  explicit EMPTYSHELLMENU(QObject* owner);
  void POSTINIT();
};

class STDSHELLMENU : public ShellMenu {
  Q_OBJECT
 public:
  // The owner (a table window) is the menu's parent.
  explicit STDSHELLMENU(QObject* owner);
  void POSTINIT();
};

// The toolbar button style for a style number (0 text, 1 icons, 2 icons and text).
Qt::ToolButtonStyle toolbar_button_style(int style);

}  // namespace mv
