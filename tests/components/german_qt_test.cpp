// Qt's own texts in German: the standard buttons of a dialog read as German users expect.
#include <QDialogButtonBox>
#include <QPushButton>
#include <gtest/gtest.h>

#include "components/german_qt.h"
#include "tests/platform/gui/qt_env.h"

namespace mv {
namespace {

TEST(GermanQt, StandardDialogButtonsAreGerman) {
  ASSERT_TRUE(load_german_qt_translations());
  QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Open);
  EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text(), "Abbrechen");
  EXPECT_EQ(box.button(QDialogButtonBox::Open)->text(), "Öffnen");
}

}  // namespace
}  // namespace mv
