#include "printing/rptdbfdaten.h"

#include <QDate>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

#include "platform/base/codepage.h"
#include "platform/grid/griddbserver.h"
#include "platform/runtime/strings.h"
#include "platform/table/dbf_format.h"
#include "platform/table/table.h"
#include "printing/rptarraydaten.h"

namespace mv {

const QColor RPTDBFDATEN::kGrey(230, 230, 230);

namespace {
std::function<bool(const RecordListRun&)>& list_hook() {
  static std::function<bool(const RecordListRun&)> hook;
  return hook;
}
}  // namespace

void set_record_list_hook(std::function<bool(const RecordListRun&)> hook) { list_hook() = std::move(hook); }

QString list_cell_text(Table& table, int position, bool* numeric) {
  if (numeric) *numeric = false;
  if (position < 1 || size_t(position) > table.fcount()) return {};
  const FieldInfo& f = table.field(position);
  auto v = table.field_get(position);
  if (!v) return {};
  switch (v->type) {
    case ValueType::Numeric:
      if (numeric) *numeric = true;
      return QString::fromStdString(str_transform(*v, {}));
    case ValueType::Date:
      if (v->date.empty()) return {};
      return QDate(v->date.year(), v->date.month(), v->date.day()).toString(QStringLiteral("dd.MM.yyyy"));
    case ValueType::Logical:
      return v->logical ? QStringLiteral("T") : QStringLiteral("F");
    case ValueType::Character: {
      QString s = QString::fromStdString(cp_to_utf8(table.code_page(), v->str));
      if (dbf::is_memo_type(f.type, f.length, table.version())) {
        // A memo cell shows the first line of its text.
        const qsizetype end = s.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
        if (end >= 0) s.truncate(end);
      }
      return s;
    }
    default:
      return {};
  }
}

RPTDBFDATEN::RPTDBFDATEN(grid::GRIDDBSERVER& server, Arguments args) : OESERVER(&server) {
  Table& t = table();
  if (args.columns) {
    AESPALTEN = std::move(*args.columns);
  } else {
    for (size_t i = 1; i <= t.fcount(); ++i) AESPALTEN.push_back({int(i), QString(), 0});
  }
  CETITEL = args.title ? *args.title : QFileInfo(QString::fromStdString(t.path())).completeBaseName().toUpper();
  CEZUSATZ = args.extra;
  NESCHRIFT = args.font > 0 ? args.font : 10;
  LEQUER = args.landscape;
  LEGITTER = args.grid;
  LEZEILEGRAU = args.grey_rows;
  LESPALTEGRAU = args.grey_columns;
  SETFELDER();
}

void RPTDBFDATEN::print(QWidget* owner, bool preview, grid::GRIDDBSERVER& server, Arguments args) {
  if (!server.table() || !server.table()->is_open()) return;
  if (list_hook() && !list_hook()({preview, server.table()->recno(), args})) return;
  RPTDBFDATEN list(server, std::move(args));
  list.run(owner, preview);
}

Table& RPTDBFDATEN::table() const { return *OESERVER->table(); }

bool RPTDBFDATEN::is_del_column(const ReportColumn& c) const {
  return c.position == 0 && c.heading.trimmed().toUpper() == QLatin1String("DEL");
}

QString RPTDBFDATEN::cell(const ReportColumn& c, bool* numeric) const {
  if (c.position > 0) return list_cell_text(table(), c.position, numeric);
  if (is_del_column(c)) {
    if (numeric) *numeric = false;
    return table().deleted() ? QStringLiteral("*") : QStringLiteral(" ");
  }
  if (numeric) *numeric = true;
  return QString::number(table().recno());
}

RPTDBFDATEN& RPTDBFDATEN::SETFELDER() {
  Table& t = table();
  for (ReportColumn& c : AESPALTEN) {
    if (c.heading.isEmpty()) {
      // A pseudo column without heading is the record-number column.
      c.heading = c.position > 0 && size_t(c.position) <= t.fcount() ? QString::fromStdString(t.field(c.position).name)
                                                                     : QStringLiteral("SATZNR");
    }
    // Cells cannot run backwards: a negative width counts as none.
    if (c.width < 0) c.width = 0;
    if (c.width == 0) {
      const QString value = t.eof() ? QString() : cell(c, nullptr);
      c.width = double(std::max(c.heading.size(), value.size()));
    }
  }
  return *this;
}

RPTDBFDATEN& RPTDBFDATEN::ANPASSEN(report::PRINTERDEVICE& d) {
  RPPRINTER& dev = rp(d);
  dev.SETFONT(QStringLiteral("Arial"), NESCHRIFT, false, false, false);
  const double w = dev.AVGCHARWIDTH();
  if (w <= 0) return *this;
  const double limit = dev.PRINTAREAWIDTH() - 3 * w;
  double sum = 0, fitting = 0;
  for (ReportColumn& c : AESPALTEN) {
    sum += c.width * w + w;
    if (sum < limit) {
      fitting = sum;
      continue;
    }
    // The first column that does not fit ends at the right edge of the print area.
    c.width = (dev.PRINTAREAWIDTH() - fitting) / w;
    break;
  }
  return *this;
}

int RPTDBFDATEN::PRINTSTART(report::PRINTERDEVICE& d) {
  OESERVER->SUSPENDNOTIFICATION();
  NERECNO = table().recno();
  total_ = table().lastrec();
  ANPASSEN(d);
  COUNTPAGES(d);
  return -1;
}

void RPTDBFDATEN::rewind() {
  // The list starts where the caller put the table, also in a second dry run.
  table().go_to(NERECNO).ignore();
  NEZEILE = 0;
}

bool RPTDBFDATEN::rows_remain() const { return !table().eof(); }

std::vector<int64_t> RPTDBFDATEN::position() const { return {int64_t(table().recno()), int64_t(NEZEILE)}; }

void RPTDBFDATEN::position_at(const std::vector<int64_t>& e) {
  if (e.size() < 2) return;
  table().go_to(uint32_t(e[0])).ignore();
  NEZEILE = uint64_t(e[1]);
}

std::pair<uint64_t, uint64_t> RPTDBFDATEN::progress() const { return {NEZEILE, std::max<uint64_t>(total_, NEZEILE)}; }

int RPTDBFDATEN::PRINTPAGEHEADER(report::PRINTERDEVICE& d, bool draw) {
  RPPRINTER& dev = rp(d);
  record_page_start();
  if (draw) dev.TEXTOUT(0, 0, QStringLiteral(" "));
  dev.PROW(0);
  const QString arial = QStringLiteral("Arial");
  choose_title_font(dev, CETITEL, QStringLiteral("  Datum: 31.12.2005"));
  if (draw)
    dev.DRAWTEXT(0, 0, CETITEL, dev.AVGCHARHEIGHT() * NELINEFACTOR, dev.GETTEXTLENGTH(CETITEL) + dev.AVGCHARWIDTH());
  double y = (CEZUSATZ.isEmpty() ? 2 : 1) * dev.AVGCHARHEIGHT();
  dev.SETFONT(arial, 10);
  const double h10 = dev.AVGCHARHEIGHT() * NELINEFACTOR;
  if (draw) {
    const QString date = QStringLiteral("Datum: ") + list_date_text();
    const double w = dev.GETTEXTLENGTH(date);
    dev.DRAWTEXT(0, dev.PRINTAREAWIDTH() - w, date, h10, w + dev.AVGCHARWIDTH());
  }
  if (!CEZUSATZ.isEmpty()) {
    if (draw) dev.DRAWTEXT(y, 0, CEZUSATZ, h10, dev.GETTEXTLENGTH(CEZUSATZ) + dev.AVGCHARWIDTH());
    y += 2 * dev.AVGCHARHEIGHT();
  }
  dev.SETFONT(arial, NESCHRIFT);
  const double w = dev.AVGCHARWIDTH();
  const double h = dev.AVGCHARHEIGHT() * NELINEFACTOR;
  dev.SETFONT(arial, NESCHRIFT, true, true);
  if (draw) draw_column_heads(dev, y, h, w, AESPALTEN, LEGITTER, 1, kGrey);
  dev.PROW(y + h);
  return -1;
}

int RPTDBFDATEN::PRINTPAGEBODY(report::PRINTERDEVICE& d, bool draw) {
  RPPRINTER& dev = rp(d);
  Table& t = table();
  dev.SETFONT(QStringLiteral("Arial"), NESCHRIFT);
  const double h = dev.AVGCHARHEIGHT() * NELINEFACTOR;
  const double w = dev.AVGCHARWIDTH();
  const double bottom = dev.PRINTAREALENGTH() - h;
  const double area_w = dev.PRINTAREAWIDTH();
  int k = 0;
  // A page whose heads leave no room still takes one line, so the list always ends.
  while (!t.eof() && (dev.PROW() <= bottom || k == 0)) {
    const double y = dev.PROW();
    if (draw) {
      double x = 0;
      for (size_t i = 0; i < AESPALTEN.size(); ++i) {
        const ReportColumn& c = AESPALTEN[i];
        bool numeric = false;
        const QString text = cell(c, &numeric);
        const double cw = c.width * w;
        const int align = numeric ? 2 : 0;
        if ((LEZEILEGRAU && k % 2 == 1) || (LESPALTEGRAU && i % 2 == 0))
          dev.DRAWTEXT(y, x + w / 2, text, h, cw, align, kGrey);
        else
          dev.DRAWTEXT(y, x + w / 2, text, h, cw, align);
        if (LEGITTER) dev.DRAWRECTANGLE(y, x, y + h, x + cw + w, 0, 0, Qt::black, -2);
        x += cw + w;
        if (x > area_w) break;
      }
    }
    dev.PROW(y + h);
    ++k;
    ++NEZEILE;
    if (NEMAXSATZ > 0 && NEZEILE >= NEMAXSATZ) t.go_bottom().ignore();
    // A record that cannot be read ends the list instead of repeating it.
    if (!t.skip(1).is_ok()) {
      t.go_to(t.lastrec() + 1).ignore();
      break;
    }
  }
  return t.eof() ? -2 : -1;
}

int RPTDBFDATEN::PRINTEND(report::PRINTERDEVICE&) {
  table().go_to(NERECNO).ignore();
  if (NERECNO >= 1 && NERECNO <= table().lastrec()) OESERVER->GOTO(NERECNO);
  OESERVER->RESETNOTIFICATION();
  return -1;
}

}  // namespace mv
