#include "tablewindow/tabdw_dbfdatei.h"

#include <QCloseEvent>

#include <QMdiArea>
#include <QMdiSubWindow>

#include "components/strings.h"
#include "header/page/tab_header.h"
#include "platform/gui/dispatch.h"
#include "platform/gui/messagebox.h"
#include "platform/table/table.h"
#include "structure/structure_pages.h"
#include "tablewindow/empty_pages.h"
#include "tablewindow/environment.h"
#include "tablewindow/dlg_replace.h"
#include "tablewindow/tab_dbfdaten.h"
#include "tablewindow/tab_option_form.h"

namespace mv {
namespace {

const QString kDaten = QStringLiteral("TAB_DBFDATEN");
const QString kStruktur = QStringLiteral("TAB_STRUKTUR");
const QString kIndex = QStringLiteral("TAB_INDEX");
const QString kHeader = QStringLiteral("TAB_HEADER");

}  // namespace

void register_table_window_pages() {
  if (!gui::is_window_class("TAB_DBFDATEN")) gui::register_window_class<TAB_DBFDATEN>("TAB_DBFDATEN");
  if (!gui::is_window_class("DLG_REPLACE")) gui::register_window_class<DLG_REPLACE>("DLG_REPLACE");
  if (!gui::is_window_class("TAB_OPTION_FORM")) gui::register_window_class<TAB_OPTION_FORM>("TAB_OPTION_FORM");
  register_header_page();
  register_structure_pages();
  for (const char* name : {"TAB_STRUKTUR", "TAB_INDEX"}) {
    if (gui::is_window_class(name)) continue;
    const QString n = QString::fromLatin1(name);
    gui::register_window_class(name, [n](QWidget* owner) -> QWidget* { return new EmptyTablePage(n, owner); });
  }
}

TABDW_DBFDATEI* create_table_window(gui::SHELLWINDOW* shell, const QString& file, std::optional<bool> share,
                                    std::optional<bool> read_only, std::optional<bool> ansi) {
  return new TABDW_DBFDATEI(shell, file.isEmpty() ? std::nullopt : std::optional<QString>(file), share, read_only,
                            ansi);
}

TABDW_DBFDATEI::TABDW_DBFDATEI(gui::SHELLWINDOW* owner, const std::optional<QString>& file,
                               std::optional<bool> share, std::optional<bool> read_only, std::optional<bool> ansi)
    : TABDW_STANDARD(owner) {
  setObjectName(QStringLiteral("TABDW_DBFDATEI"));
  register_table_window_pages();
  const TableWindowEnvironment& env = table_window_environment();
  if (file) CEDBF = *file;
  LESHARE = share.value_or(!env.exclusive_or_default());
  LEREADONLY = read_only.value_or(env.read_only_or_default());
  LEANSI = ansi.value_or(false);
  CEDRIVER = env.driver_or_default();

  APPENDTAB(kDaten, QStringLiteral(" Daten "));
  APPENDTAB(kStruktur, QStringLiteral(" Struktur "));
  APPENDTAB(kIndex, QStringLiteral(" Index "));
  APPENDTAB(kHeader, QStringLiteral(" Header "));
  APPENDTAB(QStringLiteral("TAB_BEENDEN"), QStringLiteral(" Beenden "));

  if (owner) {
    connect(owner->canvas(), &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* w) {
      if (w && w == mdi_frame()) ACTIVATE();
    });
  }

  if (CEDBF.isEmpty()) {
    // The form's placeholder caption never shows: a new table is "Neu" until it has a name.
    set_caption(QStringLiteral("Neu"));
    SELECTTAB(kStruktur);
    return;
  }
  set_ansi_mode(LEANSI);
  SET_SPLITPATH();
  set_caption(CEFILE + CEEXT);
  SELECTTAB(kDaten);
  TableGridServer* s = server();
  if (!s) {
    set_caption(CEFILE + CEEXT);
    SELECTTAB(kHeader);
    return;
  }
  take_structure();
  if (HistoryStore* h = env.history) {
    count_opening(*h, CEDBF);
    if (!h->GETSTRING(CEDBF, QStringLiteral("Spalte1")).isEmpty()) LESE_INIDAT();
  }
}

TABDW_DBFDATEI::~TABDW_DBFDATEI() {
  closing_ = true;
  // The table is written and released before the pages go.
  if (TAB_DBFDATEN* p = data_page()) p->GRIDDBSERVERCLOSE();
  ASTRUCTUR.clear();
  AINDEX.clear();
}

TAB_DBFDATEN* TABDW_DBFDATEI::data_page() const {
  return qobject_cast<TAB_DBFDATEN*>(TABCONTROL()->GETPAGESYM(kDaten));
}

TableGridServer* TABDW_DBFDATEI::server() const {
  if (CEDBF.isEmpty()) return nullptr;
  TAB_DBFDATEN* p = data_page();
  return p ? p->server() : nullptr;
}

void TABDW_DBFDATEI::take_structure() {
  if (TableGridServer* s = server()) {
    ASTRUCTUR = structure_of(s->table()->dbstruct());
    FILL_AFELDER();
  }
}

bool TABDW_DBFDATEI::call_data_page(const char* name) {
  TAB_DBFDATEN* p = data_page();
  if (!p || !gui::has_operation(p, name, 0)) return false;
  gui::call_operation(p, name);
  return true;
}

// ---------------------------------------------------------------- menu state

void TABDW_DBFDATEI::set_item_enabled(int id, bool on) {
  enabled_[id] = on;
  const auto& env = table_window_environment();
  if (env.enable_item && menu()) env.enable_item(const_cast<QObject*>(menu()), id, on);
}

void TABDW_DBFDATEI::set_item_checked(int id, bool on) {
  checked_[id] = on;
  const auto& env = table_window_environment();
  if (env.check_item && menu()) env.check_item(const_cast<QObject*>(menu()), id, on);
}

void TABDW_DBFDATEI::MENUDATEN() {
  for (int id : {kItemAppend, kItemDelete, kItemReplace, kItemTop, kItemPrevious, kItemNext, kItemBottom,
                 kItemDeleted, kItemRecno, kItemColumns})
    set_item_enabled(id, true);
}

void TABDW_DBFDATEI::MENUSTRUKTUR() {
  for (int id : {kItemAppend, kItemDelete, kItemReplace, kItemDeleted, kItemRecno, kItemColumns})
    set_item_enabled(id, false);
  for (int id : {kItemTop, kItemPrevious, kItemNext, kItemBottom}) set_item_enabled(id, true);
}

void TABDW_DBFDATEI::ACTIVATE() {
  TAB_DBFDATEN* p = data_page();
  if (!CEDBF.isEmpty() && p) {
    set_item_checked(kItemDeleted, p->LESE_CHBDEL());
    set_item_checked(kItemRecno, p->LESE_CHBSATZNR());
    // The deleted filter is shared by all windows: this window's box decides it now.
    p->apply_deleted_filter();
  }
  // The window's own flag decides how its table's texts are converted.
  set_ansi_mode(LEANSI);
}

// ---------------------------------------------------------------- commands

bool TABDW_DBFDATEI::confirm_close() {
  if (close_confirmed_) return true;
  if (CEDBF.isEmpty() && !ASTRUCTUR.empty()) {
    if (!gui::yes_no_box(this, QStringLiteral("Achtung"),
                         QStringLiteral("Beim Schließen des Fensters gehen die\r\nerfaßten Strukturdaten verloren!"
                                        "\r\n\r\nMöchten Sie das Fenster trotzdem schließen?"))) {
      SELECTTAB(kStruktur);
      return false;
    }
  }
  close_confirmed_ = true;
  return true;
}

void TABDW_DBFDATEI::FILECLOSE() {
  if (!confirm_close()) return;
  if (TAB_DBFDATEN* p = data_page()) p->GRIDDBSERVERCLOSE();
  end_window();
}

void TABDW_DBFDATEI::closeEvent(QCloseEvent* event) {
  if (!confirm_close()) {
    event->ignore();
    return;
  }
  if (TAB_DBFDATEN* p = data_page()) p->GRIDDBSERVERCLOSE();
  TABDW_STANDARD::closeEvent(event);
}

void TABDW_DBFDATEI::FILECOPY() { call_data_page("FILECOPY"); }
void TABDW_DBFDATEI::FILEAPPEND() { call_data_page("FILEAPPEND"); }
void TABDW_DBFDATEI::FILEPACK() { call_data_page("FILEPACK"); }
void TABDW_DBFDATEI::FILEZAP() { call_data_page("FILEZAP"); }
void TABDW_DBFDATEI::FILEANSICHT() { FILEAUSGABE(true); }
void TABDW_DBFDATEI::FILEPRINT() { FILEAUSGABE(false); }

void TABDW_DBFDATEI::APPEND() {
  if (TABCURSEL(TABCONTROL()) == 0) call_data_page("PB_APPEND");
}

void TABDW_DBFDATEI::DELETE() {
  if (TABCURSEL(TABCONTROL()) == 0) call_data_page("PB_DELETE");
}

void TABDW_DBFDATEI::SET_DELETED() { call_data_page("SET_DELETED"); }
void TABDW_DBFDATEI::SET_SATZNUMMER() { call_data_page("SET_SATZNR"); }

void TABDW_DBFDATEI::OPENDLGREPLACE() {
  TableGridServer* s = server();
  if (!s) {
    gui::info_box(this, QStringLiteral("Achtung"), QStringLiteral("Es ist keine Datei geöffnet!"));
    return;
  }
  if (s->READONLY()) {
    gui::info_box(this, QStringLiteral("Achtung"), QStringLiteral("Die Datei wurde schreibgeshützt geöffnet"));
    return;
  }
  if (TAB_DBFDATEN* p = data_page()) p->warn_unmaintained_indexes();
  QWidget* dlg = gui::create_window("DLG_REPLACE", this);
  if (!dlg) return;
  gui::call_operation(dlg, "SETUP", {QVariant::fromValue<QObject*>(s)});
  gui::call_operation(dlg, "SHOW");
  dlg->deleteLater();
}

void TABDW_DBFDATEI::OPENDLGFELDER(const QVariant& start, const QVariant& unused) {
  if (!server()) {
    gui::info_box(this, QStringLiteral("Achtung"), QStringLiteral("Es ist keine Datei geöffnet!"));
    return;
  }
  QWidget* dlg = gui::create_window("DLG_SPALTENWAHL", this);
  if (!dlg) return;
  gui::call_operation(dlg, "SETUP", {start.isValid() ? start : QVariant(0), unused});
  gui::call_operation(dlg, "SHOW");
  int result = 0;
  if (auto* d = qobject_cast<gui::DIALOGWINDOW*>(dlg)) result = d->RESULT();
  else if (auto r = gui::call_operation(dlg, "RESULT")) result = r->toInt();
  // Cancelled: the stored layout undoes what the dialog changed in AFELDER; rows no
  // stored key reaches go back to their defaults, not to the dialog's changes.
  if (result == 2) {
    FILL_AFELDER();
    LESE_INIDAT();
  }
  dlg->deleteLater();
}

// ---------------------------------------------------------------- operations of the pages

QObject* TABDW_DBFDATEI::LESE_GRIDDBSERVER() { return server(); }

QObject* TABDW_DBFDATEI::GRIDDBSERVERCLOSE() {
  TAB_DBFDATEN* p = data_page();
  if (p) p->GRIDDBSERVERCLOSE();
  return p;
}

void TABDW_DBFDATEI::ZOVUZUZNEU() {
  set_ansi_mode(LEANSI);
  TAB_DBFDATEN* p = data_page();
  if (!p || CEDBF.isEmpty()) return;
  p->ZOVUZUZ();
  take_structure();
}

void TABDW_DBFDATEI::SETTAB_DBFDATEI() {
  SELECTTAB(kDaten);
  take_structure();
}

void TABDW_DBFDATEI::SET_SPLITPATH() { MYSPLITPATH(CEDBF, CEDRIVE, CEDIR, CEFILE, CEEXT); }

void TABDW_DBFDATEI::FILL_CBINDEX() { call_data_page("FILL_CBINDEX"); }
void TABDW_DBFDATEI::SET_TABSTRUKTUR() { SELECTTAB(kStruktur); }
void TABDW_DBFDATEI::SET_TABHEADER() { SELECTTAB(kHeader); }
void TABDW_DBFDATEI::SUSPENDUPDATE() { call_data_page("SUSPENDUPDATE"); }
void TABDW_DBFDATEI::RESTOREUPDATE() { call_data_page("RESTOREUPDATE"); }

int TABDW_DBFDATEI::LESESATZNR() {
  TAB_DBFDATEN* p = data_page();
  return p ? p->LESESATZNR() : 0;
}

QString TABDW_DBFDATEI::LESEORDERKEYVAL() {
  TAB_DBFDATEN* p = data_page();
  return p ? p->LESEORDERKEYVAL() : QString();
}

void TABDW_DBFDATEI::PRINTSCREEN() {
  if (const auto& print = table_window_environment().print_window) print(this);
}

QString TABDW_DBFDATEI::help_topic() const {
  switch (TABCONTROL()->currentIndex()) {
    case 0: return QStringLiteral("Daten");
    case 1: return CEDBF.isEmpty() ? QStringLiteral("Neu") : QStringLiteral("Struktur");
    case 2: return QStringLiteral("Index Datei");
    default: return {};
  }
}

void TABDW_DBFDATEI::INDEXWAHL(int order) {
  if (TAB_DBFDATEN* p = data_page()) p->SETORDERDBF(order);
}

void TABDW_DBFDATEI::FILEAUSGABE(bool preview) {
  if (CEDBF.isEmpty()) return;
  QWidget* page = TABCONTROL()->current_page();
  if (gui::has_operation(page, "FILEREPORT", 1)) gui::call_operation(page, "FILEREPORT", {preview});
}

void TABDW_DBFDATEI::FILL_AFELDER() { AFELDER = default_columns(ASTRUCTUR); }

void TABDW_DBFDATEI::LESE_INIDAT() {
  if (HistoryStore* h = table_window_environment().history) apply_stored_layout(AFELDER, *h, CEDBF);
}

void TABDW_DBFDATEI::_SAVE_INIDAT() {
  if (HistoryStore* h = table_window_environment().history) save_layout(AFELDER, *h, CEDBF);
}

}  // namespace mv
