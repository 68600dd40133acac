#pragma once
// The report engine: the printer device a list draws on, and the run that drives a list's
// pages through the preview, onto the printer or into a PDF.
//
// A list is a Report: the engine calls it once at the start (PRINTSTART, which lays out
// every page without drawing: the dry run), then per page PRINTSETPAGE, PRINTPAGEHEADER,
// PRINTPAGEBODY and PRINTPAGEFOOTER, and once at the end PRINTEND. Every page is drawn
// through one path whatever it lands on: the preview's image, the printer or a PDF. The
// fonts are always measured at the printer's resolution, so the pages break alike.
#include <QPointer>
#include <QSizeF>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/report/context.h"

class QPrinter;

namespace mv {
class FileSystem;
}

namespace mv::report {

class PRINTERDEVICE;

// The page number the engine asks for when it wants the last page.
constexpr int kLastPage = 32000;

class Report {
 public:
  virtual ~Report() = default;
  virtual int PRINTSTART(PRINTERDEVICE& device) = 0;
  // The dry run again, on the device's current setup (another printer, paper or run).
  virtual void COUNTPAGES(PRINTERDEVICE& device) = 0;
  virtual uint32_t page_total() const = 0;
  virtual int PRINTSETPAGE(PRINTERDEVICE& device, int page) = 0;
  virtual int PRINTPAGEHEADER(PRINTERDEVICE& device, bool draw) = 0;
  virtual int PRINTPAGEBODY(PRINTERDEVICE& device, bool draw) = 0;
  virtual int PRINTPAGEFOOTER(PRINTERDEVICE& device) = 0;
  virtual int PRINTEND(PRINTERDEVICE& device) = 0;
};

// The progress window of a run (a step per page; false from step: the user cancelled).
class JobProgress {
 public:
  virtual ~JobProgress() = default;
  virtual void start(const QString& caption, const QString& text, uint32_t steps) = 0;
  virtual bool step(uint32_t n) = 0;
  virtual void finish() = 0;
};
using ProgressFactory = std::function<std::unique_ptr<JobProgress>()>;

// The printer chosen in the program's printer set-up; the print dialog starts on it.
void set_chosen_printer(const QString& name);
QString chosen_printer();
// Tests and benchmarks: every print run writes this PDF without any dialog ("" switches
// it off), all pages or the pages `from` to `to` as the print dialog's range would.
void set_pdf_route(const QString& path, int from = 0, int to = 0);
QString pdf_route();
// The file system through which a PDF replaces its target (the real one by default).
void set_report_file_system(FileSystem* fs);
FileSystem& report_file_system();

// Tests and benchmarks: told after every page any device draws.
void set_page_observer(std::function<void(int page, const std::vector<QByteArray>& records)> observer);

// The message of a PDF that could not be written.
QString pdf_failure_text(const QString& path);

class PreviewWindow;

class PRINTERDEVICE {
 public:
  PRINTERDEVICE(QWidget* owner, Report* report);
  virtual ~PRINTERDEVICE();
  PRINTERDEVICE(const PRINTERDEVICE&) = delete;
  PRINTERDEVICE& operator=(const PRINTERDEVICE&) = delete;

  Report* report() const { return report_; }
  QWidget* owner() const { return owner_; }

  // The three run flags, in the engine's order: preview, print, export.
  bool preview_run = false;
  bool print_run = false;
  bool export_run = false;
  bool running() const { return preview_run || print_run || export_run; }

  // Device units per inch.
  int horizontal_resolution() const { return res_h_; }
  int vertical_resolution() const { return res_v_; }
  // The context of the page being produced, the one fonts are measured on (may be
  // null), and a third one only handed on to the text layout.
  DrawContext* drawing_dc = nullptr;
  DrawContext* printer_dc = nullptr;
  DrawContext* third_dc = nullptr;

  bool NOSELECTION = false;
  QString OEXPORT;  // an export run's target; PDFs are print runs, so it stays empty

  bool ISVALID() const;
  void PAPERSIZE(int code);
  int PAPERSIZE() const { return paper_; }
  void LANDSCAPE(bool on);
  bool LANDSCAPE() const { return landscape_; }
  // The engine's margins, in inches.
  double top_margin_inches() const { return margins_[0]; }
  double left_margin_inches() const { return margins_[1]; }
  double bottom_margin_inches() const { return margins_[2]; }
  double right_margin_inches() const { return margins_[3]; }
  bool set_top_margin_inches(double v);
  bool set_left_margin_inches(double v);
  bool set_bottom_margin_inches(double v);
  bool set_right_margin_inches(double v);
  // The print area in device units.
  int LOGPRINTAREAWIDTH() const;
  int LOGPRINTAREALENGTH() const;
  int CURRENTPAGENUMBER() const { return current_page_; }
  // The sheet in inches as it lies (landscape turns it).
  QSizeF page_inches() const;

  // A measuring context for the current setup when there is none; false when none can
  // be made.
  virtual bool CREATEPRINTERDC();
  bool SHOWPRINTDLG();
  void PRINTPREVIEW(const QString& job, const QString& print_file, const QString& caption, const QString& text, bool a5,
                    bool a6, bool a7, int layout, int a9);
  void PRINT(const QString& job, const QString& print_file, const QString& caption, const QString& text, bool a5,
             bool a6);

  // Called by the engine for every page.
  virtual int CALLPRINTSETPAGE(int page);
  virtual int CALLPRINTPAGEHEADER();

  // The comment records of the page being drawn.
  void add_record(const QByteArray& record) { records_.push_back(record); }
  const std::vector<QByteArray>& page_records() const { return records_; }
  // Told after every drawn page (its number and records).
  std::function<void(int page, const std::vector<QByteArray>& records)> page_done;

  // The dry run's step: `done` of `total` laid out. A long dry run shows the progress
  // window; false when the user cancelled it.
  bool dry_run_step(uint64_t done, uint64_t total);
  bool dry_run_cancelled() const { return dry_cancelled_; }

  ProgressFactory progress_factory;

  // Draws page `page` onto `dc` (header, body, footer); answers the page drawn.
  int draw_page(DrawContext& dc, int page);
  // A fresh dry run on the current setup.
  void lay_out_again();

  // The preview, while it is open.
  PreviewWindow* preview() const { return preview_; }
  // Prints from the open preview: the print dialog, then the print run, then the
  // preview's own dry run again. False when nothing was printed.
  bool print_from_preview();

  // An engine double for tests: a fixed resolution and print area and the given
  // measuring context, without any printer; `begin_run` sets one run flag (0 preview,
  // 1 print, 2 export), `end_run` clears them.
  void use_fixed_setup(int res_h, int res_v, int area_w, int area_l, DrawContext* measuring);
  void begin_run(int flag);
  void end_run();

  QPrinter* printer() const { return printer_.get(); }

 protected:
  void restore_cursor();

 private:
  void apply_layout(QPrinter& p) const;
  void take_resolution_from(QPrinter& p);
  bool run_print(bool first_run);
  void start_run();

  QPointer<QWidget> owner_;
  Report* report_;
  std::unique_ptr<QPrinter> printer_;
  std::unique_ptr<PainterContext> measuring_;
  int res_h_ = 1200, res_v_ = 1200;
  int paper_ = 9;
  bool landscape_ = false;
  double margins_[4] = {0, 0, 0, 0};  // top, left, bottom, right
  bool fixed_ = false;
  int fixed_w_ = 0, fixed_l_ = 0;
  int current_page_ = 0;
  std::vector<QByteArray> records_;
  bool started_ = false;  // PRINTSTART ran for this job
  bool dry_cancelled_ = false;
  std::unique_ptr<JobProgress> dry_progress_;
  int64_t dry_started_ms_ = 0;
  PreviewWindow* preview_ = nullptr;
  QString job_ = QStringLiteral("Report");
};

}  // namespace mv::report
