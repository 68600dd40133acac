// The record search of the data page: search button, key search, full-text search with
// its two engines, the hit label and the arrows.
#include "tablewindow/search.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <optional>
#include <string>

#include "components/dlgprogress.h"
#include "platform/gui/application.h"
#include "platform/gui/messagebox.h"
#include "platform/runtime/date.h"
#include "platform/runtime/strings.h"
#include "platform/table/record_scan.h"
#include "tablewindow/tab_dbfdaten.h"
#include "tablewindow/tableserver.h"
#include "ui_TAB_DBFDATEN_FORM.h"

namespace mv {
namespace {

// One byte map for record images, field texts and the search text alike.
const unsigned char* fold_map(const Table& t) { return upper_map(CaseFlavour::Full, t.code_page()); }

// The search text as the table stores text, folded; nothing when the code page cannot
// hold one of its characters (then no record can contain it).
std::optional<std::string> folded_needle(const Table& t, const QString& text) {
  auto bytes = cp_from_utf8(t.code_page(), text.toStdString());
  if (!bytes) return std::nullopt;
  std::string s = std::move(bytes).value();
  const unsigned char* m = fold_map(t);
  for (char& c : s) c = char(m[uint8_t(c)]);
  return s;
}

QString hits_text(size_t hits) { return QStringLiteral("Bislang ") + QString::number(hits) + QStringLiteral(" Treffer..."); }

// The progress window of one scan. The hit count is written when it changed, but not
// more often than the window can show it.
class ScanProgress {
 public:
  ScanProgress(QObject* owner, const QString& text, uint32_t steps) : p_(owner) {
    p_.setWindowTitle(QStringLiteral("Suche \"") + text + QStringLiteral("\"..."));
    p_.TXTFEEDBACK()->setText(QStringLiteral("Noch keine Treffer..."));
    p_.COUNT(std::max<uint32_t>(steps, 1));
    p_.SHOW();
  }
  ~ScanProgress() { p_.ENDDIALOG(); }
  // Asked before the first record, after each hit and now and then in between. The window
  // itself is asked at the first record, after the first hit and then at most every 20 ms:
  // between those it would not draw anything a person could see, and each drawing costs
  // as much as scanning thousands of records. A cancel pressed meanwhile is seen at the
  // next step that asks it.
  bool step(uint32_t n, size_t hits) {
    if (hits > 0 && shown_ == 0) {
      // The first hit is told at once.
      show_hits(hits);
      gui::process_pending_events();  // the window throttles itself; this one is shown now
    } else if (n != 1 && clock_.isValid() && clock_.elapsed() < 20) {
      return !p_.cancelled();
    } else if (hits != shown_) {
      show_hits(hits);
    }
    clock_.start();
    return p_.UPDATE(n);
  }
  void finish(size_t hits) {
    if (hits != shown_) show_hits(hits);
  }

 private:
  void show_hits(size_t hits) {
    shown_ = hits;
    p_.TXTFEEDBACK()->setText(hits_text(hits));
  }
  DLGPROGRESS p_;
  QElapsedTimer clock_;  // since the window was last asked
  size_t shown_ = 0;
};

// The trimmed number text of a numeric field: its stored text when that is already the
// way the number is written (digits, a sign, the field's decimals), else formatted anew.
void number_text(const Table& t, int pos, const Value& v, std::string& out) {
  const FieldInfo& f = t.field(pos);
  const std::string_view raw = str_alltrim(t.field_raw(pos));
  bool plain = !raw.empty() && (f.type == 'N' || f.type == 'F');
  size_t point = std::string_view::npos;
  for (size_t i = 0; plain && i < raw.size(); ++i) {
    const char c = raw[i];
    if (c == '.' && point == std::string_view::npos) point = i;
    else if (!(c >= '0' && c <= '9') && !(c == '-' && i == 0)) plain = false;
  }
  const size_t decimals = point == std::string_view::npos ? 0 : raw.size() - point - 1;
  if (plain && decimals == f.decimals && (point == std::string_view::npos || point > (raw[0] == '-' ? 1u : 0u))) {
    out.assign(raw);
    return;
  }
  out.assign(str_alltrim(str_str(v.num, v.len > 0 ? v.len : -1, v.dec)));
}

bool usable(TableGridServer* s) { return s && s->USED() && s->table(); }

}  // namespace

bool ISFIELDMEMO(TableGridServer* server) {
  if (!usable(server)) return false;
  bool memo = false;
  for (const FieldInfo& f : server->table()->fields()) memo = memo || f.type == 'M';
  return memo;
}

std::vector<uint32_t> SCANFIELDS(TableGridServer* server, const QString& text) {
  std::vector<uint32_t> hits;
  if (!usable(server)) return hits;
  Table& t = *server->table();
  hits.reserve(t.lastrec());
  const std::optional<std::string> needle = folded_needle(t, text);
  ScanProgress progress(server->parent(), text, t.lastrec());
  if (!needle) return hits;
  const unsigned char* m = fold_map(t);
  const int n = int(t.fcount());
  Value v;
  std::string cmp;
  uint32_t step = 0;
  size_t asked = 0;  // the hit count the progress last heard
  for (Status st = t.go_top(); st.is_ok() && !t.eof(); st = t.skip(1)) {
    // As the byte engine does: at the first record, after each hit, every 1024th record.
    if ((++step & 1023u) == 1 || hits.size() != asked) {
      asked = hits.size();
      if (!progress.step(step, asked)) break;
    }
    bool hit = false;
    for (int f = 1; f <= n && !hit; ++f) {
      if (!t.field_get_into(f, v).is_ok()) continue;
      switch (v.type) {
        case ValueType::Character:
          cmp.assign(v.str);
          for (char& c : cmp) c = char(m[uint8_t(c)]);
          break;
        case ValueType::Numeric: number_text(t, f, v, cmp); break;
        case ValueType::Date: cmp = dtoc(v.date); break;
        case ValueType::Logical: cmp = v.logical ? "JT1" : "NF0"; break;
        default: continue;
      }
      hit = cmp.find(*needle) != std::string::npos;
    }
    if (hit) hits.push_back(t.recno());
  }
  progress.finish(hits.size());
  return hits;
}

std::vector<uint32_t> SCANFIELDSLOWLEVEL(TableGridServer* server, const QString& text) {
  if (!usable(server)) return {};
  Table& t = *server->table();
  const std::optional<std::string> needle = folded_needle(t, text);
  ScanProgress progress(server->parent(), text, t.lastrec());
  if (!needle) return {};
  auto hits = find_in_records(t, *needle, fold_map(t),
                              [&](uint32_t recno, size_t found) { return progress.step(recno, found); });
  if (!hits) return {};
  progress.finish(hits->size());
  return std::move(hits).value();
}

QString ASCADD(const QString& text, const QString& key) {
  const QString k = key.isEmpty() ? QStringLiteral(" ") : key;
  QString out = text;
  for (qsizetype i = 0; i < out.size(); ++i)
    out[i] = QChar(char16_t((out[i].unicode() + k[i % k.size()].unicode()) & 0xFF));
  return out;
}

bool ISCANOPENEXCLUSIVE(const QString& file) {
  QFile f(file);
  if (!f.exists() || !f.open(QIODevice::ReadOnly)) return false;
  f.close();
  return true;
}

// ---------------------------------------------------------------- the data page

void TAB_DBFDATEN::PB_FIND() {
  const QString t = form_->SE_SUCHE->text();
  if (form_->RB_SATZNR->isChecked()) {
    const double n = str_val(t.toStdString());
    if (n >= 1 && server()) server()->GOTO(n >= double(UINT32_MAX) ? UINT32_MAX : uint32_t(n));
    CELLSELECT();
  } else if (form_->RB_INDEX->isChecked()) {
    INDEXSUCHE(t);
  } else if (form_->RB_VOLLTEXT->isChecked()) {
    VOLLTEXTSUCHE(t);
  }
}

void TAB_DBFDATEN::INDEXSUCHE(const QString& text) {
  TableGridServer* s = server();
  if (!s || !s->orders() || text.trimmed().isEmpty()) return;
  Table* t = s->table();
  auto key = cp_from_utf8(t->code_page(), text.toStdString());
  if (!key) return;
  auto sought = s->orders()->seek_text(*key);
  if (!gui::status_box(this, sought.status(), QStringLiteral("Achtung")) || !*sought) return;
  // No such key: the last record of the order.
  if (t->eof() && !gui::status_box(this, t->go_bottom(), QStringLiteral("Achtung"))) return;
  if (!t->eof()) s->GOTO(t->recno());
  CELLSELECT();
}

void TAB_DBFDATEN::VOLLTEXTSUCHE(const QString& text) {
  TableGridServer* s = server();
  if (!s || text.isEmpty()) return;
  CSUCHTEXT = text;
  const uint32_t keep = s->RECNO();
  ASUCHE = ISFIELDMEMO(s) ? SCANFIELDS(s, text) : SCANFIELDSLOWLEVEL(s, text);
  if (!server()) return;  // closed while the progress window let other commands run
  if (!ASUCHE.empty()) {
    NTREFFER = 1;
    s->GOTO(ASUCHE.front());
  } else {
    NTREFFER = 0;
    if (keep > 0) s->GOTO(keep);
  }
  SETTREFFERTEXT();
  CELLSELECT();
}

void TAB_DBFDATEN::SETTREFFERTEXT() {
  const size_t n = ASUCHE.size();
  const size_t i = NTREFFER;
  if (n > 0) {
    form_->FT_TREFFER->setText(QStringLiteral("Treffer ") + QString::number(i) + QStringLiteral(" von ") +
                               QString::number(n));
    form_->PB_DANACH->setEnabled(n > 1 && i < n);
    form_->PB_DAVOR->setEnabled(n > 1 && i > 1);
  } else {
    form_->FT_TREFFER->setText(QStringLiteral("keine Treffer"));
    form_->PB_DANACH->setEnabled(false);
    form_->PB_DAVOR->setEnabled(false);
  }
}

void TAB_DBFDATEN::PB_DANACH() {
  if (NTREFFER >= ASUCHE.size()) return;
  ++NTREFFER;
  if (server()) server()->GOTO(ASUCHE[NTREFFER - 1]);
  SETTREFFERTEXT();
  CELLSELECT();
}

void TAB_DBFDATEN::PB_DAVOR() {
  if (NTREFFER <= 1 || NTREFFER > ASUCHE.size()) return;
  --NTREFFER;
  if (server()) server()->GOTO(ASUCHE[NTREFFER - 1]);
  SETTREFFERTEXT();
  CELLSELECT();
}

void TAB_DBFDATEN::clear_hits() {
  ASUCHE.clear();
  NTREFFER = 0;
  SETTREFFERTEXT();
}

}  // namespace mv
