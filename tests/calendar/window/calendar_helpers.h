#pragma once
// A private home for each calendar test: HOME and the XDG folders point into a temporary
// folder, start-up runs there, and everything it set is undone afterwards.
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/gui/messagebox.h"

#include <ostream>

// Readable QStrings in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace mv::test {

class CalendarHome : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Runs the steps before the window for a program in /opt/kal.
  void prepare(const QString& program = QStringLiteral("/opt/kal/kalender"));

  QString home() const { return dir_.filePath("home"); }
  QString base() const { return home() + "/Norlek/"; }
  QString data() const { return base() + "Kalender/"; }
  QString path(const QString& name) const { return dir_.filePath(name); }
  QString ini(const QString& key) const;
  void set_ini(const QString& key, const QString& value);
  static QByteArray read_file(const QString& path);

  QTemporaryDir dir_;
  gui::RecordingMessageBoxes boxes;
};

}  // namespace mv::test
