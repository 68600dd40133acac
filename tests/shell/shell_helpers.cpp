#include "tests/shell/shell_helpers.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

namespace mv::test {

void HomeFixture::SetUp() {
  ASSERT_TRUE(dir_.isValid());
  QDir().mkpath(home());
  const QString run = dir_.filePath("run");
  QDir().mkpath(run);
  QFile::setPermissions(run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  qputenv("HOME", home().toUtf8());
  qputenv("XDG_CONFIG_HOME", (home() + "/.config").toUtf8());
  qputenv("XDG_DATA_HOME", (home() + "/.local/share").toUtf8());
  qputenv("XDG_CONFIG_DIRS", dir_.filePath("etc").toUtf8());
  qputenv("XDG_DATA_DIRS", dir_.filePath("share").toUtf8());
  qputenv("XDG_RUNTIME_DIR", run.toUtf8());
  old_path_ = qgetenv("PATH");
  // Only our own stand-ins of other programs are found.
  qputenv("PATH", dir_.filePath("bin").toUtf8());
}

void HomeFixture::TearDown() { qputenv("PATH", old_path_); }

void HomeFixture::write_file(const QString& path, const QByteArray& content, bool executable) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
  f.write(content);
  f.close();
  if (executable) f.setPermissions(f.permissions() | QFile::ExeOwner);
}

QByteArray HomeFixture::read_file(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

bool wait_until(const std::function<bool()>& cond, int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) {
    if (cond()) return true;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QThread::msleep(10);
  }
  return cond();
}

}  // namespace mv::test

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
