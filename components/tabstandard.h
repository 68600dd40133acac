#pragma once
// The tab control of the tabbed document windows. A tab's page is created from its class
// name (see gui::register_window_class), with the document window as owner, the first time
// the tab is selected; it then lives as long as the control. Every change of the selected
// tab shows the page (its SHOW operation); selecting the tab that is already current only
// makes sure its page exists.
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTabWidget>
#include <vector>

#include "platform/gui/windows.h"

namespace mv {

class TABSTANDARD : public QTabWidget {
  Q_OBJECT
 public:
  struct Tab {
    QString name;      // the page's class name
    QString caption;
    QPointer<QWidget> page;  // empty until the first selection
    QWidget* host = nullptr; // the widget QTabWidget shows for the tab
    int image = 0;
  };

  explicit TABSTANDARD(QWidget* parent = nullptr);

  // The window pages are created for (the document window). Defaults to the window
  // that holds the control.
  void set_page_owner(QWidget* owner) { page_owner_ = owner; }
  QWidget* page_owner() const;

  TABSTANDARD* APPENDTAB(const QString& name, const QString& caption, QWidget* page = nullptr,
                         int image = 0);
  TABSTANDARD* SELECTTAB(const QString& name);
  bool CHECKPAGE(const QString& name);
  TABSTANDARD* CREATEPAGE(const QString& name, QWidget* owner);
  // The page of a tab once created; before that a placeholder window without any page
  // operation. nullptr for a name that no tab has.
  QWidget* GETPAGESYM(const QString& name) const;
  // Tab number counted from 1.
  QWidget* GETPAGENUM(int number) const;
  const std::vector<Tab>& PAGES() const { return tabs_; }
  QString CURRENTTAB() const { return current_name_; }
  void CURRENTTAB(const QString& name) { current_name_ = name; }
  bool ISENABLED(const QString& name) const;
  void set_disabled_tabs(const QStringList& names) { disabled_ = names; }

  // Name of the selected tab (empty when none).
  QString selected_name() const;
  // The page on the selected tab (nullptr when it has none yet).
  QWidget* current_page() const;
  // True when the page of the tab exists.
  bool page_created(const QString& name) const;

  // Makes sure the page of the selected tab exists, without showing it again.
  void ensure_current_page();

 signals:
  // A page was shown because its tab became the selected one.
  void page_shown(const QString& name, QWidget* page);

 private slots:
  void on_current_changed(int index);

 private:
  int index_of(const QString& name) const;
  void show_page(int index);

  std::vector<Tab> tabs_;
  QStringList disabled_;
  QString current_name_;
  QPointer<QWidget> page_owner_;
  gui::WINDOW* placeholder_;
  bool appending_ = false;
};

// Zero-based index of the selected tab, -1 when none is selected.
int TABCURSEL(const QTabWidget* tabs);

}  // namespace mv
