#pragma once
// The base of every printed list of the main program. Creating a list runs its whole job:
// the base makes the print device (A4, the orientation, margins given in tenths of a
// millimetre), then the preview, or the print run after the print dialog. It supplies the
// page footer "Seite: n von m", the dry run that finds every page's first row, and the
// positioning that draws any page from its recorded start, so pages drawn in any order,
// or twice, come out the same.
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/report/printerdevice.h"
#include "printing/rpprinter.h"

namespace mv {

// The progress window of print jobs (the program's DLGPROGRESS unless replaced).
void set_print_progress_factory(report::ProgressFactory factory);
report::ProgressFactory print_progress_factory();

// A list's page margins, in tenths of a millimetre.
struct PageMargins {
  double top, bottom, left, right;
};

// The print job of a list, under the wait cursor the caller has begun (and which this ends):
// the print device on A4 in the orientation and margins asked (`units_per_inch` tenths of a
// millimetre to the inch), then the preview, or the print run after the print dialog. Printing
// without a printer says so.
void run_list_job(report::Report* list, QWidget* owner, double units_per_inch, const PageMargins& margins,
                  bool preview, bool landscape, const QString& job, bool print_dialog);

class RPTSTANDARD : public report::Report {
 public:
  ~RPTSTANDARD() override = default;

  uint32_t NEPAGE = 0;
  uint32_t NEPAGES = 0;
  std::vector<std::vector<int64_t>> APAGESTARTS;
  double NEUNITSPERINCH = 0;
  double NELINEFACTOR = 0;
  bool LEQUER = false;
  bool LEGITTER = false;
  bool LEZEILEGRAU = false;
  bool LESPALTEGRAU = false;

  // Runs the job; returns when it has ended.
  void INIT(QWidget* owner, bool preview = true, bool landscape = false, const QString& job = QStringLiteral("Report"),
            bool print_dialog = true);

  int PRINTPAGEFOOTER(report::PRINTERDEVICE& device) override;
  void COUNTPAGES(report::PRINTERDEVICE& device) override;
  int PRINTSETPAGE(report::PRINTERDEVICE& device, int page) override;
  uint32_t page_total() const override { return NEPAGES; }

  static RPPRINTER& rp(report::PRINTERDEVICE& d) { return static_cast<RPPRINTER&>(d); }

 protected:
  // The list's data: back to its first row, whether rows remain, where the current row
  // is (with the row counter where the list keeps one), and how far the list has come.
  virtual void rewind() = 0;
  virtual bool rows_remain() const = 0;
  virtual std::vector<int64_t> position() const = 0;
  virtual void position_at(const std::vector<int64_t>& entry) = 0;
  virtual std::pair<uint64_t, uint64_t> progress() const = 0;
  // In PRINTPAGEHEADER before anything is drawn.
  void record_page_start();
};

}  // namespace mv
