// The data page driven through its controls, buttons and the window's menu commands.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

#include "components/slestandard.h"
#include "components/stdgridbrowser.h"
#include "platform/base/bytes.h"
#include "platform/gui/messagebox.h"
#include "platform/gui/palette.h"
#include "platform/gui/windows.h"
#include "platform/table/index/order_list.h"
#include "tablewindow/tab_dbfdaten.h"
#include "tablewindow/tabdw_dbfdatei.h"
#include "tablewindow_helpers.h"
#include <QRadioButton>
#include <QAbstractItemModelTester>
#include <QTest>
#include <QWheelEvent>
#include <algorithm>
#include <functional>

namespace mv {
namespace {

using twtest::scratch_dir;

// Notches of the mouse wheel over `viewport` (positive: away from the user).
void wheel(QWidget* viewport, int notches) {
  QWheelEvent e(QPointF(20, 20), viewport->mapToGlobal(QPointF(20, 20)), QPoint(), QPoint(0, 120 * notches),
                Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(viewport, &e);
}

// Press, release and the double click, as the window system delivers them.
void double_click(QWidget* viewport, QPoint at) {
  const QPointF p(at);
  const QPointF g = viewport->mapToGlobal(p);
  QMouseEvent press(QEvent::MouseButtonPress, p, g, Qt::LeftButton, Qt::LeftButton, {});
  QApplication::sendEvent(viewport, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, p, g, Qt::LeftButton, Qt::NoButton, {});
  QApplication::sendEvent(viewport, &release);
  QMouseEvent dbl(QEvent::MouseButtonDblClick, p, g, Qt::LeftButton, Qt::LeftButton, {});
  QApplication::sendEvent(viewport, &dbl);
}

void settle() {
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

// A shown shell with one table window on a fresh table.
class DataPage : public ::testing::Test {
 protected:
  void open(int records, const std::vector<int>& deleted, bool share = true, bool read_only = false) {
    dir_ = scratch_dir("page");
    path_ = QString::fromStdString(twtest::make_table(dir_, "KUNDEN.DBF", records, deleted));
    env_ = std::make_unique<twtest::EnvironmentScope>(&history_);
    shell_.resize(1000, 700);
    shell_.show();
    w_ = new TABDW_DBFDATEI(&shell_, path_, share, read_only, false);
    w_->SHOW();
    if (w_->mdi_frame()) w_->mdi_frame()->resize(950, 600);
    settle();
    ASSERT_NE(w_->server(), nullptr);
    // Every change of the rows keeps the model's signals consistent.
    tester_ = std::make_unique<QAbstractItemModelTester>(w_->server(),
                                                         QAbstractItemModelTester::FailureReportingMode::Fatal);
  }
  void TearDown() override {
    tester_.reset();
    delete w_;
    env_.reset();
  }
  TAB_DBFDATEN* page() { return w_->data_page(); }
  template <typename T>
  T* ctl(const char* name) {
    T* c = page()->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
  }
  TableGridServer* server() { return w_->server(); }
  STDGRIDBROWSER* grid() { return page()->grid(); }
  std::vector<uint32_t> rows() { return twtest::window_records(*server()); }
  uint32_t recno() { return server()->RECNO(); }
  // Reads record `r` from the file through a second open.
  std::string name_on_disk(uint32_t r) {
    OpenOptions o;
    o.shared = true;
    o.read_only = true;
    auto t = Table::open(path_.toStdString(), o);
    if (!t) return "?";
    (*t)->go_to(r).ignore();
    auto v = (*t)->field_get(1);
    std::string s = v ? v->str : "?";
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
  }
  bool deleted_on_disk(uint32_t r) {
    QFile f(path_);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray b = f.readAll();
    const int hl = int(get_le16(reinterpret_cast<const uint8_t*>(b.constData()) + 8));
    const int rl = int(get_le16(reinterpret_cast<const uint8_t*>(b.constData()) + 10));
    return b.at(hl + int(r - 1) * rl) == '*';
  }

  std::string dir_;
  QString path_;
  MemoryHistoryStore history_;
  std::unique_ptr<twtest::EnvironmentScope> env_;
  gui::SHELLWINDOW shell_;
  gui::RecordingMessageBoxes boxes_;
  TABDW_DBFDATEI* w_ = nullptr;
  std::unique_ptr<QAbstractItemModelTester> tester_;
};

TEST_F(DataPage, NavigationSkipsHiddenDeletedRecords) {
  open(10, {1, 4, 10});
  EXPECT_EQ(recno(), 2u);  // the first visible record
  EXPECT_EQ(w_->caption(), "Daten: KUNDEN.DBF < Datensatz: 2 von: 10 >");
  // The rows are the records the deleted filter lets through.
  EXPECT_EQ(rows(), (std::vector<uint32_t>{2, 3, 5, 6, 7, 8, 9}));
  w_->SKIPNEXT();
  EXPECT_EQ(recno(), 3u);
  w_->SKIPNEXT();
  EXPECT_EQ(recno(), 5u);
  EXPECT_EQ(grid()->currentIndex().row(), 2);
  w_->GOBOTTOM();
  EXPECT_EQ(recno(), 9u);
  EXPECT_EQ(w_->caption(), "Daten: KUNDEN.DBF < Datensatz: 9 von: 10 >");
  w_->SKIPNEXT();  // at the end: stays
  EXPECT_EQ(recno(), 9u);
  w_->GOTOP();
  EXPECT_EQ(recno(), 2u);
  w_->SKIPPREVIOUS();
  EXPECT_EQ(recno(), 2u);
  // A click in the grid moves the table.
  grid()->setCurrentIndex(server()->index(4, 0));
  EXPECT_EQ(recno(), 7u);
  EXPECT_EQ(w_->LESESATZNR(), 7);
  EXPECT_EQ(w_->caption(), "Daten: KUNDEN.DBF < Datensatz: 7 von: 10 >");
}

// A table longer than the grid: the rows are a window of as many records as the grid
// shows, moved by the keys, the wheel and the scroll bar; the current row keeps its place
// on the screen and the table follows the record under it.
TEST_F(DataPage, WindowMovesThroughATableLongerThanTheGrid) {
  std::vector<int> deleted = {299, 300};
  for (int r = 7; r < 300; r += 7) deleted.push_back(r);
  open(300, deleted);
  std::vector<uint32_t> visible;  // the records the deleted filter lets through
  for (uint32_t r = 1; r <= 300; ++r)
    if (std::find(deleted.begin(), deleted.end(), int(r)) == deleted.end()) visible.push_back(r);
  auto visible_from = [&](size_t at, size_t n) {
    return std::vector<uint32_t>(visible.begin() + long(at), visible.begin() + long(at + n));
  };
  const int page = server()->rowCount();
  ASSERT_GT(page, 5);
  ASSERT_LT(page, 60);
  EXPECT_EQ(page, server()->page_rows());
  EXPECT_EQ(rows(), visible_from(0, size_t(page)));
  // Every row is shown whole: the view itself never scrolls.
  const int line = grid()->verticalHeader()->defaultSectionSize();
  EXPECT_LE(page * line, grid()->viewport()->height());
  EXPECT_GT((page + 1) * line, grid()->viewport()->height());

  auto key = [&](int k, Qt::KeyboardModifiers m = Qt::NoModifier) {
    QTest::keyClick(grid(), Qt::Key(k), m);
    settle();
  };
  grid()->setFocus();
  grid()->setCurrentIndex(server()->index(page - 1, 1));
  EXPECT_EQ(recno(), visible[size_t(page - 1)]);
  key(Qt::Key_Down);  // past the last row: the window moves by one record, the row stays
  EXPECT_EQ(rows(), visible_from(1, size_t(page)));
  EXPECT_EQ(grid()->currentIndex().row(), page - 1);
  EXPECT_EQ(recno(), visible[size_t(page)]);
  EXPECT_EQ(w_->caption(), QStringLiteral("Daten: KUNDEN.DBF < Datensatz: %1 von: 300 >").arg(recno()));
  key(Qt::Key_PageDown);
  EXPECT_EQ(rows(), visible_from(1 + size_t(page), size_t(page)));
  EXPECT_EQ(recno(), visible[size_t(2 * page)]);
  key(Qt::Key_End, Qt::ControlModifier);  // the last visible record on the last row
  EXPECT_EQ(rows(), visible_from(visible.size() - size_t(page), size_t(page)));
  EXPECT_EQ(recno(), 298u);
  EXPECT_EQ(grid()->currentIndex().row(), page - 1);
  key(Qt::Key_Down);  // nothing after it
  EXPECT_EQ(recno(), 298u);
  key(Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(rows(), visible_from(0, size_t(page)));
  EXPECT_EQ(recno(), 1u);
  key(Qt::Key_Up);  // nothing before it
  EXPECT_EQ(rows(), visible_from(0, size_t(page)));

  // The wheel: three records a notch, the current row keeps its place.
  grid()->setCurrentIndex(server()->index(2, 1));
  wheel(grid()->viewport(), -1);
  const int lines = QApplication::wheelScrollLines();
  EXPECT_EQ(rows(), visible_from(size_t(lines), size_t(page)));
  EXPECT_EQ(grid()->currentIndex().row(), 2);
  EXPECT_EQ(recno(), visible[size_t(lines + 2)]);
  // Over the frozen columns too.
  ASSERT_NE(grid()->frozen_view(), nullptr);
  wheel(grid()->frozen_view()->viewport(), -1);
  EXPECT_EQ(rows(), visible_from(size_t(2 * lines), size_t(page)));
  wheel(grid()->viewport(), 1);

  // The scroll bar: its position is the first row's place; a jump to its end shows the
  // last records, a step goes back one visible record.
  auto* bar = grid()->findChild<QScrollBar*>(QStringLiteral("page_bar"));
  ASSERT_NE(bar, nullptr);
  EXPECT_TRUE(bar->isVisible());
  EXPECT_FALSE(grid()->verticalScrollBar()->isVisible());
  EXPECT_EQ(bar->value(), int(visible[size_t(lines)]) - 1);
  EXPECT_EQ(bar->maximum(), 300 - page);
  bar->setValue(bar->maximum());
  EXPECT_EQ(rows(), visible_from(visible.size() - size_t(page), size_t(page)));
  bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
  EXPECT_EQ(rows(), visible_from(visible.size() - size_t(page) - 1, size_t(page)));
  EXPECT_EQ(bar->value(), int(rows().front()) - 1);

  // A record before the window comes in at the top, one after it at the bottom.
  w_->GOTO(100);
  EXPECT_EQ(rows().front(), 100u);
  EXPECT_EQ(grid()->currentIndex().row(), 0);
  w_->GOTO(290);
  EXPECT_EQ(rows().back(), 290u);
  EXPECT_EQ(int(rows().size()), page);
  EXPECT_EQ(grid()->currentIndex().row(), page - 1);

  // A smaller grid takes fewer rows and keeps the current record.
  w_->mdi_frame()->resize(950, 400);
  settle();
  EXPECT_LT(server()->rowCount(), page);
  EXPECT_EQ(server()->rowCount(), server()->page_rows());
  EXPECT_EQ(recno(), 290u);
  EXPECT_EQ(server()->recno(grid()->currentIndex().row()), 290u);

  // Rows as high as their contents: the window takes as many as still fit whole.
  ctl<QCheckBox>("CHB_VARZEILE")->click();
  settle();
  int height = 0;
  for (int r = 0; r < server()->rowCount(); ++r) height += grid()->rowHeight(r);
  EXPECT_LE(height, grid()->viewport()->height());
  EXPECT_EQ(server()->rowCount(), server()->page_rows());
  EXPECT_EQ(grid()->verticalScrollBar()->value(), 0);
  EXPECT_EQ(server()->recno(grid()->currentIndex().row()), 290u);
}

TEST_F(DataPage, PseudoColumnsFilterAndMenuMarksMoveTogether) {
  open(6, {3});
  const int recno_col = server()->column_index("RECNO");
  EXPECT_TRUE(grid()->isColumnHidden(recno_col));
  EXPECT_TRUE(grid()->isColumnHidden(server()->column_index("DEL")));
  EXPECT_TRUE(deleted_filter());

  ctl<QCheckBox>("CHB_DEL")->click();  // "gelöschte Daten" first: DEL at position 1
  settle();
  EXPECT_FALSE(deleted_filter());
  EXPECT_EQ(server()->column_index("DEL"), 0);
  EXPECT_FALSE(grid()->isColumnHidden(0));
  EXPECT_TRUE(w_->item_checked(kItemDeleted));
  EXPECT_EQ(rows(), (std::vector<uint32_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(server()->data(server()->index(2, 0), Qt::DisplayRole).toString(), " X");
  EXPECT_EQ(server()->data(server()->index(1, 0), Qt::DisplayRole).toString(), " ");

  w_->SET_SATZNUMMER();  // the menu item ticks the box; RECNO goes in front of DEL
  settle();
  EXPECT_TRUE(ctl<QCheckBox>("CHB_SATZNR")->isChecked());
  EXPECT_TRUE(w_->item_checked(kItemRecno));
  EXPECT_EQ(server()->column_index("RECNO"), 0);
  EXPECT_EQ(server()->column_index("DEL"), 1);
  EXPECT_EQ(server()->data(server()->index(4, 0), Qt::DisplayRole).toString(), "5");

  w_->SET_DELETED();  // and back: the box, the filter, the column and the mark
  settle();
  EXPECT_FALSE(ctl<QCheckBox>("CHB_DEL")->isChecked());
  EXPECT_TRUE(deleted_filter());
  EXPECT_TRUE(grid()->isColumnHidden(server()->column_index("DEL")));
  EXPECT_FALSE(w_->item_checked(kItemDeleted));
  EXPECT_EQ(rows(), (std::vector<uint32_t>{1, 2, 4, 5, 6}));

  // Activation puts the marks of this window's boxes back on the menu.
  w_->UNCHECKITEM(kItemRecno);
  w_->ACTIVATE();
  EXPECT_TRUE(w_->item_checked(kItemRecno));
}

TEST_F(DataPage, FrozenColumnsCountTheShownPseudoColumns) {
  open(3, {});
  struct Case {
    const char* edit;
    bool satznr, del;
    int frozen;
  };
  for (const Case& c : std::vector<Case>{{"0", true, true, 2}, {"", true, false, 1}, {"3", false, false, 3},
                                         {"1", false, true, 2}, {"", false, false, 0}}) {
    SCOPED_TRACE(std::string(c.edit) + (c.satznr ? " satznr" : "") + (c.del ? " del" : ""));
    if (ctl<QCheckBox>("CHB_SATZNR")->isChecked() != c.satznr) ctl<QCheckBox>("CHB_SATZNR")->click();
    if (ctl<QCheckBox>("CHB_DEL")->isChecked() != c.del) ctl<QCheckBox>("CHB_DEL")->click();
    ctl<QLineEdit>("SE_FREEZE")->setText(c.edit);
    page()->EDITCHANGE();
    EXPECT_EQ(grid()->frozen_columns(), c.frozen);
    EXPECT_EQ(ctl<QScrollBar>("VS_FREEZE")->value(), QString(c.edit).toInt());
  }
  // The spinner runs to the field count and hands its value to the edit.
  EXPECT_EQ(ctl<QScrollBar>("VS_FREEZE")->maximum(), 4);
  ctl<QScrollBar>("VS_FREEZE")->setValue(2);
  EXPECT_EQ(ctl<QLineEdit>("SE_FREEZE")->text(), "2");
}

TEST_F(DataPage, ReopenKeepsBoxesAndViewInAgreement) {
  open(8, {2});
  ctl<QCheckBox>("CHB_DEL")->click();
  ctl<QCheckBox>("CHB_SATZNR")->click();
  w_->GOTO(6);
  ctl<QCheckBox>("CHB_EXCLUSIVE")->click();  // reopens exclusively
  settle();
  ASSERT_NE(server(), nullptr);
  EXPECT_FALSE(w_->LESHARE);
  EXPECT_FALSE(server()->SHARED());
  EXPECT_EQ(recno(), 6u);
  EXPECT_FALSE(deleted_filter());
  EXPECT_FALSE(grid()->isColumnHidden(server()->column_index("DEL")));
  EXPECT_FALSE(grid()->isColumnHidden(server()->column_index("RECNO")));
  EXPECT_TRUE(w_->item_checked(kItemDeleted));
  EXPECT_EQ(grid()->frozen_columns(), 3);  // freeze 1 plus both pseudo columns
  EXPECT_EQ(boxes_.count(), 0);
  // The window's reopen under both names.
  w_->OPENDBFNEU();
  ASSERT_NE(server(), nullptr);
  EXPECT_EQ(recno(), 6u);
  EXPECT_FALSE(deleted_filter());
}

TEST_F(DataPage, OrderListsWithoutOrders) {
  open(3, {});
  for (QComboBox* cb : {ctl<QComboBox>("CB_INDEXNAME"), ctl<QComboBox>("CB_INDEXSCHL")}) {
    ASSERT_EQ(cb->count(), 1);
    EXPECT_EQ(cb->itemText(0), "ohne Index (SatzNr)");
    EXPECT_EQ(cb->currentData().toInt(), 0);
  }
  EXPECT_TRUE(w_->AINDEX.empty());
  EXPECT_EQ(server()->INDEXORD(), 0);
  w_->FILL_CBINDEX();
  EXPECT_EQ(ctl<QComboBox>("CB_INDEXNAME")->count(), 1);
}

TEST_F(DataPage, AppendDeleteAndRecallWithButtonsAndMenu) {
  open(6, {});
  ctl<QPushButton>("PB_APPEND")->click();
  EXPECT_EQ(server()->LASTREC(), 7u);
  EXPECT_EQ(recno(), 7u);
  EXPECT_EQ(rows(), (std::vector<uint32_t>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(w_->caption(), "Daten: KUNDEN.DBF < Datensatz: 7 von: 7 >");

  // Deleted records hidden: the grid moves to the record before.
  w_->GOTO(5);
  ctl<QPushButton>("PB_DELETE")->click();
  EXPECT_TRUE(deleted_on_disk(5));
  EXPECT_EQ(recno(), 4u);
  settle();
  EXPECT_EQ(rows(), (std::vector<uint32_t>{1, 2, 3, 4, 6, 7}));
  // On the first visible record the deleted record stays current.
  w_->GOTOP();
  w_->DELETE();  // the menu item on the data tab
  EXPECT_TRUE(deleted_on_disk(1));
  EXPECT_EQ(recno(), 1u);
  EXPECT_EQ(ctl<QPushButton>("PB_DELETE")->text(), "Löschung aufheben");
  // Pressed again it recalls.
  ctl<QPushButton>("PB_DELETE")->click();
  EXPECT_FALSE(deleted_on_disk(1));
  EXPECT_EQ(ctl<QPushButton>("PB_DELETE")->text(), "Datensatz löschen");

  // Deleted records shown: the record is deleted and stays current, then recalled.
  ctl<QCheckBox>("CHB_DEL")->click();
  w_->GOTO(3);
  ctl<QPushButton>("PB_DELETE")->click();
  EXPECT_TRUE(deleted_on_disk(3));
  EXPECT_EQ(recno(), 3u);
  EXPECT_EQ(ctl<QPushButton>("PB_DELETE")->text(), "Löschung aufheben");
  ctl<QPushButton>("PB_DELETE")->click();
  EXPECT_FALSE(deleted_on_disk(3));
  EXPECT_EQ(ctl<QPushButton>("PB_DELETE")->text(), "Datensatz löschen");
  EXPECT_EQ(boxes_.count(), 0);
}

TEST_F(DataPage, ReadOnlyTableRefusesChanges) {
  open(4, {}, true, true);
  EXPECT_TRUE(ctl<QCheckBox>("CHB_READONLY")->isChecked());
  const QByteArray before = [&] {
    QFile f(path_);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
  }();
  for (QAbstractButton* b : std::vector<QAbstractButton*>{ctl<QPushButton>("PB_APPEND"), ctl<QPushButton>("PB_DELETE"), ctl<QPushButton>("PB_REPLACE")}) {
    SCOPED_TRACE(b->objectName().toStdString());
    boxes_.clear();
    b->click();
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_EQ(boxes_.last().caption, "Achtung");
    EXPECT_EQ(boxes_.last().text, "Die Datei wurde schreibgeshützt geöffnet");
  }
  EXPECT_EQ(server()->LASTREC(), 4u);
  // Editing cannot be switched on.
  boxes_.clear();
  QComboBox* edit = ctl<QComboBox>("CB_EDITMODE");
  edit->setCurrentIndex(edit->findData("ACTIVE"));
  page()->LISTBOXSELECT(edit);
  ASSERT_EQ(boxes_.count(), 1);
  EXPECT_EQ(boxes_.last().text, "Die Datei wurde schreibgeschützt geöffnet,\r\ndas Editieren ist deshalb nicht möglich!");
  EXPECT_EQ(edit->currentData().toString(), "INACTIVE");
  EXPECT_EQ(grid()->editTriggers(), QAbstractItemView::NoEditTriggers);
  QFile f(path_);
  f.open(QIODevice::ReadOnly);
  EXPECT_EQ(f.readAll(), before);
}

TEST_F(DataPage, GridEditsAreWrittenInSharedUse) {
  open(4, {});
  QComboBox* edit = ctl<QComboBox>("CB_EDITMODE");
  edit->setCurrentIndex(edit->findData("ACTIVE"));
  page()->LISTBOXSELECT(edit);
  EXPECT_NE(grid()->editTriggers(), QAbstractItemView::NoEditTriggers);
  const int name_col = server()->column_index("NAME");
  ASSERT_TRUE(server()->setData(server()->index(2, name_col), QStringLiteral("Müller"), Qt::EditRole));
  EXPECT_EQ(name_on_disk(3), std::string("M\x81ller"));  // CP850 on disk
  EXPECT_EQ(server()->data(server()->index(2, name_col), Qt::DisplayRole).toString(), "Müller");
  // A value the field cannot take is refused with a message and changes nothing.
  const int nr_col = server()->column_index("NR");
  EXPECT_FALSE(server()->setData(server()->index(2, nr_col), QStringLiteral("zwölf"), Qt::EditRole));
  settle();
  ASSERT_EQ(boxes_.count(), 1);
  EXPECT_EQ(boxes_.last().caption, "Achtung");
  EXPECT_EQ(server()->data(server()->index(2, nr_col), Qt::DisplayRole).toString(), "3");
}

// A value typed into a cell belongs to the record it was typed on, also when the wheel or
// the keys move other records under its row before it is confirmed.
TEST_F(DataPage, OpenEditorIsWrittenToItsRecordBeforeTheWindowMoves) {
  open(200, {});
  QComboBox* edit = ctl<QComboBox>("CB_EDITMODE");
  edit->setCurrentIndex(edit->findData("ACTIVE"));
  page()->LISTBOXSELECT(edit);
  const int name_col = server()->column_index("NAME");
  struct Case {
    const char* how;
    std::function<void()> move;
  };
  const std::vector<Case> cases = {
      {"wheel", [&] { wheel(grid()->viewport(), -1); }},
      {"page down", [&] { QTest::keyClick(grid(), Qt::Key_PageDown); }},
      {"scroll bar", [&] {
         grid()->findChild<QScrollBar*>(QStringLiteral("page_bar"))->triggerAction(QAbstractSlider::SliderPageStepAdd);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    const QModelIndex cell = server()->index(1, name_col);
    const uint32_t typed_on = server()->recno(1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the last case's editor
    grid()->setCurrentIndex(cell);
    grid()->edit(cell);
    settle();
    auto editors = grid()->findChildren<QLineEdit*>();
    ASSERT_EQ(editors.size(), 1);
    QLineEdit* editor = editors.front();
    editor->setText(QStringLiteral("Neu %1").arg(typed_on));
    c.move();
    settle();
    EXPECT_NE(server()->recno(1), typed_on);  // the window moved
    EXPECT_EQ(name_on_disk(typed_on), "Neu " + std::to_string(typed_on));
    EXPECT_EQ(name_on_disk(server()->recno(1)), "Name " + std::to_string(server()->recno(1)));
  }
  EXPECT_EQ(boxes_.count(), 0);
}

// The shared table's refresh runs every second; a value half typed into a cell survives
// it, and the refresh comes once the value is written.
TEST_F(DataPage, RefreshOfASharedTableKeepsTheOpenEditor) {
  open(5, {});
  ASSERT_TRUE(server()->SHARED());
  QComboBox* cursor = ctl<QComboBox>("CB_CURSOR");
  cursor->setCurrentIndex(cursor->findData("CELL"));
  page()->LISTBOXSELECT(cursor);
  QComboBox* edit = ctl<QComboBox>("CB_EDITMODE");
  edit->setCurrentIndex(edit->findData("ACTIVE"));
  page()->LISTBOXSELECT(edit);
  const int name_col = server()->column_index("NAME");
  grid()->setFocus();
  grid()->setCurrentIndex(server()->index(1, name_col));
  QTest::keyClick(grid(), Qt::Key_F2);
  settle();
  auto editors = grid()->findChildren<QLineEdit*>();
  ASSERT_EQ(editors.size(), 1);
  QLineEdit* editor = editors.front();
  editor->end(false);
  QTest::keyClicks(editor, "W");
  grid()->AUTOREFRESH();  // the timer's tick
  settle();
  QTest::keyClicks(QApplication::focusWidget(), "V");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  settle();
  EXPECT_EQ(name_on_disk(2), "Name 2WV");
  EXPECT_EQ(boxes_.count(), 0);
  // Once written, the refresh shows another program's change again.
  {
    OpenOptions o;
    o.shared = true;
    auto t = Table::open(path_.toStdString(), o);
    ASSERT_TRUE(t);
    ASSERT_TRUE((*t)->go_to(4).is_ok());
    ASSERT_TRUE((*t)->field_put(1, Value::character("Anders")).is_ok());
    ASSERT_TRUE((*t)->commit().is_ok());
  }
  grid()->AUTOREFRESH();
  EXPECT_EQ(server()->data(server()->index(3, name_col), Qt::DisplayRole).toString().trimmed(), "Anders");
}

// The first field is frozen by default; frozen cells edit like the others, their editor
// shown over the frozen part, and the keys go back to the grid afterwards.
TEST_F(DataPage, FrozenColumnsEditLikeTheOthers) {
  open(5, {});
  QComboBox* cursor = ctl<QComboBox>("CB_CURSOR");
  cursor->setCurrentIndex(cursor->findData("CELL"));
  page()->LISTBOXSELECT(cursor);
  QComboBox* edit = ctl<QComboBox>("CB_EDITMODE");
  edit->setCurrentIndex(edit->findData("ACTIVE"));
  page()->LISTBOXSELECT(edit);
  ASSERT_EQ(grid()->frozen_columns(), 1);
  QTableView* frozen = grid()->frozen_view();
  ASSERT_NE(frozen, nullptr);
  const int name_col = server()->column_index("NAME");
  ASSERT_FALSE(frozen->isColumnHidden(name_col));
  grid()->setFocus();
  grid()->setCurrentIndex(server()->index(1, name_col));
  QTest::keyClick(grid(), Qt::Key_F2);
  settle();
  auto editors = frozen->viewport()->findChildren<QLineEdit*>();
  ASSERT_EQ(editors.size(), 1);
  editors.front()->setText(QStringLiteral("Eis"));
  QTest::keyClick(editors.front(), Qt::Key_Return);
  settle();
  EXPECT_EQ(name_on_disk(2), "Eis");
  EXPECT_EQ(QApplication::focusWidget(), grid());
  // A double click on the frozen part opens the editor there as well.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  const QRect cell = frozen->visualRect(server()->index(3, name_col));
  double_click(frozen->viewport(), cell.center());
  settle();
  editors = frozen->viewport()->findChildren<QLineEdit*>();
  ASSERT_EQ(editors.size(), 1);
  editors.front()->setText(QStringLiteral("Feuer"));
  // Moving the window first writes the open editor to its record.
  QTest::keyClick(grid(), Qt::Key_PageDown);
  settle();
  EXPECT_EQ(name_on_disk(4), "Feuer");
  EXPECT_EQ(boxes_.count(), 0);
}

// The selected row is drawn in one colour across the frozen part and the rest, and the
// cell editor shows as an edit field: framed, in the edit colours.
TEST_F(DataPage, SelectedRowAndEditorLookTheSameOverTheFrozenPart) {
  open(5, {});
  shell_.activateWindow();
  grid()->setFocus();
  settle();
  grid()->setCurrentIndex(server()->index(2, server()->column_index("NR")));
  settle();
  ASSERT_TRUE(grid()->hasFocus());
  QTableView* frozen = grid()->frozen_view();
  ASSERT_NE(frozen, nullptr);
  const QImage image = grid()->grab().toImage();
  const QRect frozen_cell = frozen->visualRect(server()->index(2, server()->column_index("NAME")));
  const QRect other_cell = grid()->visualRect(server()->index(2, server()->column_index("DATUM")));
  // A corner of each cell, away from its text.
  const QPoint in_frozen = frozen->viewport()->mapTo(grid(), frozen_cell.bottomRight() - QPoint(3, 3));
  const QPoint in_other = grid()->viewport()->mapTo(grid(), other_cell.bottomRight() - QPoint(3, 3));
  EXPECT_EQ(image.pixelColor(in_frozen), image.pixelColor(in_other));

  QComboBox* edit = ctl<QComboBox>("CB_EDITMODE");
  edit->setCurrentIndex(edit->findData("ACTIVE"));
  page()->LISTBOXSELECT(edit);
  grid()->edit(server()->index(2, server()->column_index("NR")));
  settle();
  auto editors = grid()->findChildren<QLineEdit*>();
  ASSERT_EQ(editors.size(), 1);
  EXPECT_TRUE(editors.front()->hasFrame());
  EXPECT_EQ(editors.front()->palette().brush(QPalette::Base).color(), gui::FOKUSBRUSH().color());
}

// Memo fields are edited in their own window: their cells open no editor.
TEST(DataPageMemo, MemoColumnsOpenNoEditor) {
  const std::string dir = twtest::copy_fixture("peer/ntx-dbt");
  MemoryHistoryStore history;
  twtest::EnvironmentScope env(&history);
  gui::SHELLWINDOW shell;
  shell.resize(1000, 700);
  shell.show();
  gui::RecordingMessageBoxes boxes;
  TABDW_DBFDATEI w(&shell, QString::fromStdString(dir + "/KUNDEN.DBF"), false, false, false);
  ASSERT_NE(w.server(), nullptr);
  w.SHOW();
  auto* edit = w.data_page()->findChild<QComboBox*>("CB_EDITMODE");
  edit->setCurrentIndex(edit->findData("ACTIVE"));
  w.data_page()->LISTBOXSELECT(edit);
  TableGridServer* s = w.server();
  const QModelIndex memo = s->index(0, s->column_index("NOTIZ"));
  EXPECT_FALSE(s->flags(memo) & Qt::ItemIsEditable);
  EXPECT_TRUE(s->flags(s->index(0, s->column_index("ORT"))) & Qt::ItemIsEditable);
  STDGRIDBROWSER* g = w.data_page()->grid();
  g->setCurrentIndex(memo);
  g->edit(memo);
  EXPECT_TRUE(g->viewport()->findChildren<QLineEdit*>().isEmpty());
  QCoreApplication::processEvents();
  EXPECT_EQ(boxes.count(), 0);
}

TEST_F(DataPage, PackAndZapNeedAnExclusiveTable) {
  open(5, {2});
  const std::vector<std::function<void()>> commands = {[&] { w_->FILEPACK(); }, [&] { w_->FILEZAP(); }};
  for (const auto& cmd : commands) {
    boxes_.clear();
    cmd();
    ASSERT_EQ(boxes_.count(), 1);  // no question
    EXPECT_EQ(boxes_.last().caption, "Info");
    EXPECT_EQ(boxes_.last().text, "Zum Ausführen dieser Funktion muss die Datei:\r\n" + path_ + "\r\nexklusiv geöffnet werden!");
  }
  EXPECT_EQ(server()->LASTREC(), 5u);
}

TEST_F(DataPage, PackAndZapAskThenReportAndRefresh) {
  open(10, {2, 5, 9}, /*share=*/false);
  boxes_.script(gui::MsgAnswer::No);
  w_->FILEPACK();
  ASSERT_EQ(boxes_.count(), 1);
  EXPECT_EQ(boxes_.last().caption, "Datei Packen");
  EXPECT_EQ(boxes_.last().icon, gui::MsgIcon::Question);
  EXPECT_EQ(boxes_.last().text, "Es werden alle gelöschten Datensätze endgültig\r\naus der Datei: KUNDEN entfernt!"
                                "\r\n\r\nSoll das Packen jetzt erfolgen?");
  EXPECT_EQ(server()->LASTREC(), 10u);

  boxes_.clear();
  boxes_.script(gui::MsgAnswer::Yes);
  w_->FILEPACK();
  ASSERT_EQ(boxes_.count(), 2);
  EXPECT_EQ(boxes_.last().caption, "Pack");
  EXPECT_EQ(boxes_.last().text, "Es wurden endgültig 3 Datensätze gelöscht!");
  EXPECT_EQ(server()->rowCount(), 7);
  EXPECT_EQ(w_->caption(), "Daten: KUNDEN.DBF < Datensatz: 1 von: 7 >");

  boxes_.clear();
  boxes_.script(gui::MsgAnswer::Yes);
  w_->FILEPACK();
  EXPECT_EQ(boxes_.last().text, "Es wurden endgültig 0 Datensätze gelöscht!");

  boxes_.clear();
  boxes_.script(gui::MsgAnswer::No);
  w_->FILEZAP();
  ASSERT_EQ(boxes_.count(), 1);
  EXPECT_EQ(boxes_.last().caption, "Datei Zappen");
  EXPECT_EQ(boxes_.last().text, "Es werden alle Datensätze endgültig aus der Datei:\r\n" + path_ +
                                    "\r\n entfernt!\r\n\r\nSoll das Zappen jetzt erfolgen?");
  EXPECT_EQ(server()->LASTREC(), 7u);

  boxes_.clear();
  boxes_.script(gui::MsgAnswer::Yes);
  w_->FILEZAP();
  ASSERT_EQ(boxes_.count(), 2);
  EXPECT_EQ(boxes_.last().caption, "Info");
  EXPECT_EQ(boxes_.last().text, "Das Zappen der Datei:\r\n" + path_ + "\r\nwurde erfolgreich durchgeführt!");
  EXPECT_EQ(server()->rowCount(), 0);
  EXPECT_EQ(w_->caption(), "Daten: KUNDEN.DBF < Datensatz: 1 von: 0 >");
}

// A stand-in for the list-format dialog: it records its start record and ends with the
// result the test gives it.
class ListFormatRecorder : public gui::DIALOGWINDOW {
  Q_OBJECT
 public:
  using gui::DIALOGWINDOW::DIALOGWINDOW;
  static inline int start = -1;
  static inline int result = 1;
 public slots:
  void SETUP(const QVariant& s, const QVariant&) { start = s.toInt(); }
  void SHOW() override {
    // The dialog works on its owner's column list in place.
    if (auto* w = qobject_cast<TABDW_DBFDATEI*>(owner())) w->AFELDER[2].heading = "Geändert";
    result_ = result;
  }
};

TEST_F(DataPage, ListFormatGetsTheStartRecordAndCancelRestoresTheLayout) {
  open(9, {});
  gui::register_window_class("DLG_SPALTENWAHL",
                             [](QWidget* owner) -> QWidget* { return new ListFormatRecorder(owner); });
  w_->GOTO(8);
  ctl<QPushButton>("PB_FELDER")->click();
  EXPECT_EQ(ListFormatRecorder::start, 0);  // "alle Datensätze"
  EXPECT_EQ(w_->AFELDER[2].heading, "Geändert");  // saved: the dialog's change stays
  ctl<QRadioButton>("RB_REST")->click();
  ListFormatRecorder::result = 2;
  ctl<QPushButton>("PB_FELDER")->click();
  EXPECT_EQ(ListFormatRecorder::start, 8);
  EXPECT_EQ(w_->AFELDER[2].heading, "NAME");  // cancelled: the stored (default) layout again
  w_->OPENDLGFELDER();  // the menu item passes nothing: all records
  EXPECT_EQ(ListFormatRecorder::start, 0);
  gui::register_window_class("DLG_SPALTENWAHL", [](QWidget*) -> QWidget* { return nullptr; });
}

// Record numbers of a million and more are written in full.
TEST(DataPageCaption, LargeRecordNumbersInFull) {
  const std::string dir = scratch_dir("million");
  const std::string path = dir + "/GROSS.DBF";
  ASSERT_TRUE(db_create(path, {{"A", 'C', 1, 0}}, "DBFNTX"));
  {
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    QByteArray b = f.readAll();
    const int hl = int(get_le16(reinterpret_cast<const uint8_t*>(b.constData()) + 8));
    b.truncate(hl);
    uint8_t count[4];
    put_le32(count, 1234567);
    for (int i = 0; i < 4; ++i) b[4 + i] = char(count[i]);
    b.append(QByteArray(1234567 * 2, ' '));
    b.append('\x1A');
    f.seek(0);
    f.write(b);
  }
  MemoryHistoryStore history;
  twtest::EnvironmentScope env(&history);
  gui::SHELLWINDOW shell;
  gui::RecordingMessageBoxes boxes;
  TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
  ASSERT_NE(w.server(), nullptr);
  w.GOBOTTOM();
  EXPECT_EQ(w.caption(), "Daten: GROSS.DBF < Datensatz: 1234567 von: 1234567 >");
}

}  // namespace
}  // namespace mv


namespace mv {
namespace {

// An index damaged by another program while the table is open shared: moving in its order
// fails with the table layer's reason in a box, instead of the grid standing still silently.
TEST(DataPageOrders, AMoveTheOrderRefusesIsShownWithItsReason) {
  const std::string dir = twtest::copy_fixture("peer/cdx-nomemo");
  const QString path = QString::fromStdString(dir + "/ADRESSEN.DBF");
  MemoryHistoryStore history;
  twtest::EnvironmentScope env(&history);
  gui::SHELLWINDOW shell;
  gui::RecordingMessageBoxes boxes;
  TABDW_DBFDATEI w(&shell, path, true, false, false);
  ASSERT_NE(w.server(), nullptr);
  auto* names = w.data_page()->findChild<QComboBox*>("CB_INDEXNAME");
  names->setCurrentIndex(1);
  w.data_page()->LISTBOXSELECT(names);
  ASSERT_EQ(w.server()->INDEXORD(), 1);
  ASSERT_EQ(boxes.count(), 0);
  {
    QFile bag(QString::fromStdString(dir + "/ADRESSEN.CDX"));
    ASSERT_TRUE(bag.open(QIODevice::ReadWrite));
    const QByteArray junk(int(bag.size()), char(0xA5));
    bag.write(junk);
  }
  w.GOTOP();
  QCoreApplication::processEvents();
  ASSERT_GE(boxes.count(), 1);
  EXPECT_EQ(boxes.last().caption, "Achtung");
  EXPECT_TRUE(boxes.last().text.contains(QStringLiteral("ADRESSEN.CDX"), Qt::CaseInsensitive))
      << boxes.last().text.toStdString();
}

// A key changed through the grid moves the record in the active order: the rows are
// taken again, so going to the top shows the order as it now is.
TEST(DataPageOrders, AKeyEditMovesTheRecordInTheOrder) {
  const std::string dir = twtest::copy_fixture("peer-mdx/mdx-maintained");
  const QString path = QString::fromStdString(dir + "/bewegung.dbf");
  MemoryHistoryStore history;
  twtest::EnvironmentScope env(&history);
  gui::SHELLWINDOW shell;
  gui::RecordingMessageBoxes boxes;
  TABDW_DBFDATEI w(&shell, path, false, false, false);
  ASSERT_NE(w.server(), nullptr);
  auto* names = w.data_page()->findChild<QComboBox*>("CB_INDEXNAME");
  names->setCurrentIndex(names->findText("MENGED"));
  w.data_page()->LISTBOXSELECT(names);
  TableGridServer* s = w.server();
  ASSERT_EQ(s->INDEXORD(), 5);
  s->set_page_rows(10);
  w.GOTOP();
  ASSERT_EQ(twtest::window_records(*s)[0], 321u);  // the largest MENGE first
  auto* edit = w.data_page()->findChild<QComboBox*>("CB_EDITMODE");
  edit->setCurrentIndex(edit->findData("ACTIVE"));
  w.data_page()->LISTBOXSELECT(edit);
  // Typed into the cell's editor and confirmed, as the user does.
  STDGRIDBROWSER* g = w.data_page()->grid();
  g->setCurrentIndex(s->index(0, s->column_index("MENGE")));
  g->edit(g->currentIndex());
  auto editors = g->viewport()->findChildren<QLineEdit*>();
  ASSERT_EQ(editors.size(), 1);
  editors.front()->setText(QStringLiteral("-99999"));
  QTest::keyClick(editors.front(), Qt::Key_Return);
  QCoreApplication::processEvents();
  EXPECT_EQ(s->RECNO(), 321u);  // the table stays on the edited record
  QTest::keyClick(g, Qt::Key_Home, Qt::ControlModifier);
  const std::vector<uint32_t> top = twtest::window_records(*s);
  ASSERT_FALSE(top.empty());
  EXPECT_EQ(top[0], 1342u);
  EXPECT_EQ(std::count(top.begin(), top.end(), 321u), 0);
  EXPECT_EQ(s->RECNO(), 1342u);
  w.GOBOTTOM();
  EXPECT_EQ(s->RECNO(), 321u);
  EXPECT_EQ(boxes.count(), 0);
}

// NTX files beside a table whose orders are not open go stale with its changes: the first
// change says so, once.
TEST(DataPageOrders, StrayNtxFilesAreNamedOnTheFirstWrite) {
  const std::string dir = twtest::copy_fixture("peer/ntx-dbt");
  MemoryHistoryStore history;
  twtest::EnvironmentScope env(&history);
  gui::SHELLWINDOW shell;
  gui::RecordingMessageBoxes boxes;
  TABDW_DBFDATEI w(&shell, QString::fromStdString(dir + "/KUNDEN.DBF"), false, false, false);
  ASSERT_NE(w.server(), nullptr);
  ASSERT_EQ(w.server()->RDDNAME(), "DBFNTX");
  EXPECT_EQ(boxes.count(), 0);  // opening and reading say nothing
  auto* edit = w.data_page()->findChild<QComboBox*>("CB_EDITMODE");
  edit->setCurrentIndex(edit->findData("ACTIVE"));
  w.data_page()->LISTBOXSELECT(edit);
  TableGridServer* s = w.server();
  ASSERT_TRUE(s->setData(s->index(0, s->column_index("ORT")), QStringLiteral("Kiel"), Qt::EditRole));
  QCoreApplication::processEvents();
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().caption, "Achtung");
  EXPECT_TRUE(boxes.last().text.contains("NAME.NTX")) << boxes.last().text.toStdString();
  w.APPEND();
  ASSERT_TRUE(s->setData(s->index(0, s->column_index("ORT")), QStringLiteral("Ulm"), Qt::EditRole));
  QCoreApplication::processEvents();
  EXPECT_EQ(boxes.count(), 1);
  // A table without NTX files beside it: nothing to say.
  const std::string plain = twtest::make_table(scratch_dir("plainntx"), "T.DBF", 2);
  TABDW_DBFDATEI w2(&shell, QString::fromStdString(plain), false, false, false);
  ASSERT_NE(w2.server(), nullptr);
  w2.APPEND();
  EXPECT_EQ(boxes.count(), 1);
}

// The orders of a CDX table: both lists, choosing by name or key, the grid in key order,
// records appended in the index, and a refill back to record-number order.
TEST(DataPageOrders, ChoosingAnOrderOfTheProductionBag) {
  const std::string dir = twtest::copy_fixture("peer/cdx-nomemo");
  const QString path = QString::fromStdString(dir + "/ADRESSEN.DBF");
  MemoryHistoryStore history;
  twtest::EnvironmentScope env(&history);
  gui::SHELLWINDOW shell;
  gui::RecordingMessageBoxes boxes;
  TABDW_DBFDATEI w(&shell, path, false, false, false);
  ASSERT_NE(w.server(), nullptr);
  EXPECT_EQ(boxes.count(), 0);
  EXPECT_FALSE(w.server()->READONLY());
  auto* names = w.data_page()->findChild<QComboBox*>("CB_INDEXNAME");
  auto* keys = w.data_page()->findChild<QComboBox*>("CB_INDEXSCHL");
  ASSERT_EQ(names->count(), 8);
  EXPECT_EQ(names->itemText(0), "ohne Index (SatzNr)");
  EXPECT_EQ(names->itemText(1), "NAME");
  EXPECT_EQ(keys->itemText(1), "UPPER(NAME)");
  ASSERT_EQ(w.AINDEX.size(), 7u);
  EXPECT_EQ(w.AINDEX[3].number, 4);
  EXPECT_EQ(w.AINDEX[3].name, "KOMBI");
  EXPECT_EQ(w.AINDEX[3].key, "UPPER(ORT)+DTOS(DATUM)");
  EXPECT_TRUE(w.AINDEX[3].bag.endsWith("ADRESSEN.CDX"));
  EXPECT_EQ(w.server()->INDEXORD(), 0);

  // By key expression; the name list follows.
  keys->setCurrentIndex(1);
  w.data_page()->LISTBOXSELECT(keys);
  EXPECT_EQ(names->currentIndex(), 1);
  EXPECT_EQ(w.server()->INDEXORD(), 1);
  TableGridServer* s = w.server();
  s->set_page_rows(1000);  // the whole order in one window
  ASSERT_GT(s->rowCount(), 2);
  // The key UPPER(NAME) of each row, from the stored bytes: never falling.
  const FieldInfo& name = s->table()->field(1);
  std::string previous;
  std::vector<uint8_t> rec;
  for (int r = 0; r < s->rowCount(); ++r) {
    ASSERT_TRUE(s->table()->read_record(s->recno(r), rec).is_ok());
    std::string key(reinterpret_cast<const char*>(rec.data()) + name.offset, name.length);
    for (char& c : key)
      if (c >= 'a' && c <= 'z') c = char(c - 32);
    EXPECT_LE(previous, key) << r;
    previous = key;
  }
  w.GOTOP();
  EXPECT_EQ(s->row_of_recno(s->RECNO()), 0);

  // An appended record goes into every order.
  const int before = s->rowCount();
  w.APPEND();
  EXPECT_EQ(w.server()->rowCount(), before + 1);


  // The index page's refill puts both lists and the table back to record-number order.
  w.FILL_CBINDEX();
  EXPECT_EQ(names->currentIndex(), 0);
  EXPECT_EQ(keys->currentIndex(), 0);
  EXPECT_EQ(w.server()->INDEXORD(), 0);
}

// A shared CDX table longer than the grid in an index order: the window steps through the
// order itself (the same rows as a walk of the order), the scroll bar runs over the
// record count with its ends at the order's first and last rows, and records another
// program appends meanwhile are there at the next move.
TEST(DataPageOrders, TheWindowWalksTheOrderAndSeesOtherWriters) {
  const std::string dir = scratch_dir("orderwindow");
  std::vector<int> deleted;
  for (int r = 5; r <= 300; r += 11) deleted.push_back(r);
  const std::string path = twtest::make_table(dir, "T.DBF", 300, deleted, "DBFCDX");
  std::vector<uint32_t> order;  // the visible records by NAME
  {
    OpenOptions o;
    o.shared = false;
    o.driver = "DBFCDX";
    auto t = Table::open(path, o);
    ASSERT_TRUE(t.is_ok()) << t.status().to_string();
    auto ol = OrderList::attach(**t);
    ASSERT_TRUE(ol.is_ok()) << ol.status().to_string();
    ASSERT_TRUE((*ol)->create_order("NAME", "", "NAME").is_ok());
    std::vector<std::pair<std::string, uint32_t>> names;
    for (uint32_t r = 1; r <= 300; ++r)
      if (std::find(deleted.begin(), deleted.end(), int(r)) == deleted.end())
        names.push_back({"Name " + std::to_string(r), r});
    std::sort(names.begin(), names.end());
    for (auto& n : names) order.push_back(n.second);
    ol->reset();
    ASSERT_TRUE((*t)->close().is_ok());
  }
  MemoryHistoryStore history;
  twtest::EnvironmentScope env(&history);
  gui::SHELLWINDOW shell;
  shell.resize(1000, 700);
  shell.show();
  gui::RecordingMessageBoxes boxes;
  TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
  w.SHOW();
  if (w.mdi_frame()) w.mdi_frame()->resize(950, 600);
  settle();
  TableGridServer* s = w.server();
  ASSERT_NE(s, nullptr);
  QAbstractItemModelTester tester(s, QAbstractItemModelTester::FailureReportingMode::Fatal);
  auto* names = w.data_page()->findChild<QComboBox*>("CB_INDEXNAME");
  names->setCurrentIndex(1);
  w.data_page()->LISTBOXSELECT(names);
  settle();
  ASSERT_EQ(s->INDEXORD(), 1);
  STDGRIDBROWSER* g = w.data_page()->grid();
  auto* bar = g->findChild<QScrollBar*>(QStringLiteral("page_bar"));
  ASSERT_NE(bar, nullptr);
  const int page = s->rowCount();
  ASSERT_GT(page, 5);
  ASSERT_LT(size_t(page) * 4, order.size());
  auto rows = [&] { return twtest::window_records(*s); };
  auto order_from = [&](size_t at) {
    return std::vector<uint32_t>(order.begin() + long(at), order.begin() + long(at + size_t(page)));
  };
  auto key = [&](int k, Qt::KeyboardModifiers m = Qt::NoModifier) {
    QTest::keyClick(g, Qt::Key(k), m);
    settle();
  };
  g->setFocus();
  key(Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(rows(), order_from(0));
  EXPECT_EQ(bar->value(), 0);
  EXPECT_EQ(bar->maximum(), 300 - page);
  // Page by page: the rows follow the order, the bar moves on between its ends.
  int previous = 0;
  for (int i = 1; i <= 3; ++i) {
    key(Qt::Key_PageDown);
    EXPECT_EQ(rows(), order_from(size_t(i * page))) << i;
    EXPECT_GT(bar->value(), previous) << i;
    EXPECT_LT(bar->value(), bar->maximum()) << i;
    previous = bar->value();
  }
  key(Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(rows(), order_from(order.size() - size_t(page)));
  EXPECT_EQ(s->RECNO(), order.back());
  EXPECT_EQ(bar->value(), bar->maximum());
  // The middle of the bar shows the middle of the order.
  bar->setValue(bar->maximum() / 2);
  settle();
  const auto at = std::find(order.begin(), order.end(), rows().front()) - order.begin();
  EXPECT_GT(at, long(order.size() / 4));
  EXPECT_LT(at, long(order.size() * 3 / 4));
  EXPECT_EQ(rows(), order_from(size_t(at)));
  // A record found by its key comes into the window.
  w.GOTO(order[10]);
  EXPECT_EQ(rows().front(), order[10]);
  w.GOTO(order[order.size() - 3]);
  EXPECT_EQ(rows().back(), order[order.size() - 3]);

  // Another program appends a record at each end of the order.
  {
    OpenOptions o;
    o.shared = true;
    o.driver = "DBFCDX";
    auto t = Table::open(path, o);
    ASSERT_TRUE(t.is_ok()) << t.status().to_string();
    auto ol = OrderList::attach(**t);
    ASSERT_TRUE(ol.is_ok()) << ol.status().to_string();
    for (const char* name : {"Aaa", "Zzz"}) {
      ASSERT_TRUE((*t)->append_blank().is_ok());
      ASSERT_TRUE((*t)->field_put(1, Value::character(name)).is_ok());
      ASSERT_TRUE((*t)->commit().is_ok());
    }
    ol->reset();
    ASSERT_TRUE((*t)->close().is_ok());
  }
  w.GOBOTTOM();
  EXPECT_EQ(s->RECNO(), 302u);
  EXPECT_EQ(rows().back(), 302u);
  w.GOTOP();
  EXPECT_EQ(s->RECNO(), 301u);
  EXPECT_EQ(rows().front(), 301u);
  EXPECT_EQ(rows()[1], order[0]);
  EXPECT_EQ(bar->maximum(), 302 - page);
  EXPECT_EQ(boxes.count(), 0);
}

}  // namespace
}  // namespace mv

#include "datapage_test.moc"
