#include "platform/report/printerdevice.h"

#include <QAbstractPrintDialog>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <cmath>

#include "platform/base/filesystem.h"
#include "platform/gui/messagebox.h"
#include "platform/report/preview.h"
#include "platform/report/wait_cursor.h"

namespace mv::report {
namespace {

QString g_chosen_printer;
QString g_pdf_route;
int g_route_from = 0, g_route_to = 0;
FileSystem* g_fs = nullptr;

const QString kAchtung = QStringLiteral("Achtung");

QPageSize page_size(int code) {
  switch (code) {
    case 1:
      return QPageSize(QPageSize::Letter);
    case 5:
      return QPageSize(QPageSize::Legal);
    case 8:
      return QPageSize(QPageSize::A3);
    case 11:
      return QPageSize(QPageSize::A5);
    default:
      return QPageSize(QPageSize::A4);
  }
}

bool writes_pdf(const QPrinter& p) { return p.outputFormat() == QPrinter::PdfFormat && !p.outputFileName().isEmpty(); }

}  // namespace

void set_chosen_printer(const QString& name) { g_chosen_printer = name; }
QString chosen_printer() { return g_chosen_printer; }
void set_pdf_route(const QString& path, int from, int to) {
  g_pdf_route = path;
  g_route_from = from;
  g_route_to = to;
}
QString pdf_route() { return g_pdf_route; }
void set_report_file_system(FileSystem* fs) { g_fs = fs; }
FileSystem& report_file_system() { return g_fs ? *g_fs : FileSystem::posix(); }

namespace {
std::function<void(int, const std::vector<QByteArray>&)>& observer_store() {
  static std::function<void(int, const std::vector<QByteArray>&)> o;
  return o;
}
}  // namespace

void set_page_observer(std::function<void(int, const std::vector<QByteArray>&)> observer) {
  observer_store() = std::move(observer);
}

QString pdf_failure_text(const QString& path) {
  return QStringLiteral("Die Datei \r\n\r\n") + path + QStringLiteral("\r\n\r\nkonnte nicht geschrieben werden!");
}

PRINTERDEVICE::PRINTERDEVICE(QWidget* owner, Report* report)
    : owner_(owner),
      report_(report),
      printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)),
      measuring_(std::make_unique<PainterContext>(nullptr)) {
  if (!g_chosen_printer.isEmpty()) printer_->setPrinterName(g_chosen_printer);
  take_resolution_from(*printer_);
  printer_dc = measuring_.get();
}

PRINTERDEVICE::~PRINTERDEVICE() = default;

bool PRINTERDEVICE::ISVALID() const {
  if (fixed_) return true;
  if (!printer_->isValid()) return false;
  // A printer chosen in the set-up that is gone is no stand-in for another one.
  return g_chosen_printer.isEmpty() || QPrinterInfo::availablePrinterNames().contains(g_chosen_printer);
}

void PRINTERDEVICE::PAPERSIZE(int code) { paper_ = code; }
void PRINTERDEVICE::LANDSCAPE(bool on) { landscape_ = on; }
bool PRINTERDEVICE::set_top_margin_inches(double v) {
  margins_[0] = std::max(0.0, v);
  return true;
}
bool PRINTERDEVICE::set_left_margin_inches(double v) {
  margins_[1] = std::max(0.0, v);
  return true;
}
bool PRINTERDEVICE::set_bottom_margin_inches(double v) {
  margins_[2] = std::max(0.0, v);
  return true;
}
bool PRINTERDEVICE::set_right_margin_inches(double v) {
  margins_[3] = std::max(0.0, v);
  return true;
}

QSizeF PRINTERDEVICE::page_inches() const {
  QSizeF in = page_size(paper_).size(QPageSize::Inch);
  if (landscape_) in.transpose();
  return in;
}

int PRINTERDEVICE::LOGPRINTAREAWIDTH() const {
  if (fixed_) return fixed_w_;
  QSizeF in = page_size(paper_).size(QPageSize::Inch);
  if (landscape_) in.transpose();
  return std::max(0, int(std::lround((in.width() - margins_[1] - margins_[3]) * res_h_)));
}

int PRINTERDEVICE::LOGPRINTAREALENGTH() const {
  if (fixed_) return fixed_l_;
  QSizeF in = page_size(paper_).size(QPageSize::Inch);
  if (landscape_) in.transpose();
  return std::max(0, int(std::lround((in.height() - margins_[0] - margins_[2]) * res_v_)));
}

void PRINTERDEVICE::apply_layout(QPrinter& p) const {
  QPageLayout layout(page_size(paper_), landscape_ ? QPageLayout::Landscape : QPageLayout::Portrait,
                     QMarginsF(margins_[1], margins_[0], margins_[3], margins_[2]), QPageLayout::Inch);
  layout.setMode(QPageLayout::FullPageMode);
  p.setPageLayout(layout);
  p.setFullPage(false);
}

void PRINTERDEVICE::take_resolution_from(QPrinter& p) {
  if (fixed_) return;
  const int r = p.resolution();
  res_h_ = res_v_ = r > 0 ? r : 1200;
}

bool PRINTERDEVICE::CREATEPRINTERDC() {
  if (!printer_dc) printer_dc = fixed_ ? nullptr : measuring_.get();
  return printer_dc != nullptr;
}

void PRINTERDEVICE::use_fixed_setup(int res_h, int res_v, int area_w, int area_l, DrawContext* measuring) {
  fixed_ = true;
  res_h_ = res_h;
  res_v_ = res_v;
  fixed_w_ = area_w;
  fixed_l_ = area_l;
  printer_dc = measuring;
  drawing_dc = measuring;
}

void PRINTERDEVICE::begin_run(int flag) {
  preview_run = flag == 0;
  print_run = flag == 1;
  export_run = flag == 2;
}

void PRINTERDEVICE::end_run() { preview_run = print_run = export_run = false; }

void PRINTERDEVICE::restore_cursor() { end_wait_cursor(); }

int PRINTERDEVICE::CALLPRINTSETPAGE(int page) {
  current_page_ = report_ ? report_->PRINTSETPAGE(*this, page) : page;
  return current_page_;
}

int PRINTERDEVICE::CALLPRINTPAGEHEADER() { return report_ ? report_->PRINTPAGEHEADER(*this, true) : -1; }

int PRINTERDEVICE::draw_page(DrawContext& dc, int page) {
  drawing_dc = &dc;
  records_.clear();
  const int actual = CALLPRINTSETPAGE(page);
  CALLPRINTPAGEHEADER();
  if (report_) {
    report_->PRINTPAGEBODY(*this, true);
    report_->PRINTPAGEFOOTER(*this);
  }
  if (page_done) page_done(actual, records_);
  if (observer_store()) observer_store()(actual, records_);
  drawing_dc = printer_dc;
  return actual;
}

void PRINTERDEVICE::start_run() {
  dry_cancelled_ = false;
  dry_started_ms_ = QDateTime::currentMSecsSinceEpoch();
  if (!report_) return;
  if (!started_) {
    started_ = true;
    report_->PRINTSTART(*this);
  } else {
    report_->COUNTPAGES(*this);
  }
  if (dry_progress_) {
    dry_progress_->finish();
    dry_progress_.reset();
  }
}

void PRINTERDEVICE::lay_out_again() { start_run(); }

bool PRINTERDEVICE::dry_run_step(uint64_t done, uint64_t total) {
  if (dry_cancelled_) return false;
  if (!dry_progress_) {
    // Only a dry run that takes noticeably long shows its window.
    if (!progress_factory || QDateTime::currentMSecsSinceEpoch() - dry_started_ms_ < 400) return true;
    dry_progress_ = progress_factory();
    if (!dry_progress_) return true;
    restore_cursor();
    dry_progress_->start(QStringLiteral("Ausdruck"), QStringLiteral("Printing..."), 100);
  }
  const uint32_t pct = total ? uint32_t(std::min<uint64_t>(100, done * 100 / total)) : 100;
  if (!dry_progress_->step(pct)) dry_cancelled_ = true;
  return !dry_cancelled_;
}

bool PRINTERDEVICE::SHOWPRINTDLG() {
  apply_layout(*printer_);
  if (!g_pdf_route.isEmpty()) {
    printer_->setOutputFormat(QPrinter::PdfFormat);
    printer_->setOutputFileName(g_pdf_route);
    printer_->setPrintRange(g_route_from > 0 ? QPrinter::PageRange : QPrinter::AllPages);
    printer_->setFromTo(std::max(0, g_route_from), std::max(0, g_route_to));
    return true;
  }
  restore_cursor();
  QPrintDialog dlg(printer_.get(), owner_);
  dlg.setOption(QAbstractPrintDialog::PrintSelection, false);
  dlg.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
  dlg.setOption(QAbstractPrintDialog::PrintPageRange, true);
  const uint32_t known = started_ && report_ ? report_->page_total() : 0;
  dlg.setMinMax(1, known ? int(known) : 9999);
  return dlg.exec() == QDialog::Accepted;
}

void PRINTERDEVICE::PRINTPREVIEW(const QString& job, const QString&, const QString& caption, const QString&, bool, bool,
                                 bool, int, int) {
  job_ = job;
  // No printer: an A4 PDF device stands in, so the preview needs none.
  if (!ISVALID()) {
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer_->setOutputFormat(QPrinter::PdfFormat);
  }
  take_resolution_from(*printer_);
  begin_run(0);
  drawing_dc = printer_dc;
  start_run();
  if (!dry_cancelled_) {
    restore_cursor();
    PreviewWindow window(this, caption);
    preview_ = &window;
    if (const auto& hook = preview_hook()) {
      window.show();
      hook(window);
    } else {
      window.exec();
    }
    preview_ = nullptr;
  }
  end_run();
  if (report_ && started_) report_->PRINTEND(*this);
  restore_cursor();
}

void PRINTERDEVICE::PRINT(const QString& job, const QString&, const QString&, const QString&, bool, bool) {
  job_ = job;
  run_print(true);
  if (report_ && started_) report_->PRINTEND(*this);
  restore_cursor();
}

bool PRINTERDEVICE::print_from_preview() {
  if (!SHOWPRINTDLG()) return false;
  end_run();
  const bool ok = run_print(false);
  // Back to the preview's own setup, laid out afresh.
  end_run();
  take_resolution_from(*printer_);
  begin_run(0);
  drawing_dc = printer_dc;
  start_run();
  return ok;
}

bool PRINTERDEVICE::run_print(bool) {
  QPrinter& p = *printer_;
  apply_layout(p);
  p.setDocName(job_);
  const bool pdf = writes_pdf(p);
  const QString target = pdf ? p.outputFileName() : QString();
  // A PDF is written beside its target and replaces it only when it is complete.
  const QString temp = pdf ? target + QStringLiteral(".part%1").arg(QCoreApplication::applicationPid()) : QString();
  if (pdf) p.setOutputFileName(temp);
  auto restore_target = [&] {
    if (pdf) p.setOutputFileName(target);
  };
  take_resolution_from(p);
  begin_run(1);
  QPainter painter;
  if (!painter.begin(&p)) {
    end_run();
    if (pdf) QFile::remove(temp);
    restore_target();
    restore_cursor();
    gui::warning_box(owner_, kAchtung,
                     pdf ? pdf_failure_text(target) : QStringLiteral("Der Drucker konnte nicht geöffnet werden!"));
    return false;
  }
  PainterContext dc(&painter);
  drawing_dc = printer_dc;
  start_run();
  bool cancelled = dry_cancelled_;
  if (!cancelled) {
    const int total = report_ ? int(std::max<uint32_t>(1, report_->page_total())) : 1;
    int from = 1, to = total;
    if (p.printRange() == QPrinter::PageRange && p.fromPage() > 0) {
      from = std::max(1, p.fromPage());
      to = p.toPage() > 0 ? std::min(total, p.toPage()) : total;
    }
    std::unique_ptr<JobProgress> progress = progress_factory ? progress_factory() : nullptr;
    restore_cursor();
    if (progress)
      progress->start(QStringLiteral("Ausdruck"), QStringLiteral("Printing..."), uint32_t(std::max(0, to - from + 1)));
    uint32_t n = 0;
    for (int page = from; page <= to; ++page) {
      if (page > from) p.newPage();
      draw_page(dc, page);
      if (progress && !progress->step(++n)) {
        cancelled = true;
        break;
      }
    }
    if (progress) progress->finish();
  }
  if (cancelled) p.abort();
  painter.end();
  end_run();
  bool ok = !cancelled;
  if (pdf) {
    if (ok) {
      const Status s = report_file_system().rename(temp.toStdString(), target.toStdString());
      if (!s.is_ok()) {
        ok = false;
        QFile::remove(temp);
        restore_target();
        gui::warning_box(owner_, kAchtung, pdf_failure_text(target));
        return false;
      }
    } else {
      QFile::remove(temp);
    }
  }
  restore_target();
  return ok;
}

}  // namespace mv::report
