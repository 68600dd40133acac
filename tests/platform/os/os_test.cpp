// The operating-system services: locks between processes, folders, starting programs.
#include <signal.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include "platform/os/folders.h"
#include "platform/os/instance_lock.h"
#include "platform/os/programs.h"

namespace mv {
namespace {

void write_file(const QString& path, const QByteArray& content, bool executable = false) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
  f.write(content);
  f.close();
  if (executable)
    f.setPermissions(f.permissions() | QFile::ExeOwner | QFile::ReadOwner | QFile::WriteOwner);
}

bool wait_for(const std::function<bool()>& cond, int ms = 5000) {
  for (int waited = 0; waited < ms; waited += 20) {
    if (cond()) return true;
    QThread::msleep(20);
  }
  return cond();
}

class OsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    runtime_ = dir_.filePath("run");
    QDir().mkpath(runtime_);
    QFile::setPermissions(runtime_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime_.toUtf8());
  }
  QTemporaryDir dir_;
  QString runtime_;
};

TEST_F(OsTest, ProgramLockRefusesSecondHolderUntilTheFirstEnds) {
  const QString program = dir_.filePath("bin/molvane");
  const QString lock_path = program_lock_path(program);
  EXPECT_TRUE(lock_path.startsWith(runtime_));
  EXPECT_EQ(lock_path, program_lock_path(program)) << "same name for every start";
  EXPECT_NE(lock_path, program_lock_path(dir_.filePath("other/molvane")))
      << "another program file of the same name is another program";

  // Another process holds the lock, as a running first instance would.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    FileLock lock;
    const bool taken = lock.acquire(lock_path) == FileLock::Outcome::Taken;
    char c = taken ? 'y' : 'n';
    (void)!write(ready[1], &c, 1);
    pause();
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  EXPECT_TRUE(hold_program_lock(program)) << "second instance must see the first";

  // The first instance dies without cleaning up: its lock goes with it.
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  EXPECT_TRUE(QFile::exists(lock_path));
  EXPECT_FALSE(hold_program_lock(program)) << "a dead instance must not block a new start";
  EXPECT_TRUE(hold_program_lock(program)) << "now this process holds it";
  close(ready[0]);
  close(ready[1]);
}

TEST_F(OsTest, CaptionLockIsSeenWithoutBeingTaken) {
  const QString caption = "Kalender Vers. 2.8-3.6";
  EXPECT_FALSE(caption_lock_held(caption));
  EXPECT_FALSE(QFileInfo(caption_lock_path(caption)).fileName().contains(' '));
  {
    FileLock lock;
    ASSERT_EQ(lock.acquire(caption_lock_path(caption)), FileLock::Outcome::Taken);
    EXPECT_TRUE(caption_lock_held(caption));
    EXPECT_TRUE(caption_lock_held(caption)) << "asking must not take the lock";
    FileLock second;
    EXPECT_EQ(second.acquire(caption_lock_path(caption)), FileLock::Outcome::HeldElsewhere);
  }
  EXPECT_FALSE(caption_lock_held(caption)) << "released when the holder ends";
  EXPECT_TRUE(hold_caption_lock(caption));
  EXPECT_TRUE(caption_lock_held(caption));
}

TEST_F(OsTest, RemovableFlagOfDiskOrItsPartition) {
  // A small copy of the kernel's device tree.
  const QString sys = dir_.filePath("sys");
  write_file(sys + "/devices/usb/sdb/removable", "1\n");
  write_file(sys + "/devices/usb/sdb/sdb1/partition", "1\n");
  write_file(sys + "/devices/ata/sda/removable", "0\n");
  write_file(sys + "/devices/ata/sda/sda2/partition", "2\n");
  write_file(sys + "/devices/mmc/mmcblk0/removable", "1\n");
  QDir().mkpath(sys + "/dev/block");
  QFile::link("../../devices/usb/sdb/sdb1", sys + "/dev/block/8:17");
  QFile::link("../../devices/ata/sda/sda2", sys + "/dev/block/8:2");
  QFile::link("../../devices/mmc/mmcblk0", sys + "/dev/block/179:0");
  struct Case {
    unsigned major, minor;
    bool removable;
  } cases[] = {{8, 17, true}, {8, 2, false}, {179, 0, true}, {9, 9, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.major << ":" << c.minor);
    EXPECT_EQ(is_removable_block_device(c.major, c.minor, sys), c.removable);
  }
  EXPECT_FALSE(is_on_removable_media(dir_.filePath("missing"), sys));
}

TEST_F(OsTest, DocumentsFolderFallsBackToHome) {
  const QString home = dir_.filePath("home");
  QDir().mkpath(home);
  qputenv("HOME", home.toUtf8());
  qputenv("XDG_CONFIG_HOME", (home + "/.config").toUtf8());
  EXPECT_EQ(documents_folder(), home) << "no Documents folder: the home folder";
  QDir().mkpath(home + "/Dokumente");
  write_file(home + "/.config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
  EXPECT_EQ(documents_folder(), home + "/Dokumente");
}

TEST_F(OsTest, CalculatorIsTheFirstCandidateOnPath) {
  const QString bin = dir_.filePath("bin");
  write_file(bin + "/xcalc", "#!/bin/sh\n", true);
  write_file(bin + "/kcalc", "#!/bin/sh\n", true);
  const QByteArray old_path = qgetenv("PATH");
  qputenv("PATH", bin.toUtf8());
  EXPECT_EQ(find_calculator(), bin + "/kcalc");
  QFile::remove(bin + "/kcalc");
  QFile::remove(bin + "/xcalc");
  EXPECT_EQ(find_calculator(), QString());
  qputenv("PATH", old_path);
}

TEST_F(OsTest, TextEditorIsTheDesktopDefaultForTextFiles) {
  const QString home = dir_.filePath("home");
  qputenv("HOME", home.toUtf8());
  qputenv("XDG_CONFIG_HOME", (home + "/.config").toUtf8());
  qputenv("XDG_DATA_HOME", (home + "/.local/share").toUtf8());
  qputenv("XDG_CONFIG_DIRS", dir_.filePath("etc").toUtf8());
  qputenv("XDG_DATA_DIRS", dir_.filePath("share").toUtf8());

  const QString marker = dir_.filePath("opened.txt");
  const QString editor = dir_.filePath("bin/my-editor");
  write_file(editor, "#!/bin/sh\nprintf '%s' \"$2\" > '" + marker.toUtf8() + "'\n", true);
  write_file(home + "/.local/share/applications/my-editor.desktop",
             "[Desktop Entry]\nType=Application\nName=Edit\nExec=\"" + editor.toUtf8() +
                 "\" --new-window %F\n");
  write_file(dir_.filePath("share/applications/other.desktop"),
             "[Desktop Entry]\nExec=other %f\n");
  write_file(dir_.filePath("share/applications/mimeinfo.cache"),
             "[MIME Cache]\ntext/plain=other.desktop;\n");
  const QString file = dir_.filePath("Norlek dir/ZovuZUZ.INI");
  write_file(file, "[x]\n");

  // Without a default the applications that handle text files are asked.
  CommandLine cmd = default_text_editor_command(file);
  EXPECT_EQ(cmd.program, "other");
  EXPECT_EQ(cmd.arguments, QStringList{file});

  write_file(home + "/.config/mimeapps.list",
             "[Added Associations]\ntext/plain=other.desktop;\n"
             "[Default Applications]\ntext/plain=missing.desktop;my-editor.desktop;\n");
  cmd = default_text_editor_command(file);
  EXPECT_EQ(cmd.program, editor);
  EXPECT_EQ(cmd.arguments, (QStringList{"--new-window", file}));

  ASSERT_TRUE(open_in_text_editor(file));
  ASSERT_TRUE(wait_for([&] { return QFile::exists(marker); }));
  QFile m(marker);
  ASSERT_TRUE(wait_for([&] { return m.open(QIODevice::ReadOnly) && m.size() > 0; }));
  EXPECT_EQ(QString::fromUtf8(m.readAll()), file) << "the path with its blank is one argument";
}

TEST_F(OsTest, EditorOnAFileIsSeenAmongRunningProcesses) {
  const QString file = dir_.filePath("ZovuZUZ.INI");
  write_file(file, "");
  EXPECT_FALSE(editor_running_on(file));
  QProcess p;
  p.start("/bin/sh", {"-c", "sleep 30", "sh", file});
  ASSERT_TRUE(p.waitForStarted());
  EXPECT_TRUE(wait_for([&] { return editor_running_on(file); }));
  EXPECT_FALSE(editor_running_on(file + ".bak"));
  p.kill();
  p.waitForFinished();
  EXPECT_FALSE(editor_running_on(file));
}

}  // namespace
}  // namespace mv

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
