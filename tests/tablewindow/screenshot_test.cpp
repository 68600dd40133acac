// A picture of a table window on a fixture table, written under the build folder for a
// person to look at (tablewindow.png).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QMdiSubWindow>

#include "platform/gui/messagebox.h"
#include "platform/gui/windows.h"
#include "tablewindow/tab_dbfdaten.h"
#include "tablewindow/tabdw_dbfdatei.h"
#include "tablewindow_helpers.h"

namespace mv {
namespace {

TEST(Screenshot, TableWindowOnAFixtureTable) {
  const std::string dir = twtest::copy_fixture("peer/ntx-nomemo");
  MemoryHistoryStore history;
  twtest::EnvironmentScope env(&history);
  gui::RecordingMessageBoxes boxes;
  gui::SHELLWINDOW shell;
  shell.resize(1100, 720);
  shell.show();
  auto* w = new TABDW_DBFDATEI(&shell, QString::fromStdString(dir + "/ADRESSEN.DBF"), true, false, false);
  w->SHOW();
  ASSERT_NE(w->mdi_frame(), nullptr);
  // The first size: the placement's 1012 x 620 on a canvas larger than that.
  EXPECT_EQ(w->mdi_frame()->size(), QSize(1012, 620));
  w->SET_SATZNUMMER();
  w->GOTO(5);
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  // Every text of the control band shows whole at the first size, measured in the fonts
  // this system really draws with.
  twtest::expect_whole_texts(w->data_page());
  const QImage image = shell.grab().toImage();
  ASSERT_FALSE(image.isNull());
  const QString out = QStringLiteral(MOLVANE_BINARY_DIR) + QStringLiteral("/tablewindow.png");
  ASSERT_TRUE(image.save(out)) << out.toStdString();
  EXPECT_TRUE(QFile::exists(out));
  EXPECT_EQ(w->caption(), "Daten: ADRESSEN.DBF < Datensatz: 5 von: 400 >");
  delete w;
}

}  // namespace
}  // namespace mv
