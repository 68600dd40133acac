#include "calendar/core/report/rptstandard.h"

#include "platform/report/wait_cursor.h"
#include "printing/rptarraydaten.h"
#include "printing/rptstandard.h"

namespace mv::kalender {
namespace {

// Tenths of a millimetre; the landscape list leaves room at the top for punching.
constexpr PageMargins kLandscape{200, 120, 150, 100};
constexpr PageMargins kPortrait{100, 100, 150, 100};

const QString kArial = QStringLiteral("Arial");

// A line's box is as wide as its text, whichever measure is wider, so no title is cut.
double line_width(RPPRINTER& dev, const QString& text) {
  return std::max(dev.GETTEXTLENGTH(text), dev.AVGCHARWIDTH() * double(text.size()));
}

// Calls `draw_cell(entry, x, w)` for the cells of a row side by side from `start_column`
// (inches), each `entry.width` tenths of a millimetre wide.
template <class Entry, class DrawCell>
void each_cell(const std::vector<Entry>& entries, double start_column, double units_per_inch, DrawCell&& draw_cell) {
  double x = start_column, sum = 0;
  for (const Entry& e : entries) {
    const double w = e.width / units_per_inch;
    draw_cell(e, x, w);
    sum += w;
    x = start_column + sum;
  }
}

}  // namespace

const QColor RPTSTANDARD::kLightGrey(230, 230, 230);

bool reads_as_zero(const QString& text) {
  qsizetype i = 0;
  const qsizetype n = text.size();
  while (i < n && text[i].isSpace()) ++i;
  if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) ++i;
  // The number runs over digits, thousands dots and the decimal comma; a text that does
  // not start with one reads as 0, as the runtime's VAL reads it.
  for (; i < n; ++i) {
    const QChar c = text[i];
    if (c >= QLatin1Char('1') && c <= QLatin1Char('9')) return false;
    if (c != QLatin1Char('0') && c != QLatin1Char('.') && c != QLatin1Char(',')) break;
  }
  return true;
}

void RPTSTANDARD::INIT(QWidget* owner, bool preview, bool landscape, const QString& job, bool print_dialog) {
  report::begin_wait_cursor();
  NELINEFACTOR = 1.2;
  NEUNITSPERINCH = 254.0;
  APAGESTARTS.clear();
  run_list_job(this, owner, NEUNITSPERINCH, landscape ? kLandscape : kPortrait, preview, landscape, job, print_dialog);
}

double RPTSTANDARD::footer_row(RPPRINTER& dev) const {
  dev.SETFONT(kArial, 10, false, false, false);
  return dev.PRINTAREALENGTH() - dev.AVGCHARHEIGHT() / 3;
}

int RPTSTANDARD::PRINTPAGEFOOTER(report::PRINTERDEVICE& d) {
  RPPRINTER& dev = rp(d);
  const double row = footer_row(dev);
  const QString text = QStringLiteral("Seite: %1 von %2").arg(dev.CURRENTPAGENUMBER()).arg(NEPAGES);
  const double width = dev.GETTEXTLENGTH(text);
  dev.DRAWTEXT(row, dev.PRINTAREAWIDTH() - width, text, std::nullopt,
               std::max(width, dev.AVGCHARWIDTH() * double(text.size())));
  return -1;
}

RPTSTANDARD& RPTSTANDARD::DRAWMEMOTEXT(RPPRINTER& dev, bool draw, QString text, double column) {
  column /= NEUNITSPERINCH;
  const double line = dev.AVGCHARHEIGHT() * NELINEFACTOR;
  double row = dev.PROW();
  const QString crlf = QStringLiteral("\r\n");
  while (!text.trimmed().isEmpty()) {
    const qsizetype at = text.indexOf(crlf);
    if (at >= 0) {
      if (draw) dev.DRAWTEXT(row, column, text.left(at), line, line_width(dev, text.left(at)));
      text.remove(0, at + 2);
    } else {
      if (draw) dev.DRAWTEXT(row, column, text, line, line_width(dev, text));
      text.clear();
    }
    row += line;
  }
  dev.PROW(row);
  return *this;
}

RPTSTANDARD& RPTSTANDARD::DRAWKOPFZEILE(RPPRINTER& dev, bool draw, const std::vector<KopfEntry>& entries, double height,
                                        double start_column) {
  if (!draw) return *this;
  if (height <= 0) height = dev.AVGCHARHEIGHT() * NELINEFACTOR;
  const double row = dev.PROW();
  const double indent = 10 / NEUNITSPERINCH;
  each_cell(entries, start_column, NEUNITSPERINCH, [&](const KopfEntry& e, double x, double w) {
    if (e.framed) dev.DRAWRECTANGLE(row, x, row + height, x + w, 1, 0, Qt::black, -1, kLightGrey);
    dev.DRAWTEXT(row, x + indent, e.caption, height);
  });
  dev.PROW(row);
  return *this;
}

RPTSTANDARD& RPTSTANDARD::DRAWARRAYDZ(RPPRINTER& dev, bool draw, const std::vector<ZellEntry>& entries, double height,
                                      double start_column) {
  if (!draw) return *this;
  if (height <= 0) height = dev.AVGCHARHEIGHT() * NELINEFACTOR;
  const double row = dev.PROW();
  const double indent = 10 / NEUNITSPERINCH;
  each_cell(entries, start_column, NEUNITSPERINCH, [&](const ZellEntry& e, double x, double w) {
    if (e.framed) {
      if (e.grey)
        dev.DRAWRECTANGLE(row, x, row + height, x + w, 1, 0, Qt::black, -1, kLightGrey);
      else
        dev.DRAWRECTANGLE(row, x, row + height, x + w, 1, 0, Qt::black, -2);
    }
    const QString trimmed = e.text.trimmed();
    const bool number_like = e.align == 2 && !(e.text.size() > 0 && e.text[0].isLetter()) && reads_as_zero(e.text);
    const bool blank = trimmed == QLatin1String(".  .") ||
                       (number_like && (e.text.contains(QLatin1Char(',')) || trimmed.size() < 2));
    if (!blank) dev.DRAWTEXT(row, x + indent, e.text, height, w - indent, e.align);
  });
  dev.PROW(row);
  return *this;
}

RPTSTANDARD& RPTSTANDARD::DRAWLISTENKOPF(RPPRINTER& dev, bool draw, const QString& title, const QString& subtitle) {
  double row = 0;
  dev.SETFONT(kArial, 12, true, false, false);
  if (draw) dev.DRAWTEXT(row, 0, title, dev.AVGCHARHEIGHT() * NELINEFACTOR, line_width(dev, title));
  dev.SETFONT(kArial, 10, false, false, false);
  const QString date = QStringLiteral("Datum: ") + list_date_text();
  if (draw)
    dev.DRAWTEXT(row, dev.PRINTAREAWIDTH() - dev.GETTEXTLENGTH(date), date, dev.AVGCHARHEIGHT() * NELINEFACTOR,
                 line_width(dev, date));
  row = dev.AVGCHARHEIGHT() * NELINEFACTOR;
  dev.SETFONT(kArial, 10, false, false, false);
  if (draw) dev.DRAWTEXT(row, 0, subtitle, dev.AVGCHARHEIGHT() * NELINEFACTOR, line_width(dev, subtitle));
  dev.PROW(row + 2 * dev.AVGCHARHEIGHT());
  return *this;
}

RPTSTANDARD& RPTSTANDARD::PRINTLISTENKOPF(RPPRINTER& dev, bool draw, const QString& title, const QString& subtitle) {
  double row = 0;
  dev.SETFONT(kArial, 12, true, false, false);
  if (draw) dev.DRAWTEXT(row, 0, title, dev.AVGCHARHEIGHT() * NELINEFACTOR, line_width(dev, title));
  row = dev.AVGCHARHEIGHT() * NELINEFACTOR;
  dev.SETFONT(kArial, 10, false, false, false);
  if (draw) {
    const double line = dev.AVGCHARHEIGHT() * NELINEFACTOR;
    dev.DRAWTEXT(row, 0, subtitle, line, line_width(dev, subtitle));
    const QString date = QStringLiteral("Datum: ") + list_date_text();
    dev.DRAWTEXT(row, dev.PRINTAREAWIDTH() - dev.GETTEXTLENGTH(date), date, line, line_width(dev, date));
  }
  dev.PROW(row + 2 * dev.AVGCHARHEIGHT());
  return *this;
}

}  // namespace mv::kalender
