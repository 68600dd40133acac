// The lists offered on the table window's " Struktur " and " Index " tabs: the preview,
// the German print dialog, cancelling, a PDF that cannot replace its target, the data
// page's order, and a picture of the preview under the build folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QPrintDialog>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QTranslator>
#include <filesystem>

#include "components/dlgprogress.h"
#include "platform/gui/messagebox.h"
#include "platform/gui/windows.h"
#include "platform/report/preview.h"
#include "platform/table/transfer.h"
#include "printing/rptstandard.h"
#include "printing_helpers.h"
#include "tablewindow/environment.h"
#include "tablewindow/tabdw_dbfdatei.h"
#include "tablewindow/tableserver.h"
#include "tests/support/faulty_fs.h"
#include "tests/support/fixtures.h"

namespace mv {
namespace {

namespace fs = std::filesystem;

QByteArray read_all(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void write_all(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

QStringList files_in(const std::string& dir) {
  QStringList out;
  for (const auto& e : fs::directory_iterator(dir)) out << QString::fromStdString(e.path().filename().string());
  out.sort();
  return out;
}

class Pages : public ::testing::Test {
 protected:
  void SetUp() override {
    TableWindowEnvironment env;
    env.history = &history_;
    set_table_window_environment(env);
    shell_.resize(1000, 700);
  }
  void TearDown() override {
    delete window_;
    set_table_window_environment({});
    report::set_preview_hook({});
    report::set_page_observer({});
    report::set_pdf_route(QString());
    report::set_report_file_system(nullptr);
    set_print_progress_factory({});
  }
  // A fixture copied into the scratch folder, opened in a table window.
  TABDW_DBFDATEI* open_fixture(const std::string& fixture, const std::string& file) {
    const std::string from = testing::fixture_case(fixture);
    if (from.empty()) return nullptr;
    for (const auto& e : fs::directory_iterator(from))
      fs::copy_file(e.path(), fs::path(dir_.path()) / e.path().filename());
    return open(dir_.file(file));
  }
  TABDW_DBFDATEI* open(const std::string& path) {
    window_ = new TABDW_DBFDATEI(&shell_, QString::fromStdString(path), true, false, false);
    return window_;
  }
  // A table of 110 character fields: a field list of several pages.
  TABDW_DBFDATEI* open_wide_table() {
    std::vector<StructRow> fields;
    for (int i = 1; i <= 110; ++i) fields.push_back({"FELD" + std::to_string(i), 'C', 5, 0});
    const std::string path = dir_.file("VIELE.DBF");
    EXPECT_TRUE(db_create(path, fields, "DBFNTX").is_ok());
    return open(path);
  }
  QString pdf(const char* name) const { return QString::fromStdString(dir_.file(name)); }

  MemoryHistoryStore history_;
  gui::RecordingMessageBoxes boxes_;
  gui::SHELLWINDOW shell_;
  testing::TempDir dir_;
  TABDW_DBFDATEI* window_ = nullptr;
};

TEST_F(Pages, PreviewOnStrukturOpensAndPagesThrough) {
  TABDW_DBFDATEI* w = open_wide_table();
  ASSERT_TRUE(w->server());
  w->SELECTTAB(QStringLiteral("TAB_STRUKTUR"));
  std::vector<QString> seen;
  bool opened = false;
  report::set_preview_hook([&](report::PreviewWindow& p) {
    opened = true;
    EXPECT_EQ(p.windowTitle(), "Seitenansicht");
    EXPECT_TRUE(p.isModal());
    seen.push_back(p.page_text());
    p.NEXTPAGE();
    seen.push_back(p.page_text());
    p.LASTPAGE();
    seen.push_back(p.page_text());
    p.NEXTPAGE();  // stays on the last page
    seen.push_back(p.page_text());
    p.PREVIOUSPAGE();
    p.FIRSTPAGE();
    seen.push_back(p.page_text());
    p.PAGEWIDTH();
    EXPECT_FALSE(p.whole_page());
    EXPECT_FALSE(p.button("PB_VORIGE")->isEnabled());
    EXPECT_EQ(p.button("PB_SCHLIESSEN")->text(), "Schließen");
    // Paging keeps no more than a few pages drawn.
    for (int i = 0; i < 10; ++i) p.NEXTPAGE();
    EXPECT_LE(p.cached_pages(), 3);
  });
  w->FILEANSICHT();
  ASSERT_TRUE(opened);
  ASSERT_EQ(seen.size(), 5u);
  const int n = seen[2].section(' ', 3).toInt();
  EXPECT_GE(n, 3);
  EXPECT_EQ(seen[0], QStringLiteral("Seite 1 von %1").arg(n));
  EXPECT_EQ(seen[1], QStringLiteral("Seite 2 von %1").arg(n));
  EXPECT_EQ(seen[3], seen[2]);
  EXPECT_EQ(seen[4], seen[0]);
  // The " Header " tab has no list.
  w->SELECTTAB(QStringLiteral("TAB_HEADER"));
  opened = false;
  w->FILEANSICHT();
  EXPECT_FALSE(opened);
}

TEST_F(Pages, PictureOfTheIndexListPreview) {
  TABDW_DBFDATEI* w = open_fixture("peer/cdx-nomemo", "ADRESSEN.DBF");
  if (!w) GTEST_SKIP() << "fixture missing";
  ASSERT_TRUE(w->server());
  w->SELECTTAB(QStringLiteral("TAB_INDEX"));
  QString text;
  report::set_preview_hook([&](report::PreviewWindow& p) {
    text = p.page_text();
    p.resize(1000, 1300);
    p.WHOLEPAGE();
    const QString out = QStringLiteral(MOLVANE_BINARY_DIR) + QStringLiteral("/preview.png");
    EXPECT_TRUE(p.grab().save(out));
  });
  w->FILEANSICHT();
  EXPECT_EQ(text, "Seite 1 von 1");
}

TEST_F(Pages, PrintDialogIsGermanAndCancelledPrintsNothing) {
  QTranslator de;
  ASSERT_TRUE(de.load(QStringLiteral("qtbase_de"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)));
  QCoreApplication::installTranslator(&de);
  TABDW_DBFDATEI* w = open_wide_table();
  w->SELECTTAB(QStringLiteral("TAB_STRUKTUR"));
  int drawn = 0;
  report::set_page_observer([&](int, const std::vector<QByteArray>&) { ++drawn; });
  QString title;
  bool page_range = false, selection = true;
  QTimer poll;
  poll.setInterval(20);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    for (QWidget* t : QApplication::topLevelWidgets()) {
      if (auto* d = qobject_cast<QPrintDialog*>(t); d && d->isVisible()) {
        title = d->windowTitle();
        page_range = d->testOption(QAbstractPrintDialog::PrintPageRange);
        selection = d->testOption(QAbstractPrintDialog::PrintSelection);
        d->reject();
      }
    }
  });
  poll.start();
  w->FILEPRINT();
  poll.stop();
  QCoreApplication::removeTranslator(&de);
  EXPECT_EQ(title, "Drucken");
  EXPECT_TRUE(page_range);
  EXPECT_FALSE(selection);
  EXPECT_EQ(drawn, 0);
  EXPECT_EQ(boxes_.count(), 0);
}

// The program's progress window, whose cancel button the test presses after page 3.
class CancellingProgress : public report::JobProgress {
 public:
  explicit CancellingProgress(uint32_t at) : at_(at) {}
  void start(const QString& caption, const QString& text, uint32_t steps) override {
    dlg_.setWindowTitle(caption);
    dlg_.COUNT(steps);
    dlg_.SHOW();
    dlg_.UPDATETEXT(text);
    caption_ = caption;
  }
  bool step(uint32_t n) override {
    steps_ = n;
    if (n == at_) dlg_.PSHCANCEL_BUTTON()->click();
    return dlg_.UPDATEBAR(n);
  }
  void finish() override { dlg_.ENDDIALOG(); }
  static inline QString caption_;
  static inline uint32_t steps_ = 0;

 private:
  uint32_t at_;
  DLGPROGRESS dlg_;
};

TEST_F(Pages, CancelAfterPageThreeKeepsTheExistingPdf) {
  history_.WRITESTRING(QString::fromStdString(dir_.file("VIELE.DBF")), "Schrift", "24");
  TABDW_DBFDATEI* w = open_wide_table();
  w->SELECTTAB(QStringLiteral("TAB_STRUKTUR"));
  const QString target = pdf("liste.pdf");
  write_all(target, "old contents");
  report::set_pdf_route(target);
  set_print_progress_factory([] { return std::make_unique<CancellingProgress>(3); });
  int drawn = 0;
  report::set_page_observer([&](int, const std::vector<QByteArray>&) { ++drawn; });
  w->FILEPRINT();
  EXPECT_EQ(drawn, 3);
  EXPECT_EQ(CancellingProgress::caption_, "Ausdruck");
  EXPECT_EQ(read_all(target), "old contents");
  EXPECT_EQ(files_in(dir_.path()), QStringList({"VIELE.DBF", "liste.pdf"}));
  EXPECT_EQ(boxes_.count(), 0);
}

TEST_F(Pages, FailedReplaceKeepsTheExistingPdfAndSaysSo) {
  TABDW_DBFDATEI* w = open_wide_table();
  w->SELECTTAB(QStringLiteral("TAB_STRUKTUR"));
  const QString target = pdf("liste.pdf");
  write_all(target, "old contents");
  report::set_pdf_route(target);
  FaultyFileSystem faulty(FileSystem::posix());
  faulty.fail_rename_at = 0;
  report::set_report_file_system(&faulty);
  w->FILEPRINT();
  EXPECT_EQ(read_all(target), "old contents");
  EXPECT_EQ(files_in(dir_.path()), QStringList({"VIELE.DBF", "liste.pdf"}));
  ASSERT_EQ(boxes_.count(), 1);
  EXPECT_EQ(boxes_.last().caption, "Achtung");
  EXPECT_EQ(boxes_.last().text, report::pdf_failure_text(target));
  // Without the fault the list replaces the file.
  report::set_report_file_system(nullptr);
  w->FILEPRINT();
  EXPECT_TRUE(read_all(target).startsWith("%PDF"));
}

TEST_F(Pages, NoUsablePrinterSaysSoButThePreviewStillShows) {
  TABDW_DBFDATEI* w = open_wide_table();
  w->SELECTTAB(QStringLiteral("TAB_STRUKTUR"));
  report::set_chosen_printer(QStringLiteral("Kein Drucker dieses Namens"));
  int drawn = 0;
  report::set_page_observer([&](int, const std::vector<QByteArray>&) { ++drawn; });
  w->FILEPRINT();
  EXPECT_EQ(drawn, 0);
  ASSERT_EQ(boxes_.count(), 1);
  EXPECT_EQ(boxes_.last().caption, "Achtung");
  EXPECT_EQ(boxes_.last().text, "Der Drucker konnte nicht geöffnet werden!");
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  bool shown = false;
  report::set_preview_hook([&](report::PreviewWindow& p) { shown = p.pages() >= 1; });
  w->FILEANSICHT();
  report::set_chosen_printer(QString());
  EXPECT_TRUE(shown);
  EXPECT_GE(drawn, 1);
}

TEST_F(Pages, PageRangeOfThePrintDialogAndTheJobName) {
  history_.WRITESTRING(QString::fromStdString(dir_.file("VIELE.DBF")), "Schrift", "24");
  TABDW_DBFDATEI* w = open_wide_table();
  w->SELECTTAB(QStringLiteral("TAB_STRUKTUR"));
  const QString target = pdf("teil.pdf");
  report::set_pdf_route(target, 2, 3);
  w->FILEPRINT();
  ASSERT_EQ(pttest::pdf_pages(target), 2);
  const QStringList first = pttest::text_lines(pttest::pdf_text(target, 1));
  ASSERT_FALSE(first.isEmpty());
  EXPECT_TRUE(first.last().startsWith("Seite: 2 von ")) << first.last().toStdString();
  EXPECT_FALSE(first.join('\n').contains("Total Records"));
  QProcess info;
  info.start(QStringLiteral("pdfinfo"), {target});
  info.waitForFinished();
  EXPECT_TRUE(QString::fromUtf8(info.readAllStandardOutput()).contains(QRegularExpression("Title:\\s+Report\\n")));
}

TEST_F(Pages, IndexListLeavesTheDataPageOrder) {
  TABDW_DBFDATEI* w = open_fixture("peer/cdx-nomemo", "ADRESSEN.DBF");
  if (!w) GTEST_SKIP() << "fixture missing";
  TableGridServer* s = w->server();
  ASSERT_TRUE(s);
  ASSERT_GE(s->orders()->count(), 2);
  w->INDEXWAHL(1);
  const int before = s->INDEXORD();
  w->SELECTTAB(QStringLiteral("TAB_INDEX"));
  const QString target = pdf("index.pdf");
  report::set_pdf_route(target);
  w->FILEPRINT();
  EXPECT_EQ(s->INDEXORD(), before);
  const QString text = pttest::pdf_text(target);
  EXPECT_TRUE(text.contains(QStringLiteral("Index: ") + QString::fromStdString(dir_.file("ADRESSEN.DBF"))));
  EXPECT_TRUE(text.contains(s->orders()->info(s->orders()->count()).name));
  EXPECT_TRUE(text.contains(QStringLiteral("Seite: 1 von 1")));
}

}  // namespace
}  // namespace mv
