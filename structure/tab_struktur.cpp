#include "structure/tab_struktur.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <algorithm>

#include "components/dlgprogress.h"
#include "components/slestandard.h"
#include "components/stdgridbrowser.h"
#include "components/strings.h"
#include "platform/grid/gridserver.h"
#include "platform/gui/messagebox.h"
#include "platform/gui/palette.h"
#include "platform/gui/windows.h"
#include "platform/table/backup.h"
#include "platform/table/drivers.h"
#include "platform/table/modes.h"
#include "platform/table/restructure.h"
#include "platform/table/table.h"
#include "platform/table/transfer.h"
#include "printing/table_lists.h"
#include "tablewindow/environment.h"
#include "tablewindow/history.h"
#include "tablewindow/orders.h"
#include "tablewindow/tabdw_dbfdatei.h"
#include "tablewindow/tableserver.h"
#include "ui_TAB_STRUKTUR_FORM.h"

namespace mv {
namespace {

const QString kAchtung = QStringLiteral("Achtung");
const QColor kPageColor(176, 196, 222);
const QColor kGridColor(150, 255, 255);

struct FieldType {
  const char* letter;
  const char* text;
  const char* length;
  const char* decimals;
  bool length_editable;
  bool decimals_editable;
};
// The six offered types, then "X", which has defaults but is not offered.
constexpr FieldType kTypes[] = {
    {"C", "Character", "10", "0", true, false}, {"N", "Numeric", "12", "2", true, true},
    {"L", "Logic", "1", "0", false, false},     {"D", "Date", "8", "0", false, false},
    {"M", "Memo", "10", "0", false, false},     {"O", "OLE", "10", "0", false, false},
    {"X", "", "8", "0", false, false},
};
constexpr int kOffered = 6;

const char* const kDrivers[] = {"DBFCDX", "_DBFCDX", "DBFMDX", "DBFNTX"};

struct DriverFacts {
  const char* memo;
  const char* index;
  uint64_t max_records;
  uint64_t max_fields;
  uint64_t max_record_length;
  QString made_with;  // the driver a rebuild makes the table with
};

DriverFacts driver_facts(const QString& driver) {
  if (driver == QLatin1String("_DBFCDX")) return {".DBT", ".CDX", 1000000000, 1024, 65535, driver};
  if (driver == QLatin1String("DBFMDX")) return {".DBT", ".MDX", 1000000000, 255, 4000, driver};
  if (driver == QLatin1String("DBFNTX")) return {".DBT", ".NTX", 500000, 1024, 65535, driver};
  return {".FPT", ".CDX", 1000000000, 1024, 65535, QStringLiteral("DBFCDX")};
}

QString type_name(const QString& letter) {
  for (int i = 0; i < kOffered; ++i)
    if (letter == QLatin1String(kTypes[i].letter)) return QLatin1String(kTypes[i].text);
  return {};
}

// The picture "9,999,999,999" in German settings: groups of three digits with points.
QString grouped(uint64_t n) {
  QString digits = QString::number(n);
  for (int i = int(digits.size()) - 3; i > 0; i -= 3) digits.insert(i, QLatin1Char('.'));
  return digits;
}

// A whole number typed into an edit; empty or not a number counts as 0.
int whole(const QString& text) { return int(val(text)); }

std::string latin1(const QString& s) { return s.toLatin1().toStdString(); }
QString qs(const std::string& s) { return QString::fromStdString(s); }


// Holds the table file's exclusive open lock while a page works on the closed table, so
// no other program opens it in between. `held` tells that another one has it open.
struct ExclusiveHold {
  std::unique_ptr<File> file;
  bool held = false;
  ExclusiveHold(FileSystem& fs, const std::string& path) {
    auto f = fs.open(path, OpenMode::ReadWrite);
    if (!f) return;  // missing or not writable: the operation reports it itself
    file = std::move(f).value();
    const Status st = file->lock(kOpenModeLockOffset, 1, LockType::Exclusive);
    if (!st && st.kind() == StatusKind::Locked) held = true;
  }
  ~ExclusiveHold() {
    if (file && !held) (void)file->unlock(kOpenModeLockOffset, 1);
  }
};

const QString kNotExclusive = QStringLiteral("Die Datei kann nicht exklusiv geöffnet werden!");

TAB_STRUKTUR::SaveChooser& save_chooser() {
  static TAB_STRUKTUR::SaveChooser chooser;
  return chooser;
}

QString real_save_dialog(QWidget* owner) {
  QFileDialog dlg(owner);
  dlg.setAcceptMode(QFileDialog::AcceptSave);
  dlg.setFileMode(QFileDialog::AnyFile);
  // The page asks its own overwrite question, after the extension rule.
  dlg.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
  return dlg.selectedFiles().first();
}

}  // namespace

void register_structure_page() {
  if (!gui::is_window_class("TAB_STRUKTUR")) gui::register_window_class<TAB_STRUKTUR>("TAB_STRUKTUR");
}

void TAB_STRUKTUR::set_save_chooser(SaveChooser chooser) { save_chooser() = std::move(chooser); }

// ---------------------------------------------------------------- form

TAB_STRUKTUR_FORM::TAB_STRUKTUR_FORM(QWidget* owner) : STD_DATAWINDOW(owner), form_(new Ui::TAB_STRUKTUR_FORM) {
  form_->setupUi(this);
  gui::set_page_colour(this, kPageColor, true);
  for (QWidget* c : {static_cast<QWidget*>(form_->CHB_EXCLUSIVE), static_cast<QWidget*>(form_->CHB_READONLY),
                     static_cast<QWidget*>(form_->CHB_ANSI)})
    gui::set_page_colour(c, kPageColor, true);
  STDGRIDBROWSER* g = form_->BB_STRUCTUR;
  g->set_cursor_mode(grid::GRIDBROWSER::CursorMode::Row);
  g->set_selector(true);
  g->set_inactive_selection(true);
  g->set_background(QBrush(kGridColor));
  g->AUTOREFRESHTIME(1000);
  form_->CB_DRIVER->hide();
  // Names are typed in upper case; length and decimals take digits only.
  SLESTANDARD* name = form_->SE_NAME;
  connect(name, &QLineEdit::textEdited, name, [name](const QString& text) {
    QString up = text;
    for (QChar& c : up) c = c.toUpper();  // one character for one: "ß" stays
    if (up == text) return;
    const int at = name->cursorPosition();
    name->setText(up);
    name->setCursorPosition(at);
  });
  form_->SE_LANG->MASKE(QStringLiteral("0123456789"));
  form_->SE_DEC->MASKE(QStringLiteral("0123456789"));
  form_->SE_LANG->set_value_type(QStringLiteral("N"));
  form_->SE_DEC->set_value_type(QStringLiteral("N"));
  bind_controls();
}

TAB_STRUKTUR_FORM::~TAB_STRUKTUR_FORM() { delete form_; }

// ---------------------------------------------------------------- page

TAB_STRUKTUR::TAB_STRUKTUR(QWidget* owner) : TAB_STRUKTUR_FORM(owner) {
  setObjectName(QStringLiteral("TAB_STRUKTUR"));
  Ui::TAB_STRUKTUR_FORM* f = form_;
  const TableWindowEnvironment& env = table_window_environment();
  for (const char* d : kDrivers) f->CB_DRIVER->addItem(QLatin1String(d), QLatin1String(d));
  // A default driver outside the four shows the first.
  const int driver_at = f->CB_DRIVER->findData(env.driver_or_default());
  f->CB_DRIVER->setCurrentIndex(driver_at < 0 ? 0 : driver_at);
  for (int i = 0; i < kOffered; ++i)
    f->CB_TYPE->addItem(QLatin1String(kTypes[i].text), QLatin1String(kTypes[i].letter));
  f->CB_TYPE->setCurrentIndex(0);
  SETVORGABEWERT(true);

  AFELDSPALTEN = {{"Nr", 'N', 4, 0},   {"Feldname", 'C', 16, 0}, {"Feldtype", 'C', 12, 0},
                  {"Type", 'C', 8, 0}, {"Size", 'N', 5, 0},      {"Dec", 'N', 5, 0}};
  QFont gf(QStringLiteral("Microsoft Sans Serif"));
  gf.setPointSize(int(env.font_or_default()));
  f->BB_STRUCTUR->FONT(gf);
  connect(f->BB_STRUCTUR, &grid::GRIDBROWSER::cell_selected, this, [this](int row, int) { CELLSELECT(row + 1); });
  for (QComboBox* cb : {static_cast<QComboBox*>(f->CB_TYPE), static_cast<QComboBox*>(f->CB_DRIVER)})
    connect(cb, qOverload<int>(&QComboBox::activated), this, [this, cb] { LISTBOXSELECT(cb); });
  FILL_BBSTRUCTUR();

  TABDW_DBFDATEI* w = window_owner();
  if (w && w->CEDBF.isEmpty()) {
    // The window's driver is the one the combo shows, so the file facts and the new
    // table agree with what the user sees.
    w->CEDRIVER = f->CB_DRIVER->currentData().toString();
    f->SE_LANG->setText(QStringLiteral("10"));
  }
  set_mode(!w || w->CEDBF.isEmpty());
}

TAB_STRUKTUR::~TAB_STRUKTUR() = default;

TABDW_DBFDATEI* TAB_STRUKTUR::window_owner() const { return qobject_cast<TABDW_DBFDATEI*>(owner()); }
STDGRIDBROWSER* TAB_STRUKTUR::grid() const { return form_->BB_STRUCTUR; }
FileSystem& TAB_STRUKTUR::fs() const {
  if (fs_) return *fs_;
  if (FileSystem* f = table_window_environment().file_system) return *f;
  return FileSystem::posix();
}

bool TAB_STRUKTUR::has_table_path() const {
  TABDW_DBFDATEI* w = window_owner();
  return w && !w->CEDBF.isEmpty();
}

QString TAB_STRUKTUR::base_name() const {
  TABDW_DBFDATEI* w = window_owner();
  return w ? w->CEDBF.left(std::max<qsizetype>(0, w->CEDBF.size() - 4)) : QString();
}

int TAB_STRUKTUR::current_nr() const {
  // The grid's row: it moves before its server when the grid itself is moved.
  if (!server_ || server_->rowCount() == 0) return 0;
  const int row = grid()->current_row();
  return row >= 0 && row < server_->rowCount() ? row + 1 : 0;
}

void TAB_STRUKTUR::go_to_row(int nr) {
  if (server_ && nr >= 1 && nr <= server_->rowCount()) server_->set_current_row(nr - 1);
}

void TAB_STRUKTUR::set_mode(bool new_table) {
  Ui::TAB_STRUKTUR_FORM* f = form_;
  TABDW_DBFDATEI* w = window_owner();
  f->CB_DRIVER->setVisible(new_table);
  f->FT_DRIVER->setVisible(!new_table);
  f->FT_DRIVER->setText(w ? w->CEDRIVER : QString());
  f->FT_FILENAME->setText(new_table ? QStringLiteral("Extension") : QStringLiteral("Name"));
  f->PB_SAVE->setVisible(new_table);
  f->PB_COPY->setVisible(!new_table);
}

void TAB_STRUKTUR::SHOW() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w) return;
  if (!w->CEDBF.isEmpty() && !w->LESE_GRIDDBSERVER()) {
    gui::warning_box(this, kAchtung, QStringLiteral("Die DBF-Datei konnte nicht geöffnet werden!"));
    w->SET_TABHEADER();
    return;
  }
  if (!w->CEDBF.isEmpty() && form_->PB_SAVE->isVisible()) set_mode(false);
  // The field list may have been replaced while another tab was shown (a reopening).
  bool same = AFELDZEILEN.size() == qsizetype(w->ASTRUCTUR.size());
  for (qsizetype i = 0; same && i < AFELDZEILEN.size(); ++i)
    same = AFELDZEILEN[i][1].toString() == w->ASTRUCTUR[size_t(i)].name &&
           AFELDZEILEN[i][3].toString() == w->ASTRUCTUR[size_t(i)].type &&
           AFELDZEILEN[i][4].toInt() == w->ASTRUCTUR[size_t(i)].length &&
           AFELDZEILEN[i][5].toInt() == w->ASTRUCTUR[size_t(i)].decimals;
  if (!same) FILL_BBSTRUCTUR();
  STD_DATAWINDOW::SHOW();
  grid()->setFocus();
  FILLCAPTION();
  w->MENUSTRUKTUR();
  SET_DETAILS();
}

void TAB_STRUKTUR::FILLCAPTION() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w) return;
  QString caption = QStringLiteral("Struktur: ") + w->CEFILE + w->CEEXT;
  if (!w->ASTRUCTUR.empty())
    caption += QStringLiteral(" < Feld ") + QString::number(current_nr()) + QStringLiteral(" von: ") +
               QString::number(w->ASTRUCTUR.size()) + QStringLiteral(" >");
  w->set_caption(caption);
}

void TAB_STRUKTUR::FILL_BBSTRUCTUR() {
  TABDW_DBFDATEI* w = window_owner();
  const int remembered = current_nr();
  AFELDZEILEN.clear();
  if (w) {
    int i = 0;
    for (const StructureRow& r : w->ASTRUCTUR)
      AFELDZEILEN.push_back({++i, r.name, type_name(r.type), r.type, r.length, r.decimals});
  }
  QStringList names;
  for (const ColumnDef& c : AFELDSPALTEN) names << c.name;
  auto* server = new grid::GRIDARRAYSERVER(AFELDZEILEN, names, this);
  const QFontMetrics fm(grid()->font());
  for (size_t i = 0; i < AFELDSPALTEN.size(); ++i) {
    const ColumnDef& c = AFELDSPALTEN[i];
    // Never narrower than its caption, so every heading stays readable.
    const int chars = std::max(c.width, int(c.name.size()) + 1);
    server->add_column(grid::GridColumn::on_field(int(i + 1), c.name.toUpper(), c.name, c.type,
                                                  fm.horizontalAdvance(QLatin1Char('0')) * chars + 8));
  }
  // The grid reports its new row at once: the page must already answer for the new rows.
  grid::GRIDARRAYSERVER* old = server_;
  server_ = server;
  grid()->set_server(server);
  if (old) old->deleteLater();
  if (AFELDZEILEN.isEmpty()) {
    FILLCAPTION();  // no row to report its choice
    return;
  }
  server->set_current_row(remembered > 0 ? std::min<int>(remembered, int(AFELDZEILEN.size())) - 1 : 0);
}

void TAB_STRUKTUR::CELLSELECT(int row) {
  if (row < 1 || row > AFELDZEILEN.size()) return;
  const QVariantList& r = AFELDZEILEN[row - 1];
  Ui::TAB_STRUKTUR_FORM* f = form_;
  f->SE_NAME->setText(r[1].toString());
  f->CB_TYPE->setCurrentIndex(f->CB_TYPE->findData(r[3].toString()));
  f->SE_LANG->setText(QString::number(r[4].toInt()));
  f->SE_DEC->setText(QString::number(r[5].toInt()));
  SETVORGABEWERT(false);
  FILLCAPTION();
}

void TAB_STRUKTUR::SETVORGABEWERT(bool is_new) {
  Ui::TAB_STRUKTUR_FORM* f = form_;
  const QString type = f->CB_TYPE->currentData().toString();
  for (const FieldType& t : kTypes) {
    if (type != QLatin1String(t.letter)) continue;
    if (is_new) {
      f->SE_LANG->setText(QLatin1String(t.length));
      f->SE_DEC->setText(QLatin1String(t.decimals));
    }
    f->SE_LANG->READONLY(!t.length_editable);
    f->SE_DEC->READONLY(!t.decimals_editable);
    return;
  }
}

bool TAB_STRUKTUR::STRUKTUR_SAVETEST(const QString& action, bool name_changed) {
  TABDW_DBFDATEI* w = window_owner();
  if (!w) return false;
  Ui::TAB_STRUKTUR_FORM* f = form_;
  const int nr = current_nr();
  const QString name = f->SE_NAME->text().trimmed();
  const int length = whole(f->SE_LANG->text());
  const int decimals = whole(f->SE_DEC->text());
  bool duplicate = false;
  if (name_changed) {
    for (size_t i = 0; i < w->ASTRUCTUR.size(); ++i) {
      if (action == QStringLiteral("geändert") && int(i) + 1 == nr) continue;
      if (w->ASTRUCTUR[i].name == name) duplicate = true;
    }
  }
  QString message;
  if (name.isEmpty()) {
    message = QStringLiteral("Der Name des Datenfeldes fehlt!");
  } else if (!name[0].isLetter()) {
    message = QStringLiteral("Das erste Zeichen muß ein Buchstabe sein!");
  } else if (name.contains(QLatin1Char(' '))) {
    message = QStringLiteral("Der Name des Datenfeldes darf kein Leerzeichen enthalten!");
  } else if (length == 0) {
    message = QStringLiteral("Die Feldlänge muß größer Null sein!");
  } else if (length < decimals) {
    message = QStringLiteral("Die Feldlänge darf nicht kleiner wie die Decimalläne sein!");
  } else if (duplicate) {
    message = QStringLiteral("Der Name des Datenfeldes wurde schon vergeben!");
  } else {
    for (const QChar c : name) {
      if (!c.isLetterOrNumber() && c != QLatin1Char('_')) {
        message = QStringLiteral("Der Name darf nur Buchstaben, Ziffern oder den Unterstrich enthalten!");
        break;
      }
      if (QStringLiteral("ßÄÖÜ").contains(c)) {
        message = QStringLiteral("Der Name sollte keine Umlaute enthalten!");
        break;
      }
    }
  }
  if (!message.isEmpty()) {
    gui::warning_box(this, kAchtung, message);
    return false;
  }
  if (w->CEDBF.isEmpty()) return true;
  QString question;
  if (name_changed && action == QStringLiteral("geändert") && nr >= 1 && size_t(nr) <= w->ASTRUCTUR.size()) {
    question = QStringLiteral("Soll das Datenfeld ") + w->ASTRUCTUR[size_t(nr - 1)].name + QStringLiteral("\r\n") +
               QStringLiteral("in ") + name + QStringLiteral(" umbenannt werden?");
  } else {
    question = QStringLiteral("Soll das Datenfeld ") + name + QStringLiteral("\r\n") + QStringLiteral("\r\n") + action +
               QStringLiteral(" werden?");
  }
  return gui::yes_no_box(this, QStringLiteral("Struktur"), question);
}

void TAB_STRUKTUR::PB_ANDERS() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w) return;
  Ui::TAB_STRUKTUR_FORM* f = form_;
  const int nr = current_nr();
  // Without a current row there is nothing to change.
  if (nr < 1 || size_t(nr) > w->ASTRUCTUR.size()) return;
  const QString name = f->SE_NAME->text().trimmed();
  const StructureRow old = w->ASTRUCTUR[size_t(nr - 1)];
  // A row of a type the combo does not offer keeps its type.
  const QString type = f->CB_TYPE->currentIndex() >= 0 ? f->CB_TYPE->currentData().toString() : old.type;
  const int length = whole(f->SE_LANG->text());
  const int decimals = whole(f->SE_DEC->text());
  const bool name_changed = old.name != name;
  if (!STRUKTUR_SAVETEST(QStringLiteral("geändert"), name_changed)) return;

  auto write_row = [&] {
    if (size_t(nr) > w->ASTRUCTUR.size()) return false;
    StructureRow& r = w->ASTRUCTUR[size_t(nr - 1)];
    r.name = name;
    r.type = type;
    r.length = length;
    r.decimals = decimals;
    return true;
  };
  if (w->CEDBF.isEmpty()) {
    write_row();
  } else {
    QString error;
    bool go_on = true;
    if (name_changed) {
      error = BENENNUNGANDERS(old.name, name);
      // A failed rename, or a table that did not open again, stops before any rebuild.
      go_on = error.isEmpty() && w->LESE_GRIDDBSERVER() != nullptr;
    }
    if (go_on && write_row()) {
      if (type != old.type) STRUKTUR_SAVE(true);
      else if (length != old.length || decimals != old.decimals) STRUKTUR_SAVE(false);
    }
    if (!error.isEmpty()) {
      FILL_BBSTRUCTUR();
      go_to_row(nr);
      gui::warning_box(this, kAchtung, error);
      return;
    }
  }
  FILL_BBSTRUCTUR();
  go_to_row(nr);
}

void TAB_STRUKTUR::PB_APPEND() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w) return;
  if (!STRUKTUR_SAVETEST(QStringLiteral("angefügt"), true)) return;
  Ui::TAB_STRUKTUR_FORM* f = form_;
  w->ASTRUCTUR.push_back({f->SE_NAME->text().trimmed(), f->CB_TYPE->currentData().toString(),
                          whole(f->SE_LANG->text()), whole(f->SE_DEC->text()), QString()});
  STRUKTUR_SAVE(false);
  FILL_BBSTRUCTUR();
  go_to_row(int(w->ASTRUCTUR.size()));
}

void TAB_STRUKTUR::PB_INSERT() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w) return;
  if (!STRUKTUR_SAVETEST(QStringLiteral("eingefügt"), true)) return;
  Ui::TAB_STRUKTUR_FORM* f = form_;
  const int p = current_nr();
  for (size_t i = 0; i < w->ASTRUCTUR.size(); ++i) w->ASTRUCTUR[i].extra = double(i + 1);
  w->ASTRUCTUR.push_back({f->SE_NAME->text().trimmed(), f->CB_TYPE->currentData().toString(),
                          whole(f->SE_LANG->text()), whole(f->SE_DEC->text()), double(p) - 0.5});
  std::stable_sort(w->ASTRUCTUR.begin(), w->ASTRUCTUR.end(), [](const StructureRow& a, const StructureRow& b) {
    return a.extra.toDouble() < b.extra.toDouble();
  });
  STRUKTUR_SAVE(false);
  FILL_BBSTRUCTUR();
  go_to_row(std::max(p, 1));
}

void TAB_STRUKTUR::PB_DELETE() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w) return;
  const int p = current_nr();
  if (p < 1 || size_t(p) > w->ASTRUCTUR.size()) return;
  const QString name = form_->SE_NAME->text().trimmed();
  if (w->ASTRUCTUR[size_t(p - 1)].name != name) {
    gui::warning_box(this, kAchtung, QStringLiteral("Der Name des Feldes darf vor dem Löschen nicht geändert werden!"));
    return;
  }
  if (!STRUKTUR_SAVETEST(QStringLiteral("gelöscht"), false)) return;
  if (!w->CEDBF.isEmpty() && w->ASTRUCTUR.size() == 1) {
    // A table needs at least one field: the rebuild could not create it.
    gui::warning_box(this, kAchtung,
                     QStringLiteral("Die Datei \r\n\r\n") + base_name() + QStringLiteral("_Neu") +
                         QStringLiteral("\r\n") + QStringLiteral("\r\n") +
                         QStringLiteral("konnte nicht neu erstellt werden!"));
    return;
  }
  w->ASTRUCTUR.erase(w->ASTRUCTUR.begin() + (p - 1));
  STRUKTUR_SAVE(false);
  FILL_BBSTRUCTUR();
  go_to_row(p == 1 ? 1 : p - 1);
}

void TAB_STRUKTUR::LISTBOXSELECT(QComboBox* control) {
  TABDW_DBFDATEI* w = window_owner();
  if (control == form_->CB_DRIVER) {
    if (w) w->CEDRIVER = form_->CB_DRIVER->currentData().toString();
    SET_DETAILS();
  } else if (control == form_->CB_TYPE) {
    SETVORGABEWERT(true);
  }
}

void TAB_STRUKTUR::GOTOP() {
  if (server_) server_->GOTOP();
}
void TAB_STRUKTUR::GOBOTTOM() {
  if (server_) server_->GOBOTTOM();
}
void TAB_STRUKTUR::SKIPNEXT() { grid()->SKIPNEXT(); }
void TAB_STRUKTUR::SKIPPREVIOUS() { grid()->SKIPPREVIOUS(); }

// ---------------------------------------------------------------- on disk

void TAB_STRUKTUR::STRUKTUR_SAVE(bool via_text) {
  TABDW_DBFDATEI* w = window_owner();
  if (!w || w->CEDBF.isEmpty()) return;
  const std::string path = w->CEDBF.toStdString();
  RestructureOptions opt;
  opt.driver = w->CEDRIVER.toStdString();
  if (via_text) opt.delimited_path = with_default_extension(base_name().toStdString(), ".txt");

  // The old fields, by which the new ones take their values.
  std::vector<StructRow> old_fields;
  uint64_t total = 0;
  if (TableGridServer* s = w->server(); s && s->table()) {
    old_fields = s->table()->dbstruct();
    opt.code_page = s->table()->code_page();
    total = s->LASTREC();
    if (TableOrders* o = s->orders()) {
      for (int i = 1; i <= o->count(); ++i) {
        const QString bag = o->info(i).bag;
        if (bag.endsWith(QLatin1String(".NTX"), Qt::CaseInsensitive)) opt.ntx_files.push_back(bag.toStdString());
      }
    }
  } else {
    OpenOptions oo;
    oo.read_only = true;
    oo.driver = opt.driver;
    oo.code_page = code_page_for(w->LEANSI);
    oo.fs = &fs();
    if (auto t = Table::open(path, oo)) {
      old_fields = (*t)->dbstruct();
      total = (*t)->lastrec();
      opt.code_page = (*t)->code_page();
    }
  }
  std::vector<RestructureField> fields;
  for (const StructureRow& r : w->ASTRUCTUR) {
    RestructureField f;
    f.row = StructRow{latin1(r.name), r.type.isEmpty() ? 'C' : char(r.type[0].toLatin1()), uint32_t(r.length),
                      uint8_t(r.decimals)};
    for (const StructRow& o : old_fields)
      if (QString::fromLatin1(o.name.c_str()).compare(r.name, Qt::CaseInsensitive) == 0) f.source = o.name;
    fields.push_back(std::move(f));
  }

  w->GRIDDBSERVERCLOSE();
  DLGPROGRESS progress;
  progress.setWindowTitle(QStringLiteral("Daten übernehmen..."));
  progress.CANCEL(false);
  progress.COUNT(uint32_t(std::min<uint64_t>(total, UINT32_MAX)));
  progress.SHOW();
  opt.progress = [&progress](uint64_t done, uint64_t) {
    return progress.UPDATEBAR(uint32_t(std::min<uint64_t>(done, UINT32_MAX)));
  };
  const RestructureOutcome out = restructure_table(fs(), path, fields, opt);
  progress.ENDDIALOG();
  if (!out.ok()) gui::warning_box(this, kAchtung, qs(out.message));
  else w->made_with_driver = driver_facts(w->CEDRIVER).made_with;
  // Either way the table is whole, in its new or its old structure: open it again.
  w->OPENDBFNEU();
  if (out.ok() && !out.orders_left.empty())
    gui::warning_box(this, kAchtung, QStringLiteral("Die Indexdatei konnte nicht erstellt werden!"));
}

QString TAB_STRUKTUR::BENENNUNGANDERS(const QString& old_name, const QString& new_name) {
  TABDW_DBFDATEI* w = window_owner();
  if (!w || w->CEDBF.isEmpty()) return {};
  w->GRIDDBSERVERCLOSE();
  const std::string error =
      rename_field_in_place(fs(), w->CEDBF.toStdString(), latin1(old_name), latin1(new_name));
  w->OPENDBFNEU();
  return qs(error);
}

void TAB_STRUKTUR::PB_COPY() { SICHERUNGSCOPY(); }

void TAB_STRUKTUR::SICHERUNGSCOPY() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w || w->CEDBF.isEmpty()) return;
  const QString base = base_name();
  const DriverFacts d = driver_facts(w->CEDRIVER);
  const bool was_open = w->LESE_GRIDDBSERVER() != nullptr;
  if (was_open) w->GRIDDBSERVERCLOSE();
  BackupOutcome b;
  bool locked = false;
  {
    ExclusiveHold hold(fs(), (base + QStringLiteral(".DBF")).toStdString());
    if (!hold.file) {
      // Found without regard to case, as the backup finds it.
      if (auto found = find_file_nocase(fs(), path_dir(base.toStdString()), path_stem(base.toStdString()) + ".DBF")) {
        ExclusiveHold again(fs(), *found);
        locked = again.held;
      }
    } else {
      locked = hold.held;
    }
    if (!locked) {
      const std::string_view exts[] = {".DBF", d.memo, d.index, ".DFL"};
      b = make_numbered_backup(fs(), (base + QStringLiteral(".DBF")).toStdString(), exts);
    }
  }
  if (was_open) w->OPENDBFNEU();
  if (locked) {
    gui::warning_box(this, kAchtung, kNotExclusive);
  } else if (b.ok()) {
    gui::info_box(this, QStringLiteral("Copy"),
                  QStringLiteral("Es wurde die Sicherungskopie \r\n") + qs(b.new_base) + QStringLiteral(".DBF") +
                      QStringLiteral("\r\n") + QStringLiteral(" erstellt"));
  } else {
    gui::warning_box(this, kAchtung,
                     QStringLiteral("Die alte Datei\r\n\r\n") + base + qs(b.failed_ext) + QStringLiteral("\r\n") +
                         QStringLiteral("\r\n") + QStringLiteral("konnte nicht kopiert werden!"));
  }
}

// ---------------------------------------------------------------- new table, file facts, list

void TAB_STRUKTUR::PB_SAVE() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w || !w->CEDBF.isEmpty()) return;
  QString error;
  QString path;
  bool replacing = false;
  if (w->ASTRUCTUR.empty()) {
    error = QStringLiteral("Es wurden keine Strukturdaten erfaßt!");
  } else {
    path = save_chooser() ? save_chooser()(this) : real_save_dialog(this);
    if (path.isEmpty()) return;
    QString drive, dir, name, ext;
    MYSPLITPATH(path, drive, dir, name, ext);
    if (name.isEmpty()) {
      error = QStringLiteral("Es wurde kein Dateiname erfasst!");
    } else if (ext.isEmpty()) {
      path += QStringLiteral(".dbf");
    } else if (ext.mid(1).toUpper() != QLatin1String("DBF")) {
      error = QStringLiteral("Fehlerhafte Dateiendung!\r\nDie Dateiendung <DBF> wird automatisch gesetzt.");
    }
    if (QFileInfo(path).isFile()) {
      replacing = true;
      if (!gui::yes_no_box(this, QStringLiteral("Datei speichern"),
                           QStringLiteral("Die Datei: ") + path + QStringLiteral("\r\n") +
                               QStringLiteral("existiert bereits!") + QStringLiteral("\r\n") + QStringLiteral("\r\n") +
                               QStringLiteral("Soll die vorhandene Datei überschrieben werden?")))
        error = QStringLiteral("Abbruch");
    }
  }
  if (error.isEmpty()) {
    const QString old_dbf = w->CEDBF, old_drive = w->CEDRIVE, old_dir = w->CEDIR, old_file = w->CEFILE,
                  old_ext = w->CEEXT, old_driver = w->CEDRIVER;
    w->CEDBF = path;
    w->SET_SPLITPATH();
    w->CEDRIVER = form_->CB_DRIVER->currentData().toString();
    std::vector<StructRow> fields;
    bool has_memo = false, has_ole = false;
    for (const StructureRow& r : w->ASTRUCTUR) {
      const char t = r.type.isEmpty() ? 'C' : char(r.type[0].toLatin1());
      has_memo = has_memo || t == 'M';
      has_ole = has_ole || t == 'O';
      fields.push_back({latin1(r.name), t, uint32_t(r.length), uint8_t(r.decimals)});
    }
    Status created = Status::ok();
    if (replacing) {
      // A table open anywhere is never replaced under its reader.
      ExclusiveHold hold(fs(), path.toStdString());
      if (hold.held) created = Status::locked(latin1(path));
    }
    if (created)
      created = db_create(path.toStdString(), fields, w->CEDRIVER.toStdString(),
                          code_page_for(form_->CHB_ANSI->isChecked()), &fs());
    if (!created) {
      error = QStringLiteral("Die Datei \r\n\r\n") + path + QStringLiteral("\r\n") + QStringLiteral("\r\n") +
              QStringLiteral("konnte nicht erstellt werden!");
      // The window stays a new table, so the user can try again.
      w->CEDBF = old_dbf;
      w->CEDRIVE = old_drive;
      w->CEDIR = old_dir;
      w->CEFILE = old_file;
      w->CEEXT = old_ext;
      w->CEDRIVER = old_driver;
    } else {
      if (replacing) {
        // The companions of the replaced table would belong to the new one by name.
        const std::string dir = (w->CEDRIVE + w->CEDIR).toStdString();
        const std::string memo = driver_facts(w->CEDRIVER).memo;
        for (const char* e : {".DBT", ".FPT", ".DFL", ".CDX", ".MDX"}) {
          const std::string ext = e;
          if (has_memo && ext == memo) continue;
          if (has_ole && ext == ".DFL") continue;
          if (auto found = find_file_nocase(fs(), dir, (w->CEFILE).toStdString() + ext)) (void)fs().remove(*found);
        }
      }
      Ui::TAB_STRUKTUR_FORM* f = form_;
      w->LESHARE = !f->CHB_EXCLUSIVE->isChecked();
      w->LEREADONLY = f->CHB_READONLY->isChecked();
      w->LEANSI = f->CHB_ANSI->isChecked();
      w->made_with_driver = w->CEDRIVER;
      w->SETTAB_DBFDATEI();
      set_mode(false);
      SET_DETAILS();
      if (HistoryStore* h = table_window_environment().history) count_opening(*h, w->CEDBF);
    }
  }
  if (!error.isEmpty() && error != QLatin1String("Abbruch")) gui::warning_box(this, kAchtung, error);
}

void TAB_STRUKTUR::BUTTONCLICK(QAbstractButton* control) {
  TAB_STRUKTUR_FORM::BUTTONCLICK(control);
  TABDW_DBFDATEI* w = window_owner();
  if (!w) return;
  Ui::TAB_STRUKTUR_FORM* f = form_;
  if (control == f->CHB_EXCLUSIVE || control == f->CHB_READONLY) {
    if (control == f->CHB_EXCLUSIVE) w->LESHARE = !f->CHB_EXCLUSIVE->isChecked();
    else w->LEREADONLY = f->CHB_READONLY->isChecked();
    // A table still being designed only takes the flags for its creation.
    if (!w->CEDBF.isEmpty()) {
      w->OPENDBFNEU();
      if (w->LESE_GRIDDBSERVER()) SET_DETAILS();
    }
  } else if (control == f->CHB_ANSI) {
    w->LEANSI = f->CHB_ANSI->isChecked();
    set_ansi_mode(w->LEANSI);
  }
}

bool TAB_STRUKTUR::LESE_CHBANSI() const { return form_->CHB_ANSI->isChecked(); }

void TAB_STRUKTUR::SET_DETAILS() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w) return;
  Ui::TAB_STRUKTUR_FORM* f = form_;
  TableGridServer* s = w->CEDBF.isEmpty() ? nullptr : w->server();
  Table* t = s ? s->table() : nullptr;
  const DriverFacts d = driver_facts(w->CEDRIVER);
  const std::string dir = (w->CEDRIVE + w->CEDIR).toStdString();
  struct FileRow {
    QLabel* name;
    QLabel* size;
    QLabel* date;
    QString ext;
  };
  const FileRow rows[] = {{f->FT_DBFNAME, f->FT_DBFLANG, f->FT_DBFDATE, QStringLiteral(".DBF")},
                          {f->FT_MEMONAME, f->FT_MEMOLANG, f->FT_MEMODATE, QLatin1String(d.memo)},
                          {f->FT_OLENAME, f->FT_OLELANG, f->FT_OLEDATE, QStringLiteral(".DFL")},
                          {f->FT_INDEXNAME, f->FT_INDEXLANG, f->FT_INDEXDATE, QLatin1String(d.index)}};
  for (const FileRow& r : rows) {
    // A single index file of "DBFNTX" has no fixed name: the row shows the extension.
    const bool ntx = r.ext == QLatin1String(".NTX");
    const QString name = ntx ? r.ext : w->CEFILE + r.ext;
    r.name->setText(name);
    std::optional<std::string> found;
    if (!w->CEDBF.isEmpty()) found = find_file_nocase(fs(), dir, name.toStdString());
    auto st = found ? fs().stat(*found) : Result<DirEntry>(Status::not_found(""));
    if (st) {
      const QDateTime when = QDateTime::fromSecsSinceEpoch(st.value().mtime);
      r.size->setText(grouped(st.value().size));
      r.date->setText(when.toString(QStringLiteral("dd.MM.yyyy")) + QStringLiteral(" @ ") +
                      when.toString(QStringLiteral("HH:mm:ss")));
    } else {
      r.size->setText(QStringLiteral("0"));
      r.date->setText(QStringLiteral("nicht vorhanden"));
    }
  }
  f->FT_ANZSATZMAX->setText(grouped(d.max_records));
  f->FT_ANZFELDMAX->setText(grouped(d.max_fields));
  f->FT_SATZLANGMAX->setText(grouped(d.max_record_length));
  if (t) {
    f->FT_VERZNAME->setText(qs(path_dir(t->path())));
    const int at = f->CB_DRIVER->findData(s->RDDNAME());
    if (at >= 0) f->CB_DRIVER->setCurrentIndex(at);
    f->FT_DRIVER->setText(s->RDDNAME());
    f->FT_ANZSATZIST->setText(grouped(s->LASTREC()));
    f->FT_ANZFELDIST->setText(grouped(t->fcount()));
    f->FT_SATZLANGIST->setText(grouped(t->record_length()));
    f->CHB_EXCLUSIVE->setChecked(!s->SHARED());
    f->CHB_READONLY->setChecked(s->READONLY());
  } else {
    f->FT_VERZNAME->setText(QString::fromStdString(dir));
    for (QLabel* l : {f->FT_ANZSATZIST, f->FT_ANZFELDIST, f->FT_SATZLANGIST}) l->clear();
  }
  f->CHB_ANSI->setChecked(w->LEANSI);
}

void TAB_STRUKTUR::FILEREPORT(bool preview) {
  TABDW_DBFDATEI* w = window_owner();
  TableGridServer* s = w ? w->server() : nullptr;
  Table* table = s ? s->table() : nullptr;
  // The list shows the table file's own fields, so it needs the open table.
  if (!table) return;
  const TableWindowEnvironment& env = table_window_environment();
  ListSettings ini;
  if (HistoryStore* h = env.history)
    ini.history = [h](const QString& sec, const QString& k) { return h->GETSTRING(sec, k); };
  if (HistoryStore* p = env.product)
    ini.product = [p](const QString& sec, const QString& k) { return p->GETSTRING(sec, k); };
  print_field_list(this, preview, *table, w->CEDBF, ini);
}

}  // namespace mv
