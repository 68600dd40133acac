#pragma once
// The data page's server over its open table (the page's GRIDDBSERVER). It is a paged
// server: its rows are a window of the visible records, as many as the grid shows, and
// the window moves through the table as the user scrolls, so opening a table and going
// to its last record cost the same for ten thousand records as for a million. In
// record-number order a record's place is its number and nothing is read beyond the
// window (records the deleted filter hides are stepped over as the window passes them);
// in an index order the order's visible records are taken once per refresh. The server
// owns the table and its orders and closes them when it goes.
#include <QVariant>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/base/status.h"
#include "platform/grid/griddbserver.h"
#include "platform/table/table.h"
#include "tablewindow/orders.h"

namespace mv {

class TableGridServer : public grid::GRIDDBSERVER {
  Q_OBJECT
 public:
  TableGridServer(std::unique_ptr<Table> table, std::unique_ptr<TableOrders> orders, QObject* parent = nullptr);
  ~TableGridServer() override;

  TableOrders* orders() const { return orders_.get(); }
  // USED: the table is open.
  bool USED() const { return table_ && table_->is_open(); }
  // CLOSE: writes what is buffered, releases the file and its locks; the server then
  // shows no rows.
  Status CLOSE();

  // Facts of the open table (0 / false without one).
  uint32_t RECNO() const;
  uint32_t LASTREC() const;
  bool DELETED() const;
  bool SHARED() const { return table_ && table_->shared(); }
  bool READONLY() const { return table_ && table_->read_only(); }
  QString RDDNAME() const;
  int INDEXORD() const { return orders_ ? orders_->index_ord() : 0; }

  // Navigation through the table (order and deleted filter as the table applies them);
  // the grid follows.
  void GOTOP() override;
  void GOBOTTOM() override;
  bool GOTO(uint32_t recno) override;  // goes there even when the row is hidden
  // SKIP n records; answers false when the table could not move.
  bool SKIP(int n);
  // SETORDER: 0 record-number order, else order n. Rebuilds the rows.
  Status SETORDER(int n);

  // Changes of the table's records by the page: the row of record `recno` is read again.
  // (Records appended or removed: refresh() reads everything again and the grid follows
  // the table's current record.)
  void record_changed(uint32_t recno);

  // What the data page accepts and how it names fields differ from the plain grid server's.
  bool set_field_value(int row, int pos, const QVariant& value) override;
  QString field_name(int pos) const override;
  void set_current_row(int row) override;

  // The window.
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  uint32_t recno(int row) const override;
  int row_of_recno(uint32_t recno) const override;  // -1 outside the window
  void refresh() override;
  void auto_refresh() override;
  bool paged() const override { return true; }
  void set_page_rows(int rows) override;
  int page_rows() const { return page_rows_; }
  int scroll_rows(int n) override;
  int scroll_extent() const override;
  int scroll_position() const override;
  void scroll_to_position(int pos) override;

 signals:
  // The table's current record changed (navigation, a click in the grid).
  void record_moved();
  // A value typed into the grid could not be written (the reason, German).
  // A write or a move the table layer refused, with its reason (shown by the page).
  void write_failed(const QString& reason);
  // A value typed into the grid was written to the table.
  void written();

 protected:
  bool table_usable() const override { return USED(); }
  // Every field type the table keeps in its memo file.
  bool memo_field(const FieldInfo& f) const override;

 private:
  // Keeps a refused step as the last Status and tells the page; true when it succeeded.
  bool report(const Status& s);
  // The table belongs with its orders: it is neither handed out nor swapped on its own.
  using GRIDDBSERVER::release_table;
  using GRIDDBSERVER::set_table;

  void follow_table();
  // Places: in record-number order a record's number - 1, in an index order its place in
  // the order's row list.
  int64_t places() const;
  uint32_t recno_at(int64_t place) const;
  int64_t place_of(uint32_t recno) const;  // -1 when the rows do not hold it
  bool shown(int64_t place) const;
  // The first shown place from `place` on in direction `dir`, -1 when there is none.
  int64_t next_shown(int64_t place, int dir) const;
  // The window's rows from the first shown place at or after `place` (or ending at the
  // last shown place at or before it), filled up from the other side near an end.
  std::vector<int64_t> rows_from(int64_t place) const;
  std::vector<int64_t> rows_ending_at(int64_t place) const;
  // Shows `rows`, telling the views; the current row then shows the table's record.
  void show_rows(std::vector<int64_t> rows);
  // The window around the table's record (at its top, or at its bottom when the record
  // lies after the window).
  void place_window();
  // After the window moved: the current row stays on the screen and the table goes to
  // the record under it.
  void settle_on_row(int row);

  std::unique_ptr<TableOrders> orders_;
  std::vector<int64_t> window_;  // places shown, top to bottom
  int page_rows_ = 40;
  bool resetting_ = false;   // inside a model reset: no row signals
  bool adjusting_ = false;   // the views follow the window: their row moves are not the user's
};

}  // namespace mv
