#include "header/page/tab_header.h"

#include <QAbstractButton>
#include <QFileInfo>
#include <QFontMetrics>
#include <algorithm>
#include <ctime>

#include "components/slestandard.h"
#include "components/stdgridbrowser.h"
#include "header/page/raw_rows_server.h"
#include "platform/gui/messagebox.h"
#include "platform/gui/palette.h"
#include "platform/gui/windows.h"
#include "platform/runtime/date.h"
#include "platform/table/backup.h"
#include "platform/table/modes.h"
#include "tablewindow/environment.h"
#include "tablewindow/tabdw_dbfdatei.h"
#include "tablewindow/tableserver.h"
#include "ui_TAB_HEADER_FORM.h"

namespace mv {
namespace {

const QString kAchtung = QStringLiteral("Achtung");
const QColor kPageColor(160, 240, 128);
const QColor kGridColor(196, 255, 155);

QString qs(const std::string& s) { return QString::fromStdString(s); }

QString hex_of(std::span<const uint8_t> bytes) { return qs(header::hex_form(bytes)); }

// Bytes as characters of the table's code page; control bytes (a NUL above all) have no
// picture and show as blanks.
QString chars_of(std::span<const uint8_t> bytes, CodePage cp) {
  std::string text(bytes.begin(), bytes.end());
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  return qs(cp_to_utf8(cp, text));
}

// Name bytes up to the first NUL, in the table's code page.
QString name_of(std::span<const uint8_t> bytes, CodePage cp) {
  std::string text;
  for (uint8_t b : bytes) {
    if (b == 0) break;
    text.push_back(char(b));
  }
  return qs(cp_to_utf8(cp, text));
}

// "1.234.567": the size as the picture "9,999,999,999" shows it in German settings.
QString grouped(uint64_t n) {
  QString digits = QString::number(n);
  for (int i = int(digits.size()) - 3; i > 0; i -= 3) digits.insert(i, QLatin1Char('.'));
  return digits;
}

uint64_t number_of(const QString& text) {
  bool ok = false;
  const qulonglong v = text.trimmed().toULongLong(&ok);
  return ok ? v : 0;
}


}  // namespace

void register_header_page() {
  if (!gui::is_window_class("TAB_HEADER")) gui::register_window_class<TAB_HEADER>("TAB_HEADER");
}

// ---------------------------------------------------------------- form

TAB_HEADER_FORM::TAB_HEADER_FORM(QWidget* owner) : STD_DATAWINDOW(owner), form_(new Ui::TAB_HEADER_FORM) {
  form_->setupUi(this);
  gui::set_page_colour(this, kPageColor, true);
  gui::set_page_colour(form_->RB_ASC, kPageColor, true);
  gui::set_page_colour(form_->RB_HEX, kPageColor, true);
  for (STDGRIDBROWSER* g : {form_->BB_STRUCTUR, form_->BB_DATEN}) {
    g->set_cursor_mode(grid::GRIDBROWSER::CursorMode::Row);
    g->set_selector(true);
    g->set_inactive_selection(true);
    g->set_background(QBrush(kGridColor));
    g->AUTOREFRESHTIME(1000);
  }
  // Numbers and dates take digits only (and the date its points).
  form_->SE_ANZSATZ->MASKE(QStringLiteral("0123456789"));
  form_->SE_POSANFANG->MASKE(QStringLiteral("0123456789"));
  form_->SE_SATZLANG->MASKE(QStringLiteral("0123456789"));
  form_->SE_LANG->MASKE(QStringLiteral("0123456789"));
  form_->SE_DEC->MASKE(QStringLiteral("0123456789"));
  form_->SE_DATUM->MASKE(QStringLiteral("0123456789. "));
  bind_controls();
}

TAB_HEADER_FORM::~TAB_HEADER_FORM() { delete form_; }

// ---------------------------------------------------------------- page

TAB_HEADER::TAB_HEADER(QWidget* owner) : TAB_HEADER_FORM(owner) {
  setObjectName(QStringLiteral("TAB_HEADER"));
  Ui::TAB_HEADER_FORM* f = form_;
  f->RB_ASC->setChecked(true);
  TABDW_DBFDATEI* w = window_owner();
  f->FT_DRIVER->setText(w ? w->CEDRIVER : QString());
  for (char letter : {'C', 'N', 'L', 'D', 'T', 'M', 'O'}) {
    for (const auto& t : header::kFieldTypes)
      if (t.letter == letter) f->CB_TYPE->addItem(qs(std::string(t.text)), QString(QChar(letter)));
  }
  f->CB_TYPE->setCurrentIndex(0);
  FILLCB_BYTE0();
  ASTRUCTURSPALTEN = {{"Nr", 'N', 4, 0},        {"Feldname", 'C', 32, 0}, {"Type", 'C', 4, 0},
                      {"Size", 'C', 4, 0},      {"Dec", 'C', 4, 0},       {"Byte13_16", 'C', 11, 0},
                      {"Byte19_32", 'C', 41, 0}};
  ADATENSPALTEN = {{"RecNo", 'N', 5, 0}, {"DEL", 'C', 4, 0}, {"Datensatz", 'C', 200, 0}};
  QFont gf(QStringLiteral("Microsoft Sans Serif"));
  gf.setPointSize(int(table_window_environment().font_or_default()));
  f->BB_STRUCTUR->FONT(gf);
  f->BB_DATEN->FONT(gf);

  connect(f->BB_STRUCTUR, &grid::GRIDBROWSER::cell_selected, this, [this](int row, int) { CELLSELECT(row + 1); });
  for (QComboBox* cb : {static_cast<QComboBox*>(f->CB_TYPE), f->CB_BYTE0, f->CB_DATEI})
    connect(cb, qOverload<int>(&QComboBox::activated), this, [this, cb] { LISTBOXSELECT(cb); });

  if (!w || w->CEDBF.isEmpty()) {
    f->FT_FILENAME->setText(QStringLiteral("Extension"));
    f->CB_TYPE->setCurrentIndex(0);
    f->SE_LANG->setText(QStringLiteral("10"));
  } else {
    FILL_CBDATEI();
    SET_DETAILSDATEI();
    SETVORGABEWERT(true);
    f->FT_DATEN->setText(QStringLiteral("Daten: ") + f->CB_DATEI->currentText());
  }
}

TAB_HEADER::~TAB_HEADER() = default;

TABDW_DBFDATEI* TAB_HEADER::window_owner() const { return qobject_cast<TABDW_DBFDATEI*>(owner()); }
STDGRIDBROWSER* TAB_HEADER::structure_grid() const { return form_->BB_STRUCTUR; }
STDGRIDBROWSER* TAB_HEADER::data_grid() const { return form_->BB_DATEN; }

bool TAB_HEADER::hex_mode() const { return form_->RB_HEX->isChecked(); }
FileSystem& TAB_HEADER::fs() const { return fs_ ? *fs_ : FileSystem::posix(); }
CodePage TAB_HEADER::code_page() const {
  TABDW_DBFDATEI* w = window_owner();
  return code_page_for(w && w->LEANSI);
}
QString TAB_HEADER::table_path() const {
  TABDW_DBFDATEI* w = window_owner();
  return w ? w->CEDBF : QString();
}
QString TAB_HEADER::base_path() const {
  TABDW_DBFDATEI* w = window_owner();
  return w ? w->CEDRIVE + w->CEDIR + w->CEFILE : QString();
}

int TAB_HEADER::column_pixels(int chars) const {
  // Measured on a digit: hex columns are digits, and text columns are no wider.
  return QFontMetrics(form_->BB_STRUCTUR->font()).horizontalAdvance(QLatin1Char('0')) * chars + 8;
}

void TAB_HEADER::SHOW() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w || w->CEDBF.isEmpty()) {
    gui::warning_box(this, kAchtung, QStringLiteral("Es wurde keine Datei ausgewählt!"));
    if (w) w->SET_TABSTRUKTUR();
    return;
  }
  STD_DATAWINDOW::SHOW();
  if (w->GETCAPTION().contains(QStringLiteral("Header: "))) return;
  w->set_caption(QStringLiteral("Header: ") + w->CEFILE + w->CEEXT);
  w->MENUSTRUKTUR();
  TableGridServer* s = w->server();
  if (s && s->table() && !s->SHARED()) {
    gui::warning_box(this, kAchtung,
                     QStringLiteral("Die Datei wurde exclusiv geöffnet.\r\nDie Headerdaten können nicht angezeigt werden!"));
    w->SET_TABSTRUKTUR();
    return;
  }
  FILL_HEADER();
  FILL_BBSTRUCTUR();
  FILL_BBDATEN(true);
}

void TAB_HEADER::FILL_HEADER() {
  Ui::TAB_HEADER_FORM* f = form_;
  const std::string path = table_path().toStdString();
  auto bytes = header::read_header_bytes(fs(), path);
  if (!bytes) {
    gui::warning_box(this, kAchtung, qs(bytes.status().message()));
    return;
  }
  const header::HeaderBytes& b = bytes.value();
  const header::DbfHeader h = header::decode_header(b);
  const std::span<const uint8_t> all(b);
  byte0_picked_ = false;
  f->FT_BH0->setText(hex_of(all.subspan(0, 1)));
  f->CB_BYTE0->setCurrentIndex(f->CB_BYTE0->findData(int(h.version)));
  f->FT_BH1_3->setText(hex_of(all.subspan(1, 3)));
  f->SE_DATUM->setText(qs(dtoc(header::last_change(h, date_epoch()))));
  f->FT_BH4_7->setText(hex_of(all.subspan(4, 4)));
  f->SE_ANZSATZ->setText(QString::number(h.record_count));
  f->FT_BH8_9->setText(hex_of(all.subspan(8, 2)));
  f->SE_POSANFANG->setText(QString::number(h.header_length));
  f->FT_BH10_11->setText(hex_of(all.subspan(10, 2)));
  f->SE_SATZLANG->setText(QString::number(h.record_length));
  f->FT_BH12_21->setText(hex_of(all.subspan(12, 10)));
  f->FT_B12_21->setText(chars_of(all.subspan(12, 10), code_page()));
  f->FT_BH22_31->setText(hex_of(all.subspan(22, 10)));
  f->FT_B22_31->setText(chars_of(all.subspan(22, 10), code_page()));
  auto end = header::read_header_end(fs(), path, h.header_length);
  f->FT_HEADEREND->setText(end ? hex_of(*end) : QString());
}

void TAB_HEADER::FILL_BBSTRUCTUR() {
  STDGRIDBROWSER* g = form_->BB_STRUCTUR;
  int remembered = 0;
  if (structure_server_ && structure_server_->rowCount() > 0) remembered = structure_server_->current_row() + 1;
  AHEADERSTRUCTUR.clear();
  const bool hex = hex_mode();
  ASTRUCTURSPALTEN[1].width = hex ? 33 : 14;
  ASTRUCTURSPALTEN[5].width = hex ? 11 : 4;
  ASTRUCTURSPALTEN[6].width = hex ? 41 : 14;

  QVector<QVariantList> rows;
  const auto found = header::read_descriptor_slots(fs(), table_path().toStdString());
  const CodePage cp = code_page();
  for (size_t i = 0; i < found.size(); ++i) {
    const auto& s = found[i];
    const std::span<const uint8_t> all(s);
    const header::DescriptorRow d = header::descriptor_row(i + 1, s);
    AHEADERSTRUCTUR.push_back(d);
    if (hex) {
      rows.push_back({int(i + 1), hex_of(all.subspan(0, 11)), hex_of(all.subspan(11, 1)), hex_of(all.subspan(16, 1)),
                      hex_of(all.subspan(17, 1)), hex_of(all.subspan(12, 4)), hex_of(all.subspan(18, 14))});
    } else {
      rows.push_back({int(i + 1), name_of(all.subspan(0, 11), cp), chars_of(all.subspan(11, 1), cp),
                      QString::number(d.length), QString::number(d.decimals), chars_of(all.subspan(12, 4), cp),
                      chars_of(all.subspan(18, 14), cp)});
    }
  }
  form_->FT_ANZFELD->setText(QString::number(found.size()));

  QStringList names;
  for (const auto& c : ASTRUCTURSPALTEN) names << c.name;
  auto* server = new grid::GRIDARRAYSERVER(rows, names, this);
  for (size_t i = 0; i < ASTRUCTURSPALTEN.size(); ++i) {
    const ColumnDef& c = ASTRUCTURSPALTEN[i];
    // Never narrower than its caption, so every heading stays readable.
    const int chars = std::max(c.width, int(c.name.size()) + 1);
    server->add_column(grid::GridColumn::on_field(int(i + 1), c.name, c.name, c.type, column_pixels(chars)));
  }
  g->set_server(server);
  g->set_frozen_columns(1);
  if (structure_server_) structure_server_->deleteLater();
  structure_server_ = server;
  if (!rows.isEmpty()) server->set_current_row(remembered >= 1 && remembered <= rows.size() ? remembered - 1 : 0);
}

void TAB_HEADER::CELLSELECT(int row) {
  if (row < 1 || size_t(row) > AHEADERSTRUCTUR.size()) return;
  const header::DescriptorRow& d = AHEADERSTRUCTUR[size_t(row - 1)];
  Ui::TAB_HEADER_FORM* f = form_;
  std::string name = d.name;
  f->SE_NAME->setText(qs(cp_to_utf8(code_page(), name)));
  f->CB_TYPE->setCurrentIndex(f->CB_TYPE->findData(QString(QChar(d.type))));
  f->SE_LANG->setText(QString::number(d.length));
  f->SE_DEC->setText(QString::number(d.type == 'C' ? 0 : d.decimals));
  SETVORGABEWERT(false);
}

void TAB_HEADER::SETVORGABEWERT(bool is_new) {
  Ui::TAB_HEADER_FORM* f = form_;
  const QString type = f->CB_TYPE->currentData().toString();
  struct Preset {
    const char* type;
    const char* length;
    const char* decimals;
    bool length_editable, decimals_editable;
  };
  static const Preset presets[] = {
      {"C", "10", "0", true, false}, {"N", "12", "2", true, true},  {"L", "1", "0", false, false},
      {"D", "8", "0", false, false}, {"M", "10", "0", false, false}, {"O", "10", "0", false, false},
      {"X", "8", "0", false, false},
  };
  for (const Preset& p : presets) {
    if (type != QLatin1String(p.type)) continue;
    if (is_new) {
      f->SE_LANG->setText(QLatin1String(p.length));
      f->SE_DEC->setText(QLatin1String(p.decimals));
    }
    f->SE_LANG->READONLY(!p.length_editable);
    f->SE_DEC->READONLY(!p.decimals_editable);
    return;
  }
}

void TAB_HEADER::BUTTONCLICK(QAbstractButton* control) {
  TAB_HEADER_FORM::BUTTONCLICK(control);
  if (control == form_->RB_ASC || control == form_->RB_HEX) {
    FILL_BBSTRUCTUR();
    FILL_BBDATEN(true);
  }
}

void TAB_HEADER::LISTBOXSELECT(QComboBox* control) {
  if (control == form_->CB_TYPE) {
    SETVORGABEWERT(true);
  } else if (control == form_->CB_BYTE0) {
    byte0_picked_ = true;
    SET_DRIVER();
  } else if (control == form_->CB_DATEI) {
    SET_DETAILSDATEI();
    FILL_BBDATEN(false);
  }
}

void TAB_HEADER::FILLCB_BYTE0() {
  QComboBox* cb = form_->CB_BYTE0;
  cb->clear();
  for (const auto& e : header::kVersionList) cb->addItem(qs(std::string(e.text)), int(e.byte));
  cb->setCurrentIndex(-1);
}

void TAB_HEADER::SET_DRIVER() {
  const QVariant v = form_->CB_BYTE0->currentData();
  if (!v.isValid()) return;
  const std::string_view driver = header::driver_for_version(uint8_t(v.toInt()));
  if (!driver.empty()) form_->FT_DRIVER->setText(qs(std::string(driver)));
}

// ---------------------------------------------------------------- raw views and backups

void TAB_HEADER::FILL_CBDATEI() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w) return;
  const std::string dir = (w->CEDRIVE + w->CEDIR).toStdString();
  QComboBox* cb = form_->CB_DATEI;
  for (std::string_view ext : header::kCompanionExtensions) {
    const QString name = w->CEFILE + qs(std::string(ext));
    if (!find_file_nocase(fs(), dir, name.toStdString())) continue;
    cb->addItem(name, qs(std::string(ext)));
    if (cb->count() == 1) cb->setCurrentIndex(0);
  }
}

void TAB_HEADER::SET_DETAILSDATEI() {
  Ui::TAB_HEADER_FORM* f = form_;
  f->FT_DATEN->setText(QStringLiteral("Daten: ") + f->CB_DATEI->currentText());
  TABDW_DBFDATEI* w = window_owner();
  std::optional<std::string> found;
  if (w && f->CB_DATEI->currentIndex() >= 0)
    found = find_file_nocase(fs(), (w->CEDRIVE + w->CEDIR).toStdString(),
                             (w->CEFILE + f->CB_DATEI->currentData().toString()).toStdString());
  auto st = found ? fs().stat(*found) : Result<DirEntry>(Status::not_found(""));
  if (st) {
    f->FT_DBFLANG->setText(grouped(st.value().size));
    f->FT_DBFDATE->setText(qs(dtoc(header::local_date(st.value().mtime))));
  } else {
    f->FT_DBFLANG->setText(QStringLiteral("0"));
    f->FT_DBFDATE->setText(QStringLiteral("--"));
  }
}

void TAB_HEADER::FILL_BBDATEN(bool keep) {
  const QString ext = form_->CB_DATEI->currentData().toString();
  if (ext == QLatin1String(".DBF")) {
    FILL_BBDATENDBF(keep);
  } else if (ext == QLatin1String(".CDX") || ext == QLatin1String(".MDX") || ext == QLatin1String(".NTX")) {
    FILL_BBDATENINDEX(keep);
  } else if (ext == QLatin1String(".FPT") || ext == QLatin1String(".DBT") || ext == QLatin1String(".DFL")) {
    FILL_BBDATENMEMO(keep);
  }
}

void TAB_HEADER::bind_data(const header::RawLayout& layout, bool records, bool keep) {
  STDGRIDBROWSER* g = form_->BB_DATEN;
  int remembered = 0;
  if (data_server_ && data_server_->rowCount() > 0) remembered = data_server_->current_row() + 1;
  const bool hex = hex_mode();
  const int width = int(layout.row_length) - (records ? 1 : 0);
  if (records) {
    ADATENSPALTEN = {{"RecNo", 'N', 5, 0}, {"DEL", 'C', 4, 0}, {"Datensatz", 'C', hex ? 3 * width : width, 0}};
  } else {
    ADATENSPALTEN = {{"Block", 'N', 5, 0}, {"Datensatz", 'C', hex ? 3 * width : width, 0}};
  }
  auto* server = new RawRowsServer(fs(), layout, records, hex, code_page(), this);
  for (size_t i = 0; i < ADATENSPALTEN.size(); ++i) {
    const ColumnDef& c = ADATENSPALTEN[i];
    // A column as wide as its text would be thousands of characters; the grid scrolls it.
    server->add_column(grid::GridColumn::on_field(int(i + 1), c.name, c.name, c.type,
                                                  column_pixels(std::clamp(c.width, int(c.name.size()) + 1, 2000))));
  }
  g->set_server(server);
  g->set_frozen_columns(records ? 2 : 1);
  if (data_server_) data_server_->deleteLater();
  data_server_ = server;
  if (layout.rows > 0)
    server->set_current_row(keep && remembered >= 1 && uint32_t(remembered) <= layout.rows ? remembered - 1 : 0);
}

void TAB_HEADER::FILL_BBDATENDBF(bool keep) {
  auto layout = header::record_layout(fs(), table_path().toStdString());
  if (!layout) {
    gui::warning_box(this, QStringLiteral("Lesefehler"), QStringLiteral("Stop"));
    bind_data(header::RawLayout{}, true, false);
    return;
  }
  bind_data(layout.value(), true, keep);
}

void TAB_HEADER::fill_blocks(bool keep) {
  const QString name = base_path() + form_->CB_DATEI->currentData().toString();
  auto layout = header::block_layout(fs(), name.toStdString());
  if (!layout) {
    gui::warning_box(this, QStringLiteral("Lesefehler"), QStringLiteral("Stop"));
    bind_data(header::RawLayout{{}, 0, header::kRawBlockSize, 0}, false, false);
    return;
  }
  bind_data(layout.value(), false, keep);
}

void TAB_HEADER::FILL_BBDATENMEMO(bool keep) { fill_blocks(keep); }
void TAB_HEADER::FILL_BBDATENINDEX(bool keep) { fill_blocks(keep); }

void TAB_HEADER::GOTOP() {
  if (data_server_) data_server_->GOTOP();
}
void TAB_HEADER::GOBOTTOM() {
  if (data_server_) data_server_->GOBOTTOM();
}
void TAB_HEADER::SKIPNEXT() { form_->BB_DATEN->SKIP(1); }
void TAB_HEADER::SKIPPREVIOUS() { form_->BB_DATEN->SKIP(-1); }

void TAB_HEADER::PB_COPY() { SICHERUNGSCOPY(); }

void TAB_HEADER::SICHERUNGSCOPY() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w || w->CEDBF.isEmpty()) return;
  const bool was_open = w->LESE_GRIDDBSERVER() != nullptr;
  if (was_open) w->GRIDDBSERVERCLOSE();
  const std::string base = base_path().toStdString();
  std::string ext = path_ext(w->CEDBF.toStdString());
  // The table is named as the window knows it; its companions by the base name.
  const BackupOutcome b =
      make_numbered_backup(fs(), base + (ext.empty() ? ".DBF" : ext), header::kCompanionExtensions);
  if (was_open) w->OPENDBFNEU();
  if (b.ok()) {
    gui::info_box(this, QStringLiteral("Copy"),
                  QStringLiteral("Es wurde die Sicherungskopie \r\n") + qs(b.new_base) + QStringLiteral(".DBF") +
                      QStringLiteral("\r\n") + QStringLiteral(" erstellt"));
  } else {
    gui::warning_box(this, kAchtung, qs(header::copy_failure_text(base, b.failed_ext)));
  }
}

// ---------------------------------------------------------------- tests and repair

void TAB_HEADER::TESTHEADER() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w) return;
  std::optional<header::OpenTableFacts> facts;
  if (TableGridServer* s = w->server(); s && s->table()) {
    const Table& t = *s->table();
    facts = header::OpenTableFacts{t.record_length(), s->LASTREC(), uint32_t(t.fcount())};
  }
  const header::TestOutcome r =
      header::test_header(fs(), w->CEDBF.toStdString(), AHEADERSTRUCTUR, facts, date_epoch());
  if (r.open_failed) {
    gui::warning_box(this, QStringLiteral("FOpen Fehler"), qs(r.text));
    return;
  }
  gui::info_box(this, QStringLiteral("Header Fehler"), qs(r.text));
}

void TAB_HEADER::PB_TESTHEADER() { TESTHEADER(); }

void TAB_HEADER::TESTSTRUCTUR() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w) return;
  const header::TestOutcome r = header::test_structure(fs(), w->CEDBF.toStdString(), AHEADERSTRUCTUR);
  if (r.open_failed) {
    gui::warning_box(this, QStringLiteral("FOpen Fehler"), qs(r.text));
    return;
  }
  gui::info_box(this, QStringLiteral("Structur Fehler"), qs(r.text));
}

void TAB_HEADER::PB_TESTSTRUCTUR() { TESTSTRUCTUR(); }

void TAB_HEADER::PB_ANDERSHEADER() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w || w->CEDBF.isEmpty()) return;
  Ui::TAB_HEADER_FORM* f = form_;
  header::HeaderEdit edit;
  if (byte0_picked_ && f->CB_BYTE0->currentIndex() >= 0) edit.version = uint8_t(f->CB_BYTE0->currentData().toInt());
  edit.date_text = f->SE_DATUM->text().toStdString();
  edit.record_count = number_of(f->SE_ANZSATZ->text());
  edit.record_length = number_of(f->SE_SATZLANG->text());
  edit.header_length = number_of(f->SE_POSANFANG->text());

  // The table layer keeps a header of its own and writes it back: it lets go of the file
  // before the bytes change and reads them afresh afterwards.
  const bool was_open = w->LESE_GRIDDBSERVER() != nullptr;
  if (was_open) w->GRIDDBSERVERCLOSE();
  const header::RepairOutcome r = header::repair_header(fs(), w->CEDBF.toStdString(), edit, date_epoch());
  if (was_open) w->OPENDBFNEU();
  const bool unreadable =
      r.error.rfind("FOpen Fehler", 0) == 0 || r.error.rfind("FRead Fehler", 0) == 0;
  if (!unreadable) {
    FILL_HEADER();
    FILL_BBSTRUCTUR();
    FILL_BBDATEN(false);
  }
  if (!r.error.empty()) {
    gui::warning_box(this, kAchtung, qs(r.error));
  } else if (!r.written.empty()) {
    gui::info_box(this, QStringLiteral("Header"), qs(header::repair_report(r)));
  }
}

void TAB_HEADER::PB_ANDERSSTRUKTUR() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w || w->CEDBF.isEmpty()) return;
  Ui::TAB_HEADER_FORM* f = form_;
  header::DescriptorEdit edit;
  edit.number = structure_server_ && structure_server_->rowCount() > 0 && structure_server_->current_row() >= 0
                    ? size_t(structure_server_->current_row() + 1)
                    : 0;
  const QString type = f->CB_TYPE->currentData().toString();
  edit.type = type.size() == 1 ? char(type[0].toLatin1()) : 0;
  auto name = cp_from_utf8(code_page(), f->SE_NAME->text().trimmed().toStdString());
  edit.length = number_of(f->SE_LANG->text());
  edit.decimals = number_of(f->SE_DEC->text());
  header::RepairOutcome r;
  const bool was_open = w->LESE_GRIDDBSERVER() != nullptr;
  if (!name) {
    r.error = "Der Name konnte nicht geändert werden";
  } else {
    edit.name_bytes = name.value();
    if (was_open) w->GRIDDBSERVERCLOSE();
    r = header::repair_descriptor(fs(), w->CEDBF.toStdString(), edit);
  }
  if (was_open) w->OPENDBFNEU();
  FILL_BBSTRUCTUR();
  if (!r.error.empty()) {
    gui::warning_box(this, kAchtung, qs(r.error));
  } else if (!r.written.empty()) {
    gui::info_box(this, QStringLiteral("Header"), qs(header::repair_report(r)));
  }
}

}  // namespace mv
