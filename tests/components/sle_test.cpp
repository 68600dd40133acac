#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include "components/slestandard.h"
#include "components/std_windows.h"
#include "components/window_utils.h"
#include "platform/gui/palette.h"
#include "tests/platform/gui/qt_env.h"

namespace mv {
namespace {

// A form with three edit fields and a combo box, shown and active.
class Form : public ::testing::Test {
 protected:
  void SetUp() override {
    auto* l = new QVBoxLayout(&w);
    a = new SLESTANDARD(&w);
    b = new SLESTANDARD(&w);
    c = new SLESTANDARD(&w);
    cmb = new CMBSTANDARD(&w);
    for (QWidget* x : {static_cast<QWidget*>(a), static_cast<QWidget*>(b), static_cast<QWidget*>(c),
                       static_cast<QWidget*>(cmb)})
      l->addWidget(x);
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  }
  void focus(QWidget* x) {
    x->setFocus(Qt::TabFocusReason);
    QCoreApplication::processEvents();
  }
  void key(QWidget* x, Qt::Key k, const QString& text = {}) {
    QTest::keyClick(x, k, Qt::NoModifier);
    (void)text;
    QCoreApplication::processEvents();
  }
  QWidget w;
  SLESTANDARD *a, *b, *c;
  CMBSTANDARD* cmb;
};

TEST_F(Form, EnterAndDownMoveOnUpMovesBackOtherKeysStay) {
  focus(b);
  key(b, Qt::Key_Down);
  EXPECT_EQ(QApplication::focusWidget(), c);
  key(c, Qt::Key_Up);
  EXPECT_EQ(QApplication::focusWidget(), b);
  key(b, Qt::Key_Return);
  EXPECT_EQ(QApplication::focusWidget(), c);
  key(c, Qt::Key_Left);
  key(c, Qt::Key_Right);
  EXPECT_EQ(QApplication::focusWidget(), c);
}

TEST_F(Form, BackgroundsFollowFocusAndReadOnly) {
  focus(a);
  EXPECT_EQ(gui::background_of(a), gui::FOKUSBRUSH().color());
  EXPECT_EQ(gui::background_of(b), gui::NORMALBRUSH().color());
  focus(b);
  EXPECT_EQ(gui::background_of(a), gui::NORMALBRUSH().color());
  // Read-only while focused: read-only colour at once and on every focus change.
  b->READONLY(true);
  EXPECT_EQ(gui::background_of(b), gui::READONLYBRUSH().color());
  focus(a);
  focus(b);
  EXPECT_EQ(gui::background_of(b), gui::READONLYBRUSH().color());
  // Back to writable while focused: normal until it next gains the focus.
  b->READONLY(false);
  EXPECT_EQ(gui::background_of(b), gui::NORMALBRUSH().color());
  focus(a);
  focus(b);
  EXPECT_EQ(gui::background_of(b), gui::FOKUSBRUSH().color());
  focus(cmb);
  EXPECT_EQ(gui::background_of(cmb), gui::FOKUSBRUSH().color());
  focus(a);
  EXPECT_EQ(gui::background_of(cmb), gui::NORMALBRUSH().color());
}

TEST_F(Form, CaretAtStartForTextFieldsNumericKeepsSelection) {
  a->setText("ABC");
  c->setText("123");
  c->set_value_type("N");
  focus(b);
  focus(a);
  EXPECT_EQ(a->cursorPosition(), 0);
  EXPECT_FALSE(a->hasSelectedText());
  focus(c);
  EXPECT_TRUE(c->hasSelectedText());  // Tab focus selects all, as the edit does
}

TEST_F(Form, MaskRightButtonAndKeyTable) {
  a->MASKE("0123456789");
  focus(a);
  QTest::keyClicks(a, "1a2");
  EXPECT_EQ(a->text(), "12");
  QTest::keyClick(a, Qt::Key_Backspace);
  EXPECT_EQ(a->text(), "1");
  a->MASKE("");
  QTest::keyClicks(a, "x");
  EXPECT_EQ(a->text(), "1x");

  a->setCursorPosition(0);
  int right = 0;
  a->SETRIGHTMOUSEKEY([&](SLESTANDARD*) { ++right; });
  QTest::mouseClick(a, Qt::RightButton, Qt::NoModifier, QPoint(a->width() - 3, 5));
  EXPECT_EQ(a->cursorPosition(), 0);
  EXPECT_EQ(right, 1);
  EXPECT_EQ(a->contextMenuPolicy(), Qt::NoContextMenu);

  QStringList ran;
  a->SETKEY(Qt::Key_F5, [&](SLESTANDARD*) { ran << "first"; });
  a->SETKEY(Qt::Key_F5, [&](SLESTANDARD*) { ran << "second"; });
  QTest::keyPress(a, Qt::Key_F5);
  EXPECT_TRUE(ran.isEmpty());  // blocks run on release
  QTest::keyRelease(a, Qt::Key_F5);
  EXPECT_EQ(ran, QStringList({"first"}));
}

TEST_F(Form, ValidBlockKeepsFocus) {
  bool answer = false;
  a->VALIDBLOCK([&](SLESTANDARD*) { return answer; });
  focus(a);
  focus(b);
  QCoreApplication::processEvents();
  EXPECT_EQ(QApplication::focusWidget(), a);
  EXPECT_FALSE(w.property("VALID").toBool());
  answer = true;
  focus(b);
  QCoreApplication::processEvents();
  EXPECT_EQ(QApplication::focusWidget(), b);
  EXPECT_TRUE(w.property("VALID").toBool());
}

TEST(RowTint, PageTintsEvenRowsDialogOddRows) {
  STD_DATAWINDOW page;
  auto* pl = new QTreeWidget(&page);
  new QTreeWidgetItem(pl, QStringList{"eins"});
  new QTreeWidgetItem(pl, QStringList{"zwei"});
  page.show();
  STD_DLGWINDOW dlg(nullptr, false);
  auto* dl = new QTreeWidget(&dlg);
  new QTreeWidgetItem(dl, QStringList{"eins"});
  dlg.show();
  EXPECT_FALSE(row_is_tinted(pl, 0));
  EXPECT_TRUE(row_is_tinted(pl, 1));
  EXPECT_TRUE(row_is_tinted(dl, 0));
  EXPECT_FALSE(row_is_tinted(dl, 1));
}

TEST(ReadOnlyHelpers, SetTheFieldReadOnly) {
  SLESTANDARD e;
  EDITSETREADONLY(&e);
  EXPECT_TRUE(e.isReadOnly());
  EXPECT_EQ(gui::background_of(&e), gui::READONLYBRUSH().color());
  EDITSETREADWRITE(&e);
  EXPECT_FALSE(e.isReadOnly());
}

}  // namespace
}  // namespace mv
