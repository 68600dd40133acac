#include "calendar/core/report/rptgridarrayserver.h"

#include <QDate>
#include <QSet>
#include <algorithm>

#include "platform/grid/gridbrowser.h"
#include "platform/gui/messagebox.h"
#include "platform/runtime/date.h"
#include "platform/runtime/strings.h"
#include "platform/runtime/value.h"

namespace mv::kalender {
namespace {

const QString kArial = QStringLiteral("Arial");
// The sums row's own shade, a step darker than the grey rows.
const QColor kSumGrey(200, 200, 200);

bool is_number(const QVariant& v) {
  switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float:
      return true;
    default:
      return false;
  }
}

// The sums row is printed when its first value holds something (a 0 counts as nothing).
bool holds_something(const QVariant& v) {
  if (!v.isValid() || v.isNull()) return false;
  if (is_number(v)) return v.toDouble() != 0;
  if (v.typeId() == QMetaType::QDate) return v.toDate().isValid();
  if (v.typeId() == QMetaType::Bool) return v.toBool();
  if (v.typeId() == QMetaType::QString) return !v.toString().trimmed().isEmpty();
  return true;
}

// A number's box: from the left of the cell ending half a character before its right
// edge, or right-aligned in the cell when the device exports.
void draw_number(RPPRINTER& dev, bool exporting, double r, double x, double w, double c, double l,
                 const QString& text) {
  if (exporting) {
    dev.DRAWTEXT(r, x + c / 2, text, l, w, 2);
  } else {
    const double len = dev.GETTEXTLENGTH(text);
    dev.DRAWTEXT(r, x - c / 2 + w - len, text, l, std::max(len, dev.AVGCHARWIDTH() * double(text.size())));
  }
}

}  // namespace

RPTGRIDARRAYSERVER::RPTGRIDARRAYSERVER(QWidget* owner, bool preview, grid::GRIDBROWSER* grid, const QString& title,
                                       const QString& subtitle, int font_size, bool landscape, bool frames,
                                       bool grey_rows, bool grey_columns, std::vector<QVariantList> sums) {
  take(grid, title, subtitle, font_size, frames, grey_rows, grey_columns, std::move(sums));
  if (!valid()) {
    // Only a grid over an array of rows can be printed this way.
    gui::warning_box(owner, QStringLiteral("Achtung"), QStringLiteral("Diese Liste kann nicht gedruckt werden!"));
    return;
  }
  INIT(owner, preview, landscape);
  restore_server();
}

RPTGRIDARRAYSERVER::RPTGRIDARRAYSERVER(Prepared, grid::GRIDBROWSER* grid, const QString& title,
                                       const QString& subtitle, int font_size, bool frames, bool grey_rows,
                                       bool grey_columns, std::vector<QVariantList> sums) {
  take(grid, title, subtitle, font_size, frames, grey_rows, grey_columns, std::move(sums));
  NELINEFACTOR = 1.2;
  NEUNITSPERINCH = 254.0;
}

RPTGRIDARRAYSERVER::~RPTGRIDARRAYSERVER() { restore_server(); }

void RPTGRIDARRAYSERVER::take(grid::GRIDBROWSER* grid, const QString& title, const QString& subtitle, int font_size,
                              bool frames, bool grey_rows, bool grey_columns, std::vector<QVariantList> sums) {
  OBROWSE = grid;
  OSERVER = grid ? qobject_cast<grid::GRIDARRAYSERVER*>(grid->server()) : nullptr;
  if (OSERVER) {
    NERECNO = OSERVER->current_row() >= 0 ? OSERVER->recno(OSERVER->current_row()) : 0;
    // The grid goes on showing its row while the report walks the server.
    was_suspended_ = OSERVER->notifications_suspended();
    OSERVER->suspend_notifications(true);
    restored_ = false;
    OSERVER->GOTOP();
    ADBSTRUCT = OSERVER->structure();
    if (ADBSTRUCT.empty()) {
      for (int pos = 1; pos <= OSERVER->field_count(); ++pos)
        ADBSTRUCT.push_back({OSERVER->field_name(pos), OSERVER->field_type(pos), OSERVER->field_length(pos), 0});
    }
  }
  ASUMMEN = std::move(sums);
  CTITEL = title.isNull() ? QStringLiteral("Datenliste") : title;
  CUNTERTITEL = subtitle;
  LEGITTER = frames;
  NESCHRIFT = uint32_t(font_size >= 1 ? font_size : 10);
  LEZEILEGRAU = grey_rows;
  LESPALTEGRAU = grey_columns;
}

void RPTGRIDARRAYSERVER::restore_server() {
  if (restored_ || !OSERVER) return;
  restored_ = true;
  if (NERECNO > 0) OSERVER->GOTO(NERECNO);
  OSERVER->suspend_notifications(was_suspended_);
}

bool RPTGRIDARRAYSERVER::at_end() const { return !OSERVER || NEZEILE > uint32_t(OSERVER->rows().size()); }

bool RPTGRIDARRAYSERVER::skipped(size_t column) const {
  const grid::ArrayField& f = ADBSTRUCT[column];
  return f.type == 'O' || f.name.compare(QLatin1String("DBSATZ"), Qt::CaseInsensitive) == 0;
}

QVariant RPTGRIDARRAYSERVER::value(size_t column) const {
  return OSERVER ? OSERVER->value(int(NEZEILE) - 1, int(column) + 1) : QVariant();
}

RPTGRIDARRAYSERVER::Cell RPTGRIDARRAYSERVER::format_cell(const QVariant& v, int decimals) {
  Cell cell;
  if (!v.isValid() || v.isNull()) {
    if (v.typeId() == QMetaType::QDate) {
      cell.text = QString::fromLatin1(dtoc(Date()));
      cell.align = 1;
      cell.date = true;
    }
    return cell;
  }
  if (is_number(v)) {
    std::string picture = "999,999,999";
    if (decimals > 0) picture += "." + std::string(size_t(decimals), '9');
    const std::string s = str_transform(Value::numeric(v.toDouble(), 0, std::max(0, decimals)), picture);
    cell.text = QString::fromLatin1(s).trimmed();
    cell.align = 2;
    cell.number = true;
    return cell;
  }
  switch (v.typeId()) {
    case QMetaType::QDate: {
      const QDate d = v.toDate();
      cell.text = QString::fromLatin1(dtoc(d.isValid() ? Date::from_ymd(d.year(), d.month(), d.day()) : Date()));
      cell.align = 1;
      cell.date = true;
      return cell;
    }
    case QMetaType::Bool:
      cell.text = v.toBool() ? QStringLiteral(".T.") : QStringLiteral(".F.");
      return cell;
    case QMetaType::QString:
      cell.text = v.toString();
      return cell;
    default:
      break;
  }
  // Anything a text can be made of is printed as that text; other objects stay blank.
  if (v.canConvert<QString>()) cell.text = v.toString();
  return cell;
}

int RPTGRIDARRAYSERVER::PRINTSTART(report::PRINTERDEVICE& d) {
  RPPRINTER& dev = rp(d);
  NEZEILE = 1;
  // Before the widths exist: the rows' heights alone decide the pages.
  ABREITEN.clear();
  COUNTPAGES(d);
  dev.SETFONT(kArial, NESCHRIFT, false, false, false);
  const double c = dev.AVGCHARWIDTH();
  for (const grid::ArrayField& f : ADBSTRUCT) ABREITEN.push_back(std::max(int(f.name.size()) + 1, f.length) * c);
  if (TESTANPASSEN(d)) SPALTEANPASSENMIN(d);
  NEZEILE = 1;
  return -1;
}

void RPTGRIDARRAYSERVER::COUNTPAGES(report::PRINTERDEVICE& d) {
  NEPAGE = 0;
  NEPAGES = 0;
  APAGESTARTS.clear();
  const uint32_t kept = NEZEILE;
  const uint64_t rows = OSERVER ? uint64_t(OSERVER->rows().size()) : 0;
  NEZEILE = 1;
  // An empty list still has its page: title, headings and "Seite: 1 von 1".
  for (;;) {
    ++NEPAGE;
    ++NEPAGES;
    PRINTPAGEHEADER(d, false);
    const int body = PRINTPAGEBODY(d, false);
    if (!d.dry_run_step(NEZEILE - 1, rows)) break;
    if (body != -1) break;
  }
  NEZEILE = kept;
}

int RPTGRIDARRAYSERVER::PRINTSETPAGE(report::PRINTERDEVICE&, int page) {
  if (APAGESTARTS.empty()) return int(NEPAGE);
  const int entries = int(APAGESTARTS.size());
  const int n = page == report::kLastPage ? entries : std::clamp(page, 1, entries);
  NEPAGE = uint32_t(n);
  NEZEILE = uint32_t(APAGESTARTS[size_t(n - 1)][0]);
  return int(NEPAGE);
}

int RPTGRIDARRAYSERVER::PRINTPAGEHEADER(report::PRINTERDEVICE& d, bool draw) {
  RPPRINTER& dev = rp(d);
  LEEXPORT = !dev.OEXPORT.isEmpty();
  if (NEPAGE > APAGESTARTS.size()) APAGESTARTS.push_back({int64_t(NEZEILE)});
  if (draw) dev.TEXTOUT(0, 0, QStringLiteral(" "));
  PRINTLISTENKOPF(dev, draw, CTITEL, CUNTERTITEL);
  PRINTHEADERKOPFZEILE(d, draw);
  return -1;
}

RPTGRIDARRAYSERVER::BoldRow RPTGRIDARRAYSERVER::bold_row(RPPRINTER& dev) const {
  dev.SETFONT(kArial, NESCHRIFT, false, false, false);
  const double gap = dev.AVGCHARWIDTH();
  dev.SETFONT(kArial, NESCHRIFT, true, true, false);
  return {gap, dev.AVGCHARHEIGHT() * NELINEFACTOR, dev.PROW(), dev.PRINTAREAWIDTH()};
}

RPTGRIDARRAYSERVER& RPTGRIDARRAYSERVER::PRINTHEADERKOPFZEILE(report::PRINTERDEVICE& d, bool draw) {
  RPPRINTER& dev = rp(d);
  const auto [c, l, r, area] = bold_row(dev);
  double x = 0;
  for (size_t i = 0; i < ADBSTRUCT.size(); ++i) {
    if (skipped(i)) continue;
    const double w = width(i);
    if (draw) {
      if (LEGITTER) {
        dev.DRAWRECTANGLE(r, x, r + l, x + w + c, 0, 0, Qt::black, -1, kLightGrey);
        dev.DRAWTEXT(r, x, ADBSTRUCT[i].name, l, w, 1);
      } else {
        dev.DRAWTEXT(r, x, ADBSTRUCT[i].name, l, w, 1, kLightGrey);
      }
    }
    x += w + c;
    if (x > area) break;
  }
  dev.PROW(r + l);
  return *this;
}

int RPTGRIDARRAYSERVER::PRINTPAGEBODY(report::PRINTERDEVICE& d, bool draw) {
  RPPRINTER& dev = rp(d);
  // Rows end above the footer, so the two never overprint.
  const double footer = footer_row(dev);
  dev.SETFONT(kArial, NESCHRIFT, false, false, false);
  const double l = dev.AVGCHARHEIGHT() * NELINEFACTOR;
  const double last_start = footer - l;
  const double c = dev.AVGCHARWIDTH();
  const double area = dev.PRINTAREAWIDTH();
  if (NEPAGE == 1) NEZEILE = 1;
  double r = dev.PROW();
  uint32_t k = 0;
  // A page whose head leaves no room takes one row all the same, so the list always ends.
  while (!at_end() && (r <= last_start || k == 0)) {
    if (draw) {
      double x = 0;
      for (size_t i = 0; i < ADBSTRUCT.size(); ++i) {
        if (skipped(i)) continue;
        const Cell cell = format_cell(value(i), ADBSTRUCT[i].decimals);
        const double w = width(i);
        // The grey ground of the cell: the box an empty text on that background fills,
        // without an outline of the same grey (a long list is a page of these).
        if ((LEZEILEGRAU && k % 2 == 1) || (LESPALTEGRAU && i % 2 == 0))
          dev.DRAWRECTANGLE(r, x, r + l, x + w, 1, 5, kLightGrey, -1, kLightGrey);
        if (!cell.text.isEmpty()) {
          if (cell.number)
            draw_number(dev, LEEXPORT, r, x, w, c, l, cell.text);
          else if (cell.date)
            dev.DRAWTEXT(r, x, cell.text, l, w, 1);
          else
            dev.DRAWTEXT(r, x + c / 2, cell.text, l, w, 0);
        }
        if (LEGITTER) dev.DRAWRECTANGLE(r, x, r + l, x + w + c, 0, 0, Qt::black, -2);
        x += w + c;
        if (x > area) break;
      }
    }
    r += l;
    ++k;
    ++NEZEILE;
  }
  dev.PROW(r);
  if (at_end() && !ASUMMEN.empty() && !ASUMMEN.front().isEmpty() && holds_something(ASUMMEN.front().front())) {
    // No room left under the last row: the sums go on a page of their own.
    if (r > last_start && k > 0) return -1;
    PRINTPAGESUMME(d, draw);
  }
  return at_end() ? -2 : -1;
}

int RPTGRIDARRAYSERVER::PRINTPAGESUMME(report::PRINTERDEVICE& d, bool draw) {
  RPPRINTER& dev = rp(d);
  const auto [c, l, r, area] = bold_row(dev);
  const QVariantList& sums = ASUMMEN.front();
  double x = 0;
  for (size_t i = 0; i < ADBSTRUCT.size(); ++i) {
    if (skipped(i)) continue;
    const double w = width(i);
    if (draw) {
      const Cell cell = format_cell(i < size_t(sums.size()) ? sums[qsizetype(i)] : QVariant(), ADBSTRUCT[i].decimals);
      if (LEGITTER)
        dev.DRAWRECTANGLE(r, x, r + l, x + w + c, 0, 0, Qt::black, -1, kLightGrey);
      else
        dev.DRAWTEXT(r, x, QString(), l, w, 0, kSumGrey);
      if (!cell.text.isEmpty()) {
        if (cell.number)
          draw_number(dev, LEEXPORT, r, x, w, c, l, cell.text);
        else
          dev.DRAWTEXT(r, x, cell.text, l, w, cell.date ? 1 : 0);
      }
    }
    x += w + c;
    if (x > area) break;
  }
  dev.PROW(r + l);
  return -2;
}

int RPTGRIDARRAYSERVER::PRINTEND(report::PRINTERDEVICE&) {
  ADBSTRUCT.clear();
  restore_server();
  return -1;
}

bool RPTGRIDARRAYSERVER::TESTANPASSEN(report::PRINTERDEVICE& d) {
  RPPRINTER& dev = rp(d);
  const double c = dev.AVGCHARWIDTH();
  const double area = dev.PRINTAREAWIDTH();
  double sum = 0;
  for (size_t i = 0; i < ADBSTRUCT.size(); ++i) {
    sum += width(i) + c;
    if (sum > area) return true;
  }
  return false;
}

RPTGRIDARRAYSERVER& RPTGRIDARRAYSERVER::SPALTEANPASSENMIN(report::PRINTERDEVICE& d) {
  RPPRINTER& dev = rp(d);
  const double c = dev.AVGCHARWIDTH();
  const double h = c / 2;
  if (h <= 0 || !OSERVER) return *this;
  std::vector<double> content(ADBSTRUCT.size(), 0);
  const auto& rows = OSERVER->rows();
  for (size_t i = 0; i < ADBSTRUCT.size(); ++i) {
    dev.SETFONT(kArial, NESCHRIFT, true, true, false);
    double m = dev.GETTEXTLENGTH(ADBSTRUCT[i].name);
    dev.SETFONT(kArial, NESCHRIFT, false, false, false);
    const int dec = ADBSTRUCT[i].decimals;
    if (!ASUMMEN.empty() && i < size_t(ASUMMEN.front().size()))
      m = std::max(m, dev.GETTEXTLENGTH(format_cell(ASUMMEN.front()[qsizetype(i)], dec).text));
    // Lists repeat their dates, times and group names: each text is measured once.
    QSet<QString> measured;
    for (const QVariantList& row : rows) {
      const qsizetype at = qsizetype(i);
      if (at >= row.size()) continue;
      QString text = format_cell(row[at], dec).text.trimmed();
      if (measured.contains(text)) continue;
      m = std::max(m, dev.GETTEXTLENGTH(text));
      measured.insert(std::move(text));
    }
    content[i] = m;
  }
  for (;;) {
    bool reduced = false;
    for (size_t i = 0; i < ADBSTRUCT.size(); ++i) {
      if (i < ABREITEN.size() && ABREITEN[i] > content[i] + c) {
        ABREITEN[i] -= h;
        reduced = true;
      }
      if (!TESTANPASSEN(d)) return *this;
    }
    if (!reduced) return *this;
  }
}

}  // namespace mv::kalender
