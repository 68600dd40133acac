#include "structure/tab_index.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <algorithm>
#include <cmath>

#include "components/dlgprogress.h"
#include "components/slestandard.h"
#include "components/stdgridbrowser.h"
#include "platform/gui/messagebox.h"
#include "platform/gui/palette.h"
#include "platform/gui/windows.h"
#include "platform/grid/gridserver.h"
#include "platform/table/index/bag_rebuild.h"
#include "platform/table/index/order_list.h"
#include "printing/table_lists.h"
#include "tablewindow/environment.h"
#include "tablewindow/tabdw_dbfdatei.h"
#include "tablewindow/tableserver.h"
#include "ui_TAB_INDEX_FORM.h"

namespace mv {
namespace {

const QString kAchtung = QStringLiteral("Achtung");
const QString kNtx = QStringLiteral("DBFNTX");
const QString kCrlf = QStringLiteral("\r\n");
const QColor kPageColor(255, 150, 128);
const QColor kGridColor(255, 180, 150);

IndexFileDialogRunner& dialog_runner() {
  static IndexFileDialogRunner r;
  return r;
}

IndexProgressHook& progress_hook() {
  static IndexProgressHook h;
  return h;
}

std::string utf8(const QString& s) { return s.toStdString(); }

// The rows of AINDEX as the table layer's order definitions.
std::vector<OrderDefinition> definitions_of(const IndexList& rows) {
  std::vector<OrderDefinition> out;
  for (const IndexRow& r : rows)
    out.push_back({utf8(r.name.trimmed()), utf8(r.key), utf8(r.for_expr), r.unique, r.descending, utf8(r.bag)});
  return out;
}

// The progress window of a rebuild, made when the exclusive connection is there and the
// first step comes; its bar moves, and the messages waiting are handled, only when its
// percentage changes, so a million records cost a hundred rounds of the event loop.
// The window's table as the rebuild opens it, in the code page the open table reads (the
// window's ANSI choice when the grid has no table open).
IndexRebuildTable rebuild_table_of(const TABDW_DBFDATEI& w, TableGridServer* s) {
  IndexRebuildTable t;
  t.dbf_path = utf8(w.CEDBF);
  t.driver = utf8(w.CEDRIVER);
  t.fs = table_window_environment().file_system;
  t.code_page = s && s->table() ? s->table()->code_page() : code_page_for(w.LEANSI);
  return t;
}

class RebuildProgress {
 public:
  RebuildProgress() = default;
  ~RebuildProgress() { end(); }

  void text(const QString& t) {
    open();
    window_->UPDATETEXT(t);
  }
  bool step(uint64_t done, uint64_t total) {
    open();
    if (total != total_) {
      total_ = total;
      window_->COUNT(uint32_t(std::min<uint64_t>(total, UINT32_MAX)));
    }
    const uint64_t percent = total ? done * 100 / total : 100;
    if (percent == last_percent_ && done != total) return !window_->cancelled();
    last_percent_ = percent;
    const uint32_t s = uint32_t(std::min<uint64_t>(done, UINT32_MAX));
    if (IndexProgressHook& h = progress_hook()) h(*window_, s);
    return window_->UPDATEBAR(s);
  }
  void end() {
    if (window_) window_->ENDDIALOG();
    delete window_;
    window_ = nullptr;
  }

 private:
  void open() {
    if (window_) return;
    window_ = new DLGPROGRESS(nullptr);
    window_->setWindowTitle(QStringLiteral("Erzeuge Indexe..."));
    // Built beside the table, a rebuild can stop at any step.
    window_->CANCEL(true);
    window_->SHOW();
  }

  DLGPROGRESS* window_ = nullptr;
  uint64_t total_ = 0;
  uint64_t last_percent_ = UINT64_MAX;
};

}  // namespace

void set_index_file_dialog_runner(IndexFileDialogRunner runner) { dialog_runner() = std::move(runner); }
void set_index_progress_hook(IndexProgressHook hook) { progress_hook() = std::move(hook); }

void register_index_page() {
  if (!gui::is_window_class("TAB_INDEX")) gui::register_window_class<TAB_INDEX>("TAB_INDEX");
}

// ---------------------------------------------------------------- form

TAB_INDEX_FORM::TAB_INDEX_FORM(QWidget* owner) : STD_DATAWINDOW(owner), form_(new Ui::TAB_INDEX_FORM) {
  form_->setupUi(this);
  gui::set_page_colour(this, kPageColor);
  STDGRIDBROWSER* g = form_->BB_INDEX;
  g->set_cursor_mode(grid::GRIDBROWSER::CursorMode::Row);
  g->set_selector(true);
  g->set_inactive_selection(true);
  g->set_inactive_selection_colors(QBrush(Qt::darkBlue), QColor(Qt::white));
  g->set_background(QBrush(kGridColor));
  g->AUTOREFRESHTIME(1000);
  form_->FT_DEFAULT->hide();
  bind_controls();
}

TAB_INDEX_FORM::~TAB_INDEX_FORM() { delete form_; }

// ---------------------------------------------------------------- page

TAB_INDEX::TAB_INDEX(QWidget* owner) : TAB_INDEX_FORM(owner) {
  setObjectName(QStringLiteral("TAB_INDEX"));
  ABBSTRUKTUR = {{"Nr", 'N', 4, 0}, {"IndexName", 'C', 16, 0}, {QStringLiteral("Schlüsselausdruck"), 'C', 44, 0}};
  // Names and keys are typed in upper case, over what stands there.
  for (SLESTANDARD* e : {form_->SE_NAME, form_->SE_EXPRESSION}) {
    connect(e, &QLineEdit::textEdited, e, [e](const QString& t) {
      const QString up = t.toUpper();
      if (up == t) return;
      const int pos = e->cursorPosition();
      e->setText(up);
      e->setCursorPosition(pos);
    });
  }
  // Both edits overwrite what stands under the cursor.
  form_->SE_NAME->installEventFilter(this);
  form_->SE_EXPRESSION->installEventFilter(this);
  TABDW_DBFDATEI* w = window_owner();
  if (w && !w->CEDBF.isEmpty()) {
    form_->FT_DRIVER->setText(w->CEDRIVER);
    if (w->CEDRIVER == table_window_environment().driver_or_default()) form_->FT_DEFAULT->show();
  }
  QFont gf(QStringLiteral("Microsoft Sans Serif"));
  gf.setPointSize(int(table_window_environment().font_or_default()));
  grid()->FONT(gf);
  connect(grid(), &grid::GRIDBROWSER::cell_selected, this, [this](int, int) { CELLSELECT(); });
  FILL_BBINDEX();
}

TAB_INDEX::~TAB_INDEX() = default;

bool TAB_INDEX::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress &&
      (watched == form_->SE_NAME || watched == form_->SE_EXPRESSION)) {
    auto* edit = static_cast<QLineEdit*>(watched);
    auto* key = static_cast<QKeyEvent*>(event);
    const bool typed = !key->text().isEmpty() && key->text().at(0).isPrint() &&
                       !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (typed && !edit->hasSelectedText() && edit->cursorPosition() < edit->text().size())
      edit->setSelection(edit->cursorPosition(), 1);
  }
  return TAB_INDEX_FORM::eventFilter(watched, event);
}

TABDW_DBFDATEI* TAB_INDEX::window_owner() const { return qobject_cast<TABDW_DBFDATEI*>(owner()); }
STDGRIDBROWSER* TAB_INDEX::grid() const { return form_->BB_INDEX; }

int TAB_INDEX::current_row() const {
  if (!server_ || server_->rowCount() == 0) return 0;
  return std::max(server_->current_row(), 0) + 1;
}

bool TAB_INDEX::ntx() const {
  TABDW_DBFDATEI* w = window_owner();
  return w && w->CEDRIVER == kNtx;
}

TableGridServer* TAB_INDEX::table_server() const {
  TABDW_DBFDATEI* w = window_owner();
  return w ? w->server() : nullptr;
}

OrderList* TAB_INDEX::order_list() const {
  TableGridServer* s = table_server();
  return s && s->orders() ? s->orders()->order_list() : nullptr;
}

void TAB_INDEX::SHOW() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w) return;
  if (table_server()) {
    STD_DATAWINDOW::SHOW();
    if (!w->GETCAPTION().contains(QStringLiteral("Index: "))) {
      grid()->setFocus();
      w->set_caption(QStringLiteral("Index: ") + w->CEFILE + w->CEEXT);
      form_->FT_DRIVER->setText(w->CEDRIVER);
      if (w->CEDRIVER == kNtx) {
        form_->PB_APPEND->setText(QStringLiteral("Neu"));
        form_->PB_INSERT->setText(QStringLiteral("Öffnen"));
        form_->PB_DELETE->setText(QStringLiteral("Schließen"));
      }
      FILLCB_FELDNAME();
    }
  } else {
    gui::warning_box(this, kAchtung, QStringLiteral("Es ist keine Datei geöffnet!"));
    if (w->CEDBF.isEmpty()) w->SET_TABSTRUKTUR();
    else w->SET_TABHEADER();
  }
  w->MENUSTRUKTUR();
}

void TAB_INDEX::FILL_BBINDEX() {
  const int remembered = filled_ ? current_row() : 0;
  filled_ = true;
  TABDW_DBFDATEI* w = window_owner();
  ABBINDEX.clear();
  if (w)
    for (const IndexRow& r : w->AINDEX) ABBINDEX.push_back({r.number, r.name, r.key});
  QStringList names;
  for (const ColumnDef& c : ABBSTRUKTUR) names << c.name;
  auto* server = new grid::GRIDARRAYSERVER(ABBINDEX, names, this);
  const int digit = QFontMetrics(grid()->font()).horizontalAdvance(QLatin1Char('0'));
  for (size_t i = 0; i < ABBSTRUKTUR.size(); ++i) {
    const ColumnDef& c = ABBSTRUKTUR[i];
    // Never narrower than its caption, so every heading stays readable.
    const int chars = std::max(c.length, int(c.name.size()) + 1);
    server->add_column(grid::GridColumn::on_field(int(i + 1), c.name, c.name, c.type, digit * chars + 8));
  }
  grid()->set_server(server);
  if (server_) server_->deleteLater();
  server_ = server;
  if (ABBINDEX.isEmpty()) return;
  server->set_current_row(remembered > 0 ? remembered - 1 : 0);
}

void TAB_INDEX::CELLSELECT() {
  const int r = current_row();
  if (r == 0) return;
  form_->SE_NAME->setText(server_->value(r - 1, 2).toString());
  form_->SE_EXPRESSION->setText(server_->value(r - 1, 3).toString());
}

void TAB_INDEX::FILLCB_FELDNAME() {
  QComboBox* cb = form_->CB_FELDNAME;
  cb->clear();
  TABDW_DBFDATEI* w = window_owner();
  if (!w) return;
  std::vector<std::pair<QString, int>> items;
  for (size_t i = 0; i < w->ASTRUCTUR.size(); ++i) items.push_back({w->ASTRUCTUR[i].name, int(i + 1)});
  // The list is sorted by name; each item's value is the field's position.
  std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [name, pos] : items) cb->addItem(name, pos);
  if (cb->count() > 0) cb->setCurrentIndex(0);
}

void TAB_INDEX::GOTOP() {
  if (server_) server_->GOTOP();
}
void TAB_INDEX::GOBOTTOM() {
  if (server_) server_->GOBOTTOM();
}
void TAB_INDEX::SKIPNEXT() { grid()->SKIPNEXT(); }
void TAB_INDEX::SKIPPREVIOUS() { grid()->SKIPPREVIOUS(); }

void TAB_INDEX::PB_ADD() {
  TABDW_DBFDATEI* w = window_owner();
  QComboBox* cb = form_->CB_FELDNAME;
  if (!w || cb->currentIndex() < 0) return;
  const int pos = cb->currentData().toInt();
  if (pos < 1 || size_t(pos) > w->ASTRUCTUR.size()) return;
  const StructureRow& f = w->ASTRUCTUR[size_t(pos - 1)];
  const QString field = cb->currentText();
  QString expr = form_->SE_EXPRESSION->text().trimmed();
  if (!expr.isEmpty()) expr += QLatin1Char('+');
  QString part, message;
  if (f.type == QLatin1String("N")) {
    part = QStringLiteral("Str(") + field + QLatin1Char(',') + QString::number(f.length) +
           (f.decimals == 0 ? QStringLiteral(")") : QLatin1Char(',') + QString::number(f.decimals) + QLatin1Char(')'));
  } else if (f.type == QLatin1String("D")) {
    part = QStringLiteral("DToS(") + field + QLatin1Char(')');
  } else if (f.type == QLatin1String("M")) {
    message = QStringLiteral("Memo-Felder können nicht indiziert werden!");
  } else if (f.type == QLatin1String("O")) {
    message = QStringLiteral("Ole-Felder können nicht indiziert werden!");
  } else {
    part = field;
  }
  if (!message.isEmpty()) {
    gui::info_box(this, kAchtung, message);
    return;
  }
  form_->SE_EXPRESSION->setText(expr + part);
}

void TAB_INDEX::PB_APPEND() {
  if (ntx()) INDEX_NEU();
  else INDEX_APPEND();
}

void TAB_INDEX::PB_INSERT() {
  if (ntx()) INDEX_OPEN();
  else INDEX_INSERT();
}

void TAB_INDEX::PB_DELETE() {
  if (ntx()) INDEX_CLOSE();
  else INDEX_DELETE(QStringLiteral("gelöscht"));
}

bool TAB_INDEX::INDEX_SAVETEST(const QString& action, bool check_name) {
  TABDW_DBFDATEI* w = window_owner();
  const QString name = form_->SE_NAME->text().trimmed();
  const QString key = form_->SE_EXPRESSION->text().trimmed();
  QString error;
  if (check_name && w)
    for (const IndexRow& r : w->AINDEX)
      if (r.name == name) error = QStringLiteral("Der Name wurde bereits verwendet!");
  if (name.isEmpty()) error = QStringLiteral("Der Name der zu erstellenden Indexdatei fehlt!");
  else if (key.isEmpty()) error = QStringLiteral("Der Indexausdruck fehlt!");
  if (!error.isEmpty()) {
    gui::warning_box(this, kAchtung, error);
    return false;
  }
  return gui::yes_no_box(this, QStringLiteral("Index"),
                         QStringLiteral("Soll der Index\r\n\r\n") + name + QStringLiteral(" / ") + key + kCrlf + kCrlf +
                             action + QStringLiteral(" werden?"));
}

void TAB_INDEX::INDEX_APPEND() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w || !INDEX_SAVETEST(QStringLiteral("angefügt"), true)) return;
  IndexRow row;
  row.number = double(w->AINDEX.size() + 1);
  row.name = form_->SE_NAME->text().trimmed();
  row.key = form_->SE_EXPRESSION->text().trimmed();
  row.bag = w->CEDBF;
  w->AINDEX.push_back(row);
  FILL_BBINDEX();
  GOBOTTOM();
  INDEX_SAVE();
  FILL_BBINDEX();
}

void TAB_INDEX::INDEX_INSERT() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w || !INDEX_SAVETEST(QStringLiteral("eingefügt"), true)) return;
  // Before the selected row; an empty list takes the row as its first.
  const int r = std::max(current_row(), 1);
  for (size_t i = 0; i < w->AINDEX.size(); ++i) w->AINDEX[i].number = double(i + 1);
  IndexRow row;
  row.number = r - 0.5;
  row.name = form_->SE_NAME->text();
  row.key = form_->SE_EXPRESSION->text();
  row.bag = w->CEDBF;
  w->AINDEX.push_back(row);
  std::stable_sort(w->AINDEX.begin(), w->AINDEX.end(),
                   [](const IndexRow& a, const IndexRow& b) { return a.number < b.number; });
  FILL_BBINDEX();
  grid()->setFocus();
  INDEX_SAVE();
  FILL_BBINDEX();
}

void TAB_INDEX::INDEX_DELETE(const QString& action) {
  TABDW_DBFDATEI* w = window_owner();
  // Nothing to delete without a row.
  if (!w || current_row() == 0) return;
  if (!INDEX_SAVETEST(action, false)) return;
  int n = int(std::lround(server_->value(current_row() - 1, 1).toDouble()));
  if (n < 1 || size_t(n) > w->AINDEX.size()) n = current_row();
  w->AINDEX.erase(w->AINDEX.begin() + (n - 1));
  if (n > 1) --n;
  FILL_BBINDEX();
  go_to_row(n);
  grid()->setFocus();
  if (action == QStringLiteral("gelöscht")) {
    INDEX_SAVE();
    FILL_BBINDEX();
  }
}

void TAB_INDEX::go_to_row(int n) {
  if (server_ && server_->rowCount() > 0) server_->set_current_row(n - 1);
}

void TAB_INDEX::PB_ANDERS() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w) return;
  QString error;
  const int n = current_row() == 0 ? 0 : int(std::lround(server_->value(current_row() - 1, 1).toDouble()));
  const QString name = form_->SE_NAME->text().trimmed();
  const QString key = form_->SE_EXPRESSION->text().trimmed();
  if (n < 1 || size_t(n) > w->AINDEX.size()) {
    error = QStringLiteral("Es wurde keine Index ausgewählt!");
  } else if (ntx()) {
    const IndexRow& row = w->AINDEX[size_t(n - 1)];
    if (row.name.trimmed() != name)
      error = QStringLiteral(
          "Der Name der Indexdatei kann nicht geändert werden!\r\nSie können stattdessen eine neue Indexdatei "
          "erstellen\r\nund die alte Indexdatei manuell löschen");
    else if (row.key.trimmed() == key)
      error = QStringLiteral("Es wurde keine Änderung vorgenommen!");
  } else {
    // Two tags of one name would leave one of them.
    for (size_t i = 0; i < w->AINDEX.size(); ++i)
      if (int(i) != n - 1 && w->AINDEX[i].name.trimmed().compare(name, Qt::CaseInsensitive) == 0)
        error = QStringLiteral("Der Name wurde bereits verwendet!");
  }
  if (error.isEmpty()) {
    if (!INDEX_SAVETEST(QStringLiteral("geändert"), false)) return;
    if (ntx()) {
      IndexRow& row = w->AINDEX[size_t(n - 1)];
      OrderList* ol = order_list();
      CreateOrderOptions co;
      co.for_expr = utf8(row.for_expr);
      co.unique = row.unique;
      co.descending = row.descending;
      // Built beside the file and put in its place once complete.
      Status st = ol ? ol->create_index(utf8(row.bag), utf8(key), co)
                     : Status::not_found(utf8(w->CEDBF) + ": die Tabelle ist nicht geöffnet");
      if (!st.is_ok()) {
        error = QStringLiteral("Die Indexdatei\r\n\r\n") + row.bag + kCrlf + kCrlf +
                QStringLiteral("konnte nicht geändert werden!");
        // The replaced file may have left the list: every file is set again either way.
        if (ol) {
          ol->close_index_files().ignore();
          set_index_files();
        }
      } else {
        row.name = name;
        row.key = key;
        ol->close_index_files().ignore();
        set_index_files();
      }
    } else {
      IndexRow& row = w->AINDEX[size_t(n - 1)];
      row.name = form_->SE_NAME->text();
      row.key = form_->SE_EXPRESSION->text();
      INDEX_SAVE();
    }
  }
  if (error.isEmpty()) {
    w->FILL_CBINDEX();
    FILL_BBINDEX();
    go_to_row(n);
    grid()->setFocus();
  } else {
    gui::warning_box(this, kAchtung, error);
    if (ntx()) {
      w->FILL_CBINDEX();
      FILL_BBINDEX();
    }
  }
}

void TAB_INDEX::PB_SAVE() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w) return;
  const QString base = w->CEDBF.left(w->CEDBF.size() - 4);
  if (!gui::yes_no_box(this, QStringLiteral("Index Neu"),
                       QStringLiteral("Soll der Index der Datei \r\n\r\n") + base + kCrlf + kCrlf +
                           QStringLiteral(" aktualisiert werden?") + kCrlf + kCrlf +
                           QStringLiteral("Funktion jetzt ausführen ?")))
    return;
  if (ntx()) INDEX_SAVENTX();
  else INDEX_SAVE();
}

void TAB_INDEX::INDEX_SAVE() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w) return;
  const IndexRebuildTable t = rebuild_table_of(*w, table_server());
  w->GRIDDBSERVERCLOSE();
  IndexRebuildOutcome out;
  {
    RebuildProgress progress;
    bool texted = false;
    out = rebuild_index_bag(t, definitions_of(w->AINDEX), [&](uint64_t done, uint64_t total) {
      if (!texted) progress.text(QStringLiteral("Index Neu")), texted = true;
      return progress.step(done, total);
    });
  }
  QString error;
  if (!out.opened) {
    error = QStringLiteral("Die Datei kann nicht exklusiv geöffnet werden!");
  } else if (out.status.kind() == StatusKind::Cancelled) {
    error = QStringLiteral("Der Aufbau der Indexdatei wurde abgebrochen!\r\nDie bisherigen Indexe bleiben erhalten.");
  } else if (!out.ok() || !out.skipped.empty()) {
    error = QStringLiteral("Die Indexdatei konnte nicht erstellt werden!");
    if (!out.ok() && out.status.kind() != StatusKind::NotSupported)
      error += kCrlf + QString::fromStdString(out.status.message());
  }
  if (!error.isEmpty()) gui::warning_box(this, kAchtung, error);
  w->OPENDBFNEU();
  w->FILL_CBINDEX();
}

void TAB_INDEX::INDEX_SAVENTX() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w) return;
  const IndexRebuildTable t = rebuild_table_of(*w, table_server());
  const IndexList rows = w->AINDEX;
  w->GRIDDBSERVERCLOSE();
  IndexRebuildOutcome out;
  {
    RebuildProgress progress;
    out = rebuild_ntx_files(
        t, definitions_of(rows), [&](uint64_t done, uint64_t total) { return progress.step(done, total); },
        [&](size_t row) { progress.text(QStringLiteral("Index ") + rows[row].name + QStringLiteral(" Neu")); });
  }
  QString error;
  if (!out.opened) {
    error = QStringLiteral("Die Datei kann nicht exklusiv geöffnet werden!");
  } else if (out.status.kind() == StatusKind::Cancelled) {
    error = QStringLiteral("Der Aufbau der Indexdatei wurde abgebrochen!\r\nDie bisherigen Indexe bleiben erhalten.");
  } else if (!out.ok()) {
    const size_t i = out.failed_row < rows.size() ? out.failed_row : 0;
    error = QStringLiteral("Die ") + QString::number(i + 1) + QStringLiteral(". Indexdatei ") +
            (rows.empty() ? QString() : rows[i].name) + QStringLiteral(" konnte nicht neu erstellt werden!");
  }
  if (!error.isEmpty()) gui::warning_box(this, kAchtung, error);
  w->OPENDBFNEU();
  w->AINDEX = rows;
  set_index_files();
  w->FILL_CBINDEX();
}

void TAB_INDEX::open_index_file(const QString& file) {
  OrderList* ol = order_list();
  Status st = ol ? ol->add_index_file(utf8(file)) : Status::not_found(utf8(file));
  if (!st.is_ok())
    gui::warning_box(this, kAchtung,
                     QStringLiteral("Die Indexdatei\r\n\r\n") + file + QStringLiteral("\r\n\r\nkonnte nicht geöffnet werden!"));
}

void TAB_INDEX::set_index_files() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w) return;
  const IndexList rows = w->AINDEX;
  for (const IndexRow& r : rows) open_index_file(r.bag);
}

QString TAB_INDEX::run_file_dialog(QFileDialog& dialog) {
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  // The page asks its own question about an existing file.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  if (IndexFileDialogRunner& r = dialog_runner()) return r(dialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().front();
}

void TAB_INDEX::INDEX_NEU() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w) return;
  const QString name = form_->SE_NAME->text().trimmed();
  const QString key = form_->SE_EXPRESSION->text().trimmed();
  QString error;
  if (name.isEmpty()) error = QStringLiteral("Der Name der zu erstellenden Indexdatei fehlt!");
  else if (key.isEmpty()) error = QStringLiteral("Der Indexausdruck fehlt!");
  if (!error.isEmpty()) {
    gui::warning_box(this, kAchtung, error);
    return;
  }
  QFileDialog dialog(this, QString(), w->CEDRIVE + w->CEDIR, QStringLiteral("Indexdateien (*.ntx *.NTX *.Ntx)"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.selectFile(name + QStringLiteral(".NTX"));
  const QString file = run_file_dialog(dialog);
  if (file.isEmpty()) return;
  FileSystem& fsys = table_window_environment().file_system ? *table_window_environment().file_system
                                                             : FileSystem::posix();
  if (fsys.exists(utf8(file))) {
    gui::warning_box(this, kAchtung,
                     QStringLiteral("Die Indexdatei\r\n") + file + kCrlf + QStringLiteral("existiert bereits!"));
    return;
  }
  if (!gui::yes_no_box(this, QStringLiteral("Index Neu"),
                       QStringLiteral("Soll die Indexdatei \r\n\r\n") + file + kCrlf + kCrlf +
                           QStringLiteral(" neu erstellt werden?") + kCrlf + kCrlf +
                           QStringLiteral("Funktion jetzt ausführen ?")))
    return;
  OrderList* ol = order_list();
  Status st = ol ? ol->create_index(utf8(file), utf8(key)) : Status::not_found(utf8(w->CEDBF));
  if (!st.is_ok()) {
    gui::warning_box(this, kAchtung,
                     QStringLiteral("Die Indexdatei\r\n\r\n") + file + kCrlf + kCrlf +
                         QStringLiteral("konnte nicht erstellt werden!"));
    return;
  }
  IndexRow row;
  row.number = double(w->AINDEX.size() + 1);
  row.name = name;
  row.key = key;
  row.bag = file;
  w->AINDEX.push_back(row);
  set_index_files();
  w->FILL_CBINDEX();
  FILL_BBINDEX();
}

void TAB_INDEX::INDEX_OPEN() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w) return;
  QFileDialog dialog(this, QString(), w->CEDRIVE + w->CEDIR);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  // "*.NTX" in every spelling of the extension.
  dialog.setNameFilters({QStringLiteral("Indexdateien (*.[nN][tT][xX])")});
  const QString file = run_file_dialog(dialog);
  if (file.isEmpty()) return;
  open_index_file(file);
  w->FILL_CBINDEX();
  FILL_BBINDEX();
}

void TAB_INDEX::INDEX_CLOSE() {
  TABDW_DBFDATEI* w = window_owner();
  OrderList* ol = order_list();
  if (!w || !ol || current_row() == 0) return;
  INDEX_DELETE(QStringLiteral("geschlossen"));
  ol->close_index_files().ignore();
  set_index_files();
  w->FILL_CBINDEX();
  FILL_BBINDEX();
}

void TAB_INDEX::FILEREPORT(bool preview) {
  TABDW_DBFDATEI* w = window_owner();
  TableGridServer* s = table_server();
  Table* table = s ? s->table() : nullptr;
  if (!w || !table) return;
  const TableWindowEnvironment& env = table_window_environment();
  ListSettings ini;
  if (HistoryStore* h = env.history)
    ini.history = [h](const QString& sec, const QString& k) { return h->GETSTRING(sec, k); };
  if (HistoryStore* p = env.product)
    ini.product = [p](const QString& sec, const QString& k) { return p->GETSTRING(sec, k); };
  // The orders as the table lists them; the data page keeps its order.
  std::vector<ListedOrder> orders;
  if (TableOrders* o = s->orders())
    for (int i = 1; i <= o->count(); ++i) {
      const OrderFacts f = o->info(i);
      orders.push_back({f.name, f.key});
    }
  print_index_list(this, preview, *table, orders, w->CEDBF, ini);
}

}  // namespace mv
