#include "printing/rptarraydaten.h"

#include <QDate>

namespace mv {

const QColor RPTARRAYDATEN::kGrey(230, 230, 230);

QString list_date_text() { return QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy")); }

RPTARRAYDATEN::RPTARRAYDATEN(std::vector<ArrayColumn> columns, std::vector<QStringList> rows, const QString& title,
                             const QString& section, const ListSettings& ini, const ListedTable& table)
    : AESPALTEN(std::move(columns)),
      AEZEILEN(std::move(rows)),
      CETITEL(title.isEmpty() ? QStringLiteral("Datenliste") : title),
      OESERVER(table) {
  ListOptions defaults;
  defaults.grey_rows = true;
  const ListOptions o = read_list_options(ini, section, defaults);
  NESCHRIFT = o.font;
  LEQUER = false;
  LEGITTER = o.grid;
  LEZEILEGRAU = o.grey_rows;
  LESPALTEGRAU = o.grey_columns;
}

void RPTARRAYDATEN::print(QWidget* owner, bool preview, std::vector<ArrayColumn> columns, std::vector<QStringList> rows,
                          const QString& title, const QString& section, const ListSettings& ini,
                          const ListedTable& table) {
  RPTARRAYDATEN list(std::move(columns), std::move(rows), title, section, ini, table);
  list.run(owner, preview);
}

int RPTARRAYDATEN::PRINTSTART(report::PRINTERDEVICE& d) {
  NEZEILENR = 1;
  COUNTPAGES(d);
  return -1;
}

int RPTARRAYDATEN::PRINTPAGEHEADER(report::PRINTERDEVICE& d, bool draw) {
  RPPRINTER& dev = rp(d);
  record_page_start();
  if (draw) dev.TEXTOUT(0, 0, QStringLiteral(" "));
  dev.PROW(0);
  const QString arial = QStringLiteral("Arial");
  choose_title_font(dev, CETITEL, QStringLiteral("Datum: 31.12.2005"));
  if (draw)
    dev.DRAWTEXT(0, 0, CETITEL, dev.AVGCHARHEIGHT() * NELINEFACTOR, dev.GETTEXTLENGTH(CETITEL) + dev.AVGCHARWIDTH());
  dev.SETFONT(arial, 10);
  const QString date = QStringLiteral("Datum: ") + list_date_text();
  if (draw) {
    const double w = dev.GETTEXTLENGTH(date);
    dev.DRAWTEXT(0, dev.PRINTAREAWIDTH() - w, date, dev.AVGCHARHEIGHT() * NELINEFACTOR, w + dev.AVGCHARWIDTH());
  }
  dev.PROW(3 * dev.AVGCHARHEIGHT());
  dev.SETFONT(arial, NESCHRIFT);
  const double h = dev.AVGCHARHEIGHT() * NELINEFACTOR;
  if (NEPAGE == 1) {
    QString first, second;
    if (CETITEL.startsWith(QLatin1String("St"))) {
      first = QStringLiteral("Total Records: %1 per %2").arg(OESERVER.lastrec).arg(list_date_text());
      second = QStringLiteral("Record size in bytes: %1").arg(OESERVER.recsize);
    } else {
      first = QStringLiteral("Datenbanktreiber: ") + OESERVER.driver;
      second = QStringLiteral("Indexsuffix: ") + OESERVER.index_ext;
    }
    // The cursor moves by the line, drawn or not, so the dry run breaks pages alike.
    double r = dev.PROW();
    if (draw) dev.DRAWTEXT(r, 0, first, h, dev.GETTEXTLENGTH(first) + dev.AVGCHARWIDTH());
    r += dev.AVGCHARHEIGHT();
    if (draw) dev.DRAWTEXT(r, 0, second, h, dev.GETTEXTLENGTH(second) + dev.AVGCHARWIDTH());
    r += 2 * dev.AVGCHARHEIGHT();
    dev.PROW(r);
  }
  dev.SETFONT(arial, NESCHRIFT);
  const double c = dev.AVGCHARWIDTH();
  const double lh = dev.AVGCHARHEIGHT() * NELINEFACTOR;
  dev.SETFONT(arial, NESCHRIFT, true, true);
  const double r = dev.PROW();
  if (draw) draw_column_heads(dev, r, lh, c, AESPALTEN, LEGITTER, 0, kGrey);
  dev.PROW(r + lh);
  return -1;
}

int RPTARRAYDATEN::PRINTPAGEBODY(report::PRINTERDEVICE& d, bool draw) {
  RPPRINTER& dev = rp(d);
  dev.SETFONT(QStringLiteral("Arial"), NESCHRIFT);
  const double h = dev.AVGCHARHEIGHT() * NELINEFACTOR;
  const double c = dev.AVGCHARWIDTH();
  const double avg_h = dev.AVGCHARHEIGHT();
  const double length = dev.PRINTAREALENGTH();
  const double area_w = dev.PRINTAREAWIDTH();
  int k = 0;
  double r = dev.PROW();
  while (NEZEILENR <= AEZEILEN.size()) {
    // The page is full; a page that has no row yet takes one all the same, so heads
    // that fill the page cannot keep the list from ending.
    if (r + avg_h >= length && k > 0) {
      dev.PROW(r);
      return -1;
    }
    if (draw) {
      const QStringList& row = AEZEILEN[NEZEILENR - 1];
      double x = 0;
      for (size_t j = 0; j < AESPALTEN.size(); ++j) {
        const ArrayColumn& col = AESPALTEN[j];
        const QString text = j < size_t(row.size()) ? row[qsizetype(j)] : QString();
        const double w = col.width * c;
        const bool grey = (LEZEILEGRAU && k % 2 == 1) || (LESPALTEGRAU && j % 2 == 0);
        if (grey)
          dev.DRAWTEXT(r, x + c / 2, text, h, w, col.align, kGrey);
        else
          dev.DRAWTEXT(r, x + c / 2, text, h, w, col.align);
        if (LEGITTER) dev.DRAWRECTANGLE(r, x, r + h, x + w + c, 0, 0, Qt::black, -2);
        x += w + c;
        if (x > area_w) break;
      }
    }
    r += h;
    ++k;
    ++NEZEILENR;
  }
  dev.PROW(r);
  return -2;
}

int RPTARRAYDATEN::PRINTEND(report::PRINTERDEVICE&) {
  AESPALTEN.clear();
  AEZEILEN.clear();
  return -1;
}

}  // namespace mv
