#pragma once
// The base of the calendar's printed lists. Creating a list runs its whole job, as in the
// main program: the base makes the print device (A4, the orientation, margins in tenths of
// a millimetre), then the preview, or the print run after the print dialog, and supplies
// the footer "Seite: n von m". The calendar's footer stands inside the print area, and the
// base offers the drawing helpers its lists are made of: a multi-line text, a heading row,
// a row of cells and two forms of the title block.
#include <QColor>
#include <QString>
#include <QVariantList>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "platform/report/printerdevice.h"
#include "printing/rpprinter.h"

namespace mv::kalender {

// One heading cell: its caption, its width in tenths of a millimetre and whether it gets
// a frame (a framed heading is a light grey box).
struct KopfEntry {
  QString caption;
  double width = 0;
  bool framed = true;
};

// One cell of a data row: text, width in tenths of a millimetre, the DRAWTEXT alignment
// (0 left, 2 right), a frame, and a light grey box instead of the bare frame.
struct ZellEntry {
  QString text;
  double width = 0;
  int align = 0;
  bool framed = true;
  bool grey = false;
};

class RPTSTANDARD : public report::Report {
 public:
  ~RPTSTANDARD() override = default;

  uint32_t NEPAGE = 0;
  uint32_t NEPAGES = 0;
  std::vector<std::vector<int64_t>> APAGESTARTS;
  double NEUNITSPERINCH = 0;
  double NELINEFACTOR = 0;
  // The sums row a list was handed: its first element is one value per column.
  std::vector<QVariantList> ASUMMEN;
  bool LEGITTER = false;
  bool LEZEILEGRAU = false;
  bool LESPALTEGRAU = false;
  // The device writes into an export object (then numbers are placed by alignment).
  bool LEEXPORT = false;

  // Light grey of heading boxes and grey rows; black of frames.
  static const QColor kLightGrey;

  // Runs the job; returns when it has ended.
  void INIT(QWidget* owner, bool preview = true, bool landscape = false, const QString& job = QStringLiteral("Report"),
            bool print_dialog = true);

  uint32_t page_total() const override { return NEPAGES; }
  int PRINTPAGEFOOTER(report::PRINTERDEVICE& device) override;

  // Lines separated by CR LF from `column` (tenths of a millimetre) down from the print row;
  // the row advances by the lines also when nothing is drawn, so a text can be measured.
  RPTSTANDARD& DRAWMEMOTEXT(RPPRINTER& dev, bool draw, QString text, double column);
  // Row height 0: the current font's average height times the line factor. Both leave
  // the print row on the row they drew.
  RPTSTANDARD& DRAWKOPFZEILE(RPPRINTER& dev, bool draw, const std::vector<KopfEntry>& entries, double height = 0,
                             double start_column = 0);
  RPTSTANDARD& DRAWARRAYDZ(RPPRINTER& dev, bool draw, const std::vector<ZellEntry>& entries, double height = 0,
                           double start_column = 0);
  // Title and date on the first line, subtitle on the second.
  RPTSTANDARD& DRAWLISTENKOPF(RPPRINTER& dev, bool draw, const QString& title, const QString& subtitle);
  // Title alone on the first line, subtitle and date on the second.
  RPTSTANDARD& PRINTLISTENKOPF(RPPRINTER& dev, bool draw, const QString& title, const QString& subtitle);

  static RPPRINTER& rp(report::PRINTERDEVICE& d) { return static_cast<RPPRINTER&>(d); }

  // Where the footer's text begins: its rows must end above it.
  double footer_row(RPPRINTER& dev) const;
};

// Whether a right-aligned cell's text reads as the number 0 (a decimal comma and
// thousands dots are read as the program writes numbers: "0,00" is 0, "0,50" is not).
bool reads_as_zero(const QString& text);

}  // namespace mv::kalender
