#include "shell/menus.h"

#include <QAction>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include "platform/gui/windows.h"
#include "shell/pictures.h"
#include "shell/settings.h"

namespace mv {
namespace {

constexpr const char* kWindowListProperty = "mv_window_list_entry";

}  // namespace

const std::vector<MenuEntry>& empty_shell_menu_table() {
  using E = MenuEntry;
  static const std::vector<MenuEntry> t = {
      {E::Popup, 3309, "&Datei", "FILE", ""},
      {E::Item, 3310, "&Neu...", "FILENEW", "Eine DBF-Datei neu erstellen"},
      {E::Item, 32001, "&Öffnen...\tSTRG+O", "FILEOPEN", "Eine DBF-Datei öffnen"},
      {E::Item, 3312, "Erneut Öffnen ...", "FILEOPENDLG", "Eine DBF-Daztei erneut öffnen"},
      {E::Separator, 0, "", "", ""},
      {E::Item, 3314, "Druckereinrichtung...", "FILEPRINTERSETUP", "Druckereinstellungen vornehmen"},
      {E::Separator, 0, "", "", ""},
      {E::Item, 3316, "&Beenden\tALT+F4", "FILEEXIT", "Molvane beenden"},
      {E::Popup, 3317, "Extras", "_EXTRAS", ""},
      {E::Item, 3318, "&Optionen", "OPENOPTIONEN", "Programmeinstellungen vornehmen"},
      {E::Item, 3319, "ZovuZUZ INI-Datei", "ZOVUZUZINI", ""},
      {E::Separator, 0, "", "", ""},
      {E::Item, 3321, "&Rechner", "OPENWINRECHNER", "Windows Rechner öffnen"},
      {E::Item, 3322, "&Kalender", "OPENKALENDER", ""},
      {E::Popup, 3325, "&Hilfe", "HELP", ""},
      {E::Item, 3326, "Handbuch\tF1", "OPENHANDBUCH", "PDF-Handbuch öffnen"},
      {E::Separator, 0, "", "", ""},
      {E::Item, 3328, "&Info...", "OPENABOUT", "Info zu Molvane"},
  };
  return t;
}

const std::vector<MenuEntry>& std_shell_menu_table() {
  using E = MenuEntry;
  static const std::vector<MenuEntry> t = {
      {E::Popup, 3307, "&Datei", "FILE", ""},
      {E::Item, 3308, "&Neu...", "FILENEW", "Eine DBF-Datei neu erstellen"},
      {E::Item, 32001, "&Öffnen...\tSTRG+O", "FILEOPEN", "Eine DBF-Datei öffnen"},
      {E::Item, 3310, "Erneut Öffnen ...", "FILEOPENDLG", "Eine DBF-Datei erneut öffnen"},
      {E::Item, 3311, "&Schließen", "FILECLOSE", "Das aktuelle Fenster schließen"},
      {E::Separator, 0, "", "", ""},
      {E::Item, 3313, "&Kopieren...", "FILECOPY", "Die aktuelle Datei kopieren"},
      {E::Item, 3314, "&Anfügen...", "FILEAPPEND", "Anfügen einer Datei an die aktuelle Datei"},
      {E::Item, 3315, "&Pack", "FILEPACK", "gelöschte Daten aus der aktuellen Datei endgültig entfernen"},
      {E::Item, 3316, "&Zap", "FILEZAP", "alle Daten der Datei endgültig löschen"},
      {E::Separator, 0, "", "", ""},
      {E::Item, 3318, "Seitenansicht", "FILEANSICHT", ""},
      {E::Item, 3319, "&Drucken", "FILEPRINT", "Daten der aktuellen Datei drucken"},
      {E::Item, 3320, "Drucker&einrichtung...", "FILEPRINTERSETUP", "Druckereinstellungen vornehmen"},
      {E::Separator, 0, "", "", ""},
      {E::Item, 3322, "&Beenden\tALT+F4", "FILEEXIT", "Molvane beenden"},
      {E::Popup, 3323, "&Bearbeiten", "EDIT", "Edit information"},
      {E::Item, 3324, "&Datensatz Neu", "APPEND", "Einen neuen Datensatz an die aktuelle Datei anfügen"},
      {E::Item, 3325, "Datensatz &löschen", "DELETE", "Den markierten Datensatz löschen, bzw. wieder herstellen"},
      {E::Item, 3326, "Feldwerte ersetzen", "OPENDLGREPLACE", "Feldwerte einer Datei ändern "},
      {E::Separator, 0, "", "", ""},
      {E::Item, 3328, "&Erster Datensatz\tSTRG+POS1", "GOTOP", "Gehe zum ersten Datenstz"},
      {E::Item, 3329, "&Voriger Datensatz", "SKIPPREVIOUS", "Gehe zum vorigen Datenstz"},
      {E::Item, 3330, "&Nächster Datensatz", "SKIPNEXT", "Gehe zum nächsten Datenstz"},
      {E::Item, 3331, "&Letzter Datensatz\tSTRG+ENDE", "GOBOTTOM", "Gehe zum letzten Datenstz"},
      {E::Popup, 3332, "&Ansicht", "VIEW", ""},
      {E::Item, 3333, "gelöschte &Datensätze", "SET_DELETED", "Anzeige gelöschter Datensätze"},
      {E::Item, 3334, "&Satznummer", "SET_SATZNUMMER", "Anzeige der Satznummer in der Tabellenansicht"},
      {E::Item, 3335, "Auswahl &Felder", "OPENDLGFELDER", ""},
      {E::Popup, 3336, "&Fenster", "WINDOW", "Arrange child windows"},
      {E::Item, 3337, "&Überlappend", "WINDOWCASCADE", "Arrange child windows in a cascade"},
      {E::Item, 3338, "&Nebeneinander", "WINDOWTILE", "Fenster nebeneinander"},
      {E::Item, 3339, "&Alle Schließen", "CLOSEALLCHILDREN", "alle Fenster schließen"},
      {E::Popup, 3340, "Extras", "_EXTRAS", ""},
      {E::Item, 3341, "&Optionen", "OPENOPTIONEN", "Programmeinstellungen vornehmen"},
      {E::Item, 3342, "ZovuZUZ INI-Datei", "ZOVUZUZINI", ""},
      {E::Separator, 0, "", "", ""},
      {E::Item, 3344, "&Rechner", "OPENWINRECHNER", "Windows Rechner öffnen"},
      {E::Item, 3345, "&Kalender", "OPENKALENDER", ""},
      {E::Popup, 3348, "&Hilfe", "HELP", ""},
      {E::Item, 3349, "Handbuch\tF1", "OPENHANDBUCH", "PDF-Handbuch öffnen"},
      {E::Separator, 0, "", "", ""},
      {E::Item, 3351, "&Info...", "OPENABOUT", "Info zu Molvane"},
  };
  return t;
}

const std::vector<ToolbarEntry>& empty_shell_toolbar_table() {
  static const std::vector<ToolbarEntry> t = {
      {100, 3310, "Neu", "Neue DBF-Datei erstellen"},
      {0, 0, "", ""},
      {2, 32001, "Öffnen", "DBF-Datei Öffnen"},
      {35, 3312, "Öffnen ", "DBF-Datei erneut öffnen"},
      {0, 0, "", ""},
      {114, 3318, "Option", "Einstellungen"},
      {0, 0, "", ""},
      {48, 3321, "Rechner", "Windows Rechner"},
      {33, 3322, "Kalender", "Kalender"},
      {0, 0, "", ""},
      {124, 3326, "Handbuch", "PDF-Handbuch"},
      {120, 3328, "Info", "Programm Info"},
      {0, 0, "", ""},
  };
  return t;
}

const std::vector<ToolbarEntry>& std_shell_toolbar_table() {
  static const std::vector<ToolbarEntry> t = {
      {3, 3311, "", "Datei schließen"},
      {5, 3319, "", "Drucken"},
      {6, 3318, "", "Seitenansicht"},
      {0, 0, "", ""},
      {129, 3328, "", "Erster Datensatz"},
      {127, 3329, "", "Vorhergehender Datensatz"},
      {128, 3330, "", "Nächster Datensatz"},
      {130, 3331, "", "Letzter Datensatz"},
      {0, 0, "", ""},
      {120, 3349, "Handbuch", "PDF-Handbuch"},
      {0, 0, "", ""},
  };
  return t;
}

const std::vector<AcceleratorEntry>& EMPTYSHELLMENU_ACCELERATOR::entries() const {
  static const std::vector<AcceleratorEntry> t = {
      {QKeySequence(Qt::CTRL | Qt::Key_O), 32001},
      {QKeySequence(Qt::ALT | Qt::Key_F4), 3316},
      {QKeySequence(Qt::Key_F1), 3326},
  };
  return t;
}

const std::vector<AcceleratorEntry>& STDSHELLMENU_ACCELERATOR::entries() const {
  static const std::vector<AcceleratorEntry> t = {
      {QKeySequence(Qt::CTRL | Qt::Key_O), 32001},
      {QKeySequence(Qt::ALT | Qt::Key_F4), 3322},
      {QKeySequence(Qt::CTRL | Qt::Key_Home), 3328},
      {QKeySequence(Qt::CTRL | Qt::Key_End), 3331},
      {QKeySequence(Qt::Key_F1), 3349},
  };
  return t;
}

Qt::ToolButtonStyle toolbar_button_style(int style) {
  switch (style) {
    case 1:
      return Qt::ToolButtonIconOnly;
    case 2:
      return Qt::ToolButtonTextUnderIcon;
    default:
      return Qt::ToolButtonTextOnly;
  }
}

ShellMenu::ShellMenu(QObject* owner, const std::vector<MenuEntry>& table,
                     const std::vector<AcceleratorEntry>& accelerators)
    : QObject(owner) {
  QMenu* current = nullptr;
  for (const MenuEntry& e : table) {
    switch (e.kind) {
      case MenuEntry::Popup: {
        current = new QMenu(QString::fromUtf8(e.caption));
        current->menuAction()->setData(e.id);
        if (*e.status) current->menuAction()->setStatusTip(QString::fromUtf8(e.status));
        popups_.append(current);
        items_.push_back({e.id, QByteArray(e.name), current->menuAction()});
        break;
      }
      case MenuEntry::Separator:
        if (current) current->addSeparator();
        break;
      case MenuEntry::Item: {
        if (!current) break;
        QAction* a = current->addAction(QString::fromUtf8(e.caption));
        a->setObjectName(QString::fromLatin1(e.name));
        a->setData(e.id);
        a->setStatusTip(QString::fromUtf8(e.status));
        items_.push_back({e.id, QByteArray(e.name), a});
        break;
      }
    }
  }
  for (const AcceleratorEntry& acc : accelerators)
    if (QAction* a = action(acc.item)) a->setShortcut(acc.key);
  connect_to_router(owner);
}

ShellMenu::~ShellMenu() {
  if (toolbar_) delete toolbar_.data();
  qDeleteAll(popups_);
}

void ShellMenu::connect_to_router(QObject* owner) {
  gui::SHELLWINDOW* shell = qobject_cast<gui::SHELLWINDOW*>(owner);
  if (!shell && owner) shell = gui::shell_of(owner);
  if (!shell) return;
  router_ = shell->router();
  for (QMenu* m : popups_) shell->router()->connect_actions(m);
}

QAction* ShellMenu::action(int id) const {
  for (const MenuItemRow& row : items_)
    if (row.id == id) return row.action;
  return nullptr;
}

QAction* ShellMenu::action_named(const QByteArray& name) const {
  for (const MenuItemRow& row : items_)
    if (row.name == name && row.action && !row.action->menu()) return row.action;
  return nullptr;
}

void ShellMenu::set_enabled(int id, bool on) {
  if (QAction* a = action(id)) a->setEnabled(on);
}

void ShellMenu::set_checked(int id, bool on) {
  if (QAction* a = action(id)) {
    if (on) a->setCheckable(true);
    a->setChecked(on);
  }
}

bool ShellMenu::is_enabled(int id) const {
  QAction* a = action(id);
  return a && a->isEnabled();
}

bool ShellMenu::is_checked(int id) const {
  QAction* a = action(id);
  return a && a->isChecked();
}

QToolBar* ShellMenu::build_toolbar(const std::vector<ToolbarEntry>& table, int style, bool bands) {
  auto* bar = new QToolBar(QStringLiteral("Toolbar"));
  bar->setObjectName(QStringLiteral("toolbar"));
  bar->setMovable(bands);
  bar->setFloatable(false);
  bar->setIconSize(QSize(24, 24));
  // The default style shows a caption under the picture where a button has one.
  bar->setToolButtonStyle(style < 0 ? Qt::ToolButtonTextUnderIcon : toolbar_button_style(style));
  for (const ToolbarEntry& e : table) {
    if (e.item == 0) {
      bar->addSeparator();
      continue;
    }
    QAction* item = action(e.item);
    QAction* button = bar->addAction(toolbar_picture(e.picture), QString::fromUtf8(e.caption));
    button->setObjectName(item ? item->objectName() : QString());
    button->setData(e.item);
    button->setToolTip(QString::fromUtf8(e.tip));
    button->setStatusTip(item ? item->statusTip() : QString());
    if (item) {
      // A button follows its item: disabled together.
      button->setEnabled(item->isEnabled());
      connect(item, &QAction::changed, button, [item, button] { button->setEnabled(item->isEnabled()); });
    }
  }
  if (auto* router = qobject_cast<gui::CommandRouter*>(router_.data())) router->connect_actions(bar);
  return bar;
}

void ShellMenu::set_toolbar(QToolBar* toolbar) {
  QMainWindow* window = window_.data();
  bool visible = toolbar_ && toolbar_->isVisibleTo(window);
  if (toolbar_) delete toolbar_.data();
  toolbar_ = toolbar;
  if (window) {
    window->addToolBar(Qt::TopToolBarArea, toolbar);
    toolbar->setVisible(visible);
  }
}

void ShellMenu::install(QMainWindow* window, bool toolbar_visible) {
  QMenuBar* bar = window->menuBar();
  bar->clear();
  for (QMenu* m : popups_) bar->addMenu(m);
  for (QToolBar* other : window->findChildren<QToolBar*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (other != toolbar_) window->removeToolBar(other);
  }
  window_ = window;
  if (toolbar_) {
    window->addToolBar(Qt::TopToolBarArea, toolbar_);
    toolbar_->setVisible(toolbar_visible);
  }
}

void ShellMenu::SETAUTOUPDATE(int index) {
  if (index < 0 || index >= popups_.size()) return;
  auto_update_ = index;
  QMenu* popup = popups_[index];
  fixed_items_ = int(popup->actions().size());
  connect(popup, &QMenu::aboutToShow, this, [this, popup] { fill_window_list(popup); });
}

void ShellMenu::fill_window_list(QMenu* popup) {
  for (QAction* a : popup->actions())
    if (a->property(kWindowListProperty).toBool()) {
      popup->removeAction(a);
      a->deleteLater();
    }
  auto* shell = qobject_cast<gui::SHELLWINDOW*>(window_.data());
  if (!shell) return;
  const QList<QMdiSubWindow*> windows = shell->canvas()->subWindowList();
  if (windows.isEmpty()) return;
  QAction* sep = popup->addSeparator();
  sep->setProperty(kWindowListProperty, true);
  int n = 0;
  for (QMdiSubWindow* sub : windows) {
    ++n;
    const QString title = sub->widget() ? sub->widget()->windowTitle() : sub->windowTitle();
    QAction* a = popup->addAction(QStringLiteral("&%1 %2").arg(n).arg(title));
    a->setProperty(kWindowListProperty, true);
    a->setCheckable(true);
    a->setChecked(sub == shell->canvas()->activeSubWindow());
    QPointer<QMdiSubWindow> target = sub;
    QPointer<QMdiArea> area = shell->canvas();
    connect(a, &QAction::triggered, this, [target, area] {
      if (target && area) area->setActiveSubWindow(target);
    });
  }
}

EMPTYSHELLMENU::EMPTYSHELLMENU(QObject* owner)
    : ShellMenu(owner, empty_shell_menu_table(), EMPTYSHELLMENU_ACCELERATOR().entries()) {
  setObjectName(QStringLiteral("EMPTYSHELLMENU"));
  POSTINIT();
}

void EMPTYSHELLMENU::POSTINIT() {
  QToolBar* bar = build_toolbar(empty_shell_toolbar_table(), int(GNTOOLBARSTYLE), false);
  set_toolbar(bar);
}

STDSHELLMENU::STDSHELLMENU(QObject* owner)
    : ShellMenu(owner, std_shell_menu_table(), STDSHELLMENU_ACCELERATOR().entries()) {
  setObjectName(QStringLiteral("STDSHELLMENU"));
  SETAUTOUPDATE(3);
  POSTINIT();
}

void STDSHELLMENU::POSTINIT() {
  QToolBar* bar = build_toolbar(std_shell_toolbar_table(), -1, true);
  set_toolbar(bar);
}

}  // namespace mv
