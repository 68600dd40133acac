#pragma once
// Shared by the table window tests: one QApplication, scratch folders, fixture copies,
// small tables, a history file on disk and the environment the windows read.
#include <QApplication>
#include <QString>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "components/inifile.h"
#include "platform/table/table.h"
#include "tablewindow/environment.h"

// Readable QStrings in test failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace mv::twtest {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override;
  void TearDown() override;

 private:
  int argc_ = 1;
  char name_[8] = "test";
  char* argv_[2] = {name_, nullptr};
  QApplication* app_ = nullptr;
};

// A fresh empty folder below the system's temporary folder.
std::string scratch_dir(const std::string& name);
// $MOLVANE_FIXTURES, else the shared fixtures beside the repository.
std::string fixtures_root();
// Copies every file of fixture folder `case_dir` (below the root) into a fresh folder;
// answers that folder.
std::string copy_fixture(const std::string& case_dir);

// A table NAME C(10), NR N(5), DATUM D, OK L with `n` records "Name i", i; the records
// in `deleted` (1-based) are marked deleted.
std::string make_table(const std::string& dir, const std::string& file, int n,
                       const std::vector<int>& deleted = {}, const std::string& driver = "DBFNTX");

// The records of a table file not marked deleted, read from the file itself.
std::vector<uint32_t> undeleted_records(const QString& path);

// The history file as the program keeps it: an INI file on disk.
class IniHistory : public HistoryStore {
 public:
  explicit IniHistory(const QString& path) : ini_(path) {}
  QString GETSTRING(const QString& s, const QString& k) const override { return ini_.GETSTRING(s, k); }
  void WRITESTRING(const QString& s, const QString& k, const QString& v) override { ini_.WRITESTRING(s, k, v); }
  INIFILESPEC& ini() { return ini_; }

 private:
  INIFILESPEC ini_;
};

// Installs an environment with the given history and defaults for the scope of a test.
class EnvironmentScope {
 public:
  explicit EnvironmentScope(HistoryStore* history, QString driver = QStringLiteral("DBFCDX"), bool exclusive = false,
                            bool read_only = false);
  ~EnvironmentScope();
};

// Every visible button, label and combo box text below `page` shows whole, measured in the
// fonts this system really draws with.
void expect_whole_texts(QWidget* page);

}  // namespace mv::twtest

namespace mv {
class TableGridServer;
namespace twtest {
// The record numbers the server's rows show, top to bottom.
std::vector<uint32_t> window_records(const TableGridServer& s);
}  // namespace twtest
}  // namespace mv
