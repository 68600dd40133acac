#pragma once
// The grid list report: prints the rows of a calendar page's grid (the holiday list, the
// appointment lists) as a paged list with a title block, a grey heading row and one line
// per row. It reads the rows and the column definitions from the grid's array server,
// sizes each column by its definition (narrowed to its content when the list is too wide
// for the page), formats numbers with thousands separators, centres dates and shades
// every second row.
//
// Use: creating the object runs the whole job (the preview, or the print after the print
// dialog); the grid's current row is the same afterwards however the job ended:
//
//   kalender::RPTGRIDARRAYSERVER(page, true, grid, title, subtitle, 9, landscape, false, true, false);
//
// The server's column definitions come from GRIDARRAYSERVER::set_structure (name, type
// letter, length, decimals); a server without them is sized by its field names and
// types at ten characters a column. Columns of type "O" and the column "DBSatz" (any
// case) are not printed.
#include <QString>
#include <QVariant>
#include <cstdint>
#include <vector>

#include "calendar/core/report/rptstandard.h"
#include "platform/grid/gridserver.h"

namespace mv::grid {
class GRIDBROWSER;
}

namespace mv::kalender {

class RPTGRIDARRAYSERVER : public RPTSTANDARD {
 public:
  // Runs the whole job. A null title takes "Datenliste", a font size below 1 takes 10.
  RPTGRIDARRAYSERVER(QWidget* owner, bool preview, grid::GRIDBROWSER* grid,
                     const QString& title = QStringLiteral("Datenliste"), const QString& subtitle = QString(),
                     int font_size = 10, bool landscape = false, bool frames = false, bool grey_rows = true,
                     bool grey_columns = false, std::vector<QVariantList> sums = {});

  // Only takes the grid and the settings; the caller drives a device of its own (tests).
  struct Prepared {};
  RPTGRIDARRAYSERVER(Prepared, grid::GRIDBROWSER* grid, const QString& title = QStringLiteral("Datenliste"),
                     const QString& subtitle = QString(), int font_size = 10, bool frames = false,
                     bool grey_rows = true, bool grey_columns = false, std::vector<QVariantList> sums = {});
  ~RPTGRIDARRAYSERVER() override;

  std::vector<grid::ArrayField> ADBSTRUCT;
  // Column widths in inches, one per column of ADBSTRUCT.
  std::vector<double> ABREITEN;
  // The next row to print (1-based); the server's position while the job runs.
  uint32_t NEZEILE = 1;
  // The server's record number before the job (0: it had none).
  uint32_t NERECNO = 0;
  grid::GRIDBROWSER* OBROWSE = nullptr;
  grid::GRIDARRAYSERVER* OSERVER = nullptr;
  QString CTITEL;
  QString CUNTERTITEL;
  uint32_t NESCHRIFT = 10;

  int PRINTSTART(report::PRINTERDEVICE& device) override;
  void COUNTPAGES(report::PRINTERDEVICE& device) override;
  int PRINTSETPAGE(report::PRINTERDEVICE& device, int page) override;
  int PRINTPAGEHEADER(report::PRINTERDEVICE& device, bool draw) override;
  RPTGRIDARRAYSERVER& PRINTHEADERKOPFZEILE(report::PRINTERDEVICE& device, bool draw);
  int PRINTPAGEBODY(report::PRINTERDEVICE& device, bool draw) override;
  int PRINTPAGESUMME(report::PRINTERDEVICE& device, bool draw);
  int PRINTEND(report::PRINTERDEVICE& device) override;
  // Whether the columns are too wide for the print area.
  bool TESTANPASSEN(report::PRINTERDEVICE& device);
  // Narrows the columns towards their content until the list fits.
  RPTGRIDARRAYSERVER& SPALTEANPASSENMIN(report::PRINTERDEVICE& device);

  // Whether the list could be made at all (a grid with an array server).
  bool valid() const { return OSERVER != nullptr; }

  // A value as its cell shows it: the text and the DRAWTEXT alignment (0 left, 1 centred,
  // 2 right); objects give no text.
  struct Cell {
    QString text;
    int align = 0;
    bool number = false;
    bool date = false;
  };
  static Cell format_cell(const QVariant& value, int decimals);

 private:
  void take(grid::GRIDBROWSER* grid, const QString& title, const QString& subtitle, int font_size, bool frames,
            bool grey_rows, bool grey_columns, std::vector<QVariantList> sums);
  // Puts the server back on the row it had and lets it speak to its grid again.
  void restore_server();
  bool at_end() const;
  bool skipped(size_t column) const;
  double width(size_t column) const { return column < ABREITEN.size() ? ABREITEN[column] : 0; }
  QVariant value(size_t column) const;
  // The measures of the bold heading and sums rows: the column gap (a character of the
  // plain font), the row height, the print row and the width of the print area. Leaves the
  // bold font selected.
  struct BoldRow {
    double gap, height, row, area;
  };
  BoldRow bold_row(RPPRINTER& dev) const;

  bool was_suspended_ = false;
  bool restored_ = true;
};

}  // namespace mv::kalender
