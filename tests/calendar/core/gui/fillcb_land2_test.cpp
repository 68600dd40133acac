#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QSignalSpy>

#include "calendar/core/calendar_state.h"
#include "calendar/core/gui/fillcb_land2.h"

namespace mv {
namespace {

QApplication& app() {
  static int argc = 1;
  static char name[] = "fillcb_land2_test";
  static char* argv[] = {name, nullptr};
  static QApplication instance(argc, argv);
  return instance;
}

class FillCbLand2 : public ::testing::Test {
 protected:
  void SetUp() override { app(); }
  void TearDown() override { LANDCODE.clear(); }
};

TEST_F(FillCbLand2, FillsTheRegionsOfTheCountryWithTheirCodes) {
  QComboBox combo;
  LANDCODE = "D";
  FILLCB_LAND2(combo);
  ASSERT_EQ(combo.count(), 17);
  EXPECT_EQ(combo.currentIndex(), 0);
  EXPECT_EQ(combo.itemText(0), "alle gesetzlichen Feiertage");
  EXPECT_EQ(combo.itemData(0).toString(), "11111111A");
  EXPECT_EQ(combo.itemText(16), QString::fromUtf8("Thüringen"));
  EXPECT_EQ(combo.itemData(16).toString(), "01001000P");
  // The caller selects the stored region by its code.
  combo.setCurrentIndex(combo.findData(QString("00000000C")));
  EXPECT_EQ(combo.currentText(), "Berlin");

  LANDCODE = "A";
  FILLCB_LAND2(combo);
  ASSERT_EQ(combo.count(), 1);
  EXPECT_EQ(combo.currentIndex(), 0);
  EXPECT_EQ(combo.currentText(), "alle gesetzlichen Feiertage");
  EXPECT_EQ(combo.currentData().toString(), "1111111A");

  LANDCODE = "CH";
  FILLCB_LAND2(combo);
  ASSERT_EQ(combo.count(), 26);
  EXPECT_EQ(combo.itemText(25), QString::fromUtf8("Zürich"));
  EXPECT_EQ(combo.itemData(25).toString(), "0000000");
}

TEST_F(FillCbLand2, OtherCountryKeepsTheItemsAndMakesTheFirstCurrent) {
  QComboBox combo;
  LANDCODE = "D";
  FILLCB_LAND2(combo);
  combo.setCurrentIndex(5);
  for (const char* land : {"X", "", "d"}) {
    SCOPED_TRACE(land);
    LANDCODE = land;
    FILLCB_LAND2(combo);
    EXPECT_EQ(combo.count(), 17);
    EXPECT_EQ(combo.currentIndex(), 0);
  }
  QComboBox empty;
  FILLCB_LAND2(empty);
  EXPECT_EQ(empty.count(), 0);
  EXPECT_EQ(empty.currentIndex(), -1);
}

TEST_F(FillCbLand2, RaisesNoSignals) {
  QComboBox combo;
  combo.addItem("alt", "x");
  combo.addItem("alt2", "y");
  combo.setCurrentIndex(1);
  QSignalSpy changed(&combo, &QComboBox::currentIndexChanged);
  LANDCODE = "D";
  FILLCB_LAND2(combo);
  EXPECT_EQ(changed.count(), 0);
  EXPECT_EQ(combo.count(), 17);
}

}  // namespace
}  // namespace mv
