#include "tablewindow_helpers.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <atomic>
#include <filesystem>

#include "platform/base/bytes.h"
#include "tests/support/fixtures.h"
#include "tablewindow/tableserver.h"

namespace mv::twtest {

[[maybe_unused]] static ::testing::Environment* const kQt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

void QtEnvironment::SetUp() {
  if (!QApplication::instance()) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    app_ = new QApplication(argc_, argv_);
  }
}

void QtEnvironment::TearDown() {
  delete app_;
  app_ = nullptr;
}

std::string scratch_dir(const std::string& name) { return mv::testing::make_scratch_dir(name); }

std::string fixtures_root() { return mv::testing::fixtures_root(); }

std::string copy_fixture(const std::string& case_dir) {
  namespace fs = std::filesystem;
  const fs::path from = fs::path(fixtures_root()) / case_dir;
  std::string name = case_dir;
  for (char& c : name)
    if (c == '/') c = '_';
  const std::string to = scratch_dir(name);
  for (const auto& e : fs::directory_iterator(from))
    if (e.is_regular_file()) fs::copy_file(e.path(), fs::path(to) / e.path().filename());
  return to;
}

std::string make_table(const std::string& dir, const std::string& file, int n, const std::vector<int>& deleted,
                       const std::string& driver) {
  const std::string path = dir + "/" + file;
  const std::vector<StructRow> fields = {{"NAME", 'C', 10, 0}, {"NR", 'N', 5, 0}, {"DATUM", 'D', 8, 0}, {"OK", 'L', 1, 0}};
  if (!db_create(path, fields, driver)) ADD_FAILURE() << "cannot create " << path;
  OpenOptions o;
  o.shared = false;
  o.driver = driver;
  auto t = Table::open(path, o);
  if (!t) {
    ADD_FAILURE() << t.status().to_string();
    return path;
  }
  for (int i = 1; i <= n; ++i) {
    (*t)->append_blank().ignore();
    (*t)->field_put(1, Value::character("Name " + std::to_string(i))).ignore();
    (*t)->field_put(2, Value::numeric(i, 5, 0)).ignore();
    if (std::find(deleted.begin(), deleted.end(), i) != deleted.end()) (*t)->delete_record().ignore();
  }
  (*t)->close().ignore();
  return path;
}

EnvironmentScope::EnvironmentScope(HistoryStore* history, QString driver, bool exclusive, bool read_only) {
  TableWindowEnvironment env;
  env.default_driver = [driver] { return driver; };
  env.exclusive = [exclusive] { return exclusive; };
  env.read_only = [read_only] { return read_only; };
  env.font_browser = [] { return 9u; };
  env.history = history;
  set_table_window_environment(env);
}

EnvironmentScope::~EnvironmentScope() { set_table_window_environment({}); }

}  // namespace mv::twtest

namespace mv::twtest {

std::vector<uint32_t> undeleted_records(const QString& path) {
  std::vector<uint32_t> out;
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return out;
  const QByteArray b = f.readAll();
  if (b.size() < 32) return out;
  const auto* h = reinterpret_cast<const uint8_t*>(b.constData());
  const uint32_t count = get_le32(h + 4);
  const int hl = int(get_le16(h + 8));
  const int rl = int(get_le16(h + 10));
  for (uint32_t r = 1; r <= count; ++r) {
    const qint64 at = hl + qint64(r - 1) * rl;
    if (at < b.size() && b.at(at) != '*') out.push_back(r);
  }
  return out;
}

std::vector<uint32_t> window_records(const TableGridServer& s) {
  std::vector<uint32_t> out;
  for (int r = 0; r < s.rowCount(); ++r) out.push_back(s.recno(r));
  return out;
}

void expect_whole_texts(QWidget* page) {
  for (QWidget* c : page->findChildren<QWidget*>()) {
    if (!c->isVisible()) continue;
    QString text;
    int need = 0;
    if (auto* b = qobject_cast<QAbstractButton*>(c)) {
      text = b->text();
      need = b->sizeHint().width();
    } else if (auto* l = qobject_cast<QLabel*>(c)) {
      text = l->text();
      need = l->sizeHint().width();
    } else if (auto* cb = qobject_cast<QComboBox*>(c)) {
      text = cb->currentText();
      QStyleOptionComboBox opt;
      opt.initFrom(cb);
      need = cb->style()
                 ->sizeFromContents(QStyle::CT_ComboBox, &opt,
                                    QSize(cb->fontMetrics().horizontalAdvance(text), cb->fontMetrics().height()), cb)
                 .width();
    } else {
      continue;
    }
    if (text.isEmpty()) continue;
    EXPECT_GE(c->width(), need) << c->objectName().toStdString() << " \"" << text.toStdString() << "\"";
  }
}

}  // namespace mv::twtest
