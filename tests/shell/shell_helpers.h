#pragma once
// A private home for each test: HOME, the XDG folders and the runtime folder point into a
// temporary folder, so the base folder "Norlek" and the locks land there.
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace mv::test {

class HomeFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  QString home() const { return dir_.filePath("home"); }
  QString base_folder() const { return home() + "/Norlek/"; }
  QString path(const QString& name) const { return dir_.filePath(name); }
  // Writes a file (folders made), optionally executable.
  static void write_file(const QString& path, const QByteArray& content, bool executable = false);
  static QByteArray read_file(const QString& path);

  QTemporaryDir dir_;
  QByteArray old_path_;
};

// Waits up to `ms` for `cond`, letting events run.
bool wait_until(const std::function<bool()>& cond, int ms = 5000);

}  // namespace mv::test
