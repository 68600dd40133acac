#include "printing/rptstandard.h"

#include "components/dlgprogress.h"
#include "platform/gui/messagebox.h"
#include "platform/report/wait_cursor.h"

namespace mv {
namespace {

// The print job's progress in the program's progress window.
class DialogProgress : public report::JobProgress {
 public:
  void start(const QString& caption, const QString& text, uint32_t steps) override {
    dlg_ = std::make_unique<DLGPROGRESS>();
    dlg_->setWindowTitle(caption);
    dlg_->CANCEL(true);
    dlg_->COUNT(steps);
    dlg_->SHOW();
    dlg_->UPDATETEXT(text);
  }
  bool step(uint32_t n) override { return dlg_ ? dlg_->UPDATEBAR(n) : true; }
  void finish() override {
    if (dlg_) dlg_->ENDDIALOG();
    dlg_.reset();
  }
  ~DialogProgress() override { finish(); }

 private:
  std::unique_ptr<DLGPROGRESS> dlg_;
};

report::ProgressFactory& factory_store() {
  static report::ProgressFactory f = [] { return std::make_unique<DialogProgress>(); };
  return f;
}

constexpr PageMargins kLandscape{140, 120, 100, 100};
constexpr PageMargins kPortrait{100, 120, 140, 100};

}  // namespace

void set_print_progress_factory(report::ProgressFactory factory) {
  factory_store() = factory ? std::move(factory) : [] { return std::make_unique<DialogProgress>(); };
}
report::ProgressFactory print_progress_factory() { return factory_store(); }

void RPTSTANDARD::INIT(QWidget* owner, bool preview, bool landscape, const QString& job, bool print_dialog) {
  report::begin_wait_cursor();
  if (NELINEFACTOR == 0) NELINEFACTOR = 1.2;
  if (NEUNITSPERINCH == 0) NEUNITSPERINCH = 254.0;
  APAGESTARTS.clear();
  run_list_job(this, owner, NEUNITSPERINCH, landscape ? kLandscape : kPortrait, preview, landscape, job, print_dialog);
}

void run_list_job(report::Report* list, QWidget* owner, double units_per_inch, const PageMargins& m, bool preview,
                  bool landscape, const QString& job, bool print_dialog) {
  RPPRINTER device(owner, list);
  device.progress_factory = factory_store();
  // The preview needs no printer; printing without one says so.
  if (!preview && !device.ISVALID()) {
    report::end_wait_cursor();
    gui::warning_box(owner, QStringLiteral("Achtung"), QStringLiteral("Der Drucker konnte nicht geöffnet werden!"));
    return;
  }
  device.UNITOFMEASURE(1);
  device.PAPERSIZE(9);
  device.LANDSCAPE(landscape);
  device.TOPMARGIN(m.top / units_per_inch);
  device.BOTTOMMARGIN(m.bottom / units_per_inch);
  device.LEFTMARGIN(m.left / units_per_inch);
  device.RIGHTMARGIN(m.right / units_per_inch);
  if (preview) {
    device.PRINTPREVIEW(job, job + QStringLiteral(".PRN"), QStringLiteral("Seitenansicht"),
                        QStringLiteral("Printing..."), true, false, false, landscape ? 3 : 1, 0);
  } else if (!print_dialog || device.SHOWPRINTDLG()) {
    device.PRINT(job, QStringLiteral("PRINT.PRN"), QStringLiteral("Ausdruck"), QStringLiteral("Printing..."), false,
                 false);
  }
  report::end_wait_cursor();
}

int RPTSTANDARD::PRINTPAGEFOOTER(report::PRINTERDEVICE& d) {
  RPPRINTER& dev = rp(d);
  dev.SETFONT(QStringLiteral("Arial"), 10, false, false, false);
  const QString text = QStringLiteral("Seite: %1 von %2").arg(dev.CURRENTPAGENUMBER()).arg(NEPAGES);
  const double width = dev.GETTEXTLENGTH(text);
  dev.DRAWTEXT(dev.PRINTAREALENGTH() + dev.AVGCHARHEIGHT() / 2, dev.PRINTAREAWIDTH() - width, text, std::nullopt,
               std::max(width, dev.AVGCHARWIDTH() * text.size()));
  return -1;
}

void RPTSTANDARD::record_page_start() {
  if (NEPAGE > APAGESTARTS.size()) APAGESTARTS.push_back(position());
}

void RPTSTANDARD::COUNTPAGES(report::PRINTERDEVICE& d) {
  NEPAGE = 0;
  NEPAGES = 0;
  APAGESTARTS.clear();
  rewind();
  // A list without rows still has its page: title, facts and headings, "Seite: 1 von 1".
  for (;;) {
    ++NEPAGE;
    ++NEPAGES;
    const std::vector<int64_t> start = position();
    PRINTPAGEHEADER(d, false);
    const int body = PRINTPAGEBODY(d, false);
    const auto [done, total] = progress();
    if (!d.dry_run_step(done, total)) break;
    if (body != -1 || !rows_remain()) break;
    if (position() == start) break;  // a page that placed nothing would repeat for ever
  }
  rewind();
}

int RPTSTANDARD::PRINTSETPAGE(report::PRINTERDEVICE&, int page) {
  if (APAGESTARTS.empty()) return int(NEPAGE);
  const int entries = int(APAGESTARTS.size());
  const int n = page == report::kLastPage ? entries : std::clamp(page, 1, entries);
  NEPAGE = uint32_t(n);
  position_at(APAGESTARTS[size_t(n - 1)]);
  return int(NEPAGE);
}

}  // namespace mv
