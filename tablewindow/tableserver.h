#pragma once
// The data page's server over its open table (the page's GRIDDBSERVER). It is a paged
// server: its rows are a window of the visible records, as many as the grid shows, and
// the window moves through the table as the user scrolls, so opening a table and going
// to its last record cost the same for ten thousand records as for a million, in
// record-number order as in an index order. The window is filled by stepping from a
// known record: to the next record number, or to the next entry of the order, so nothing
// is read beyond the window (records the deleted filter hides are stepped over as the
// window passes them). The server owns the table and its orders and closes them when it
// goes.
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
  // The window walks the table's sequence: in record-number order the record numbers
  // 1..LASTREC, in an index order the order's entries, taken from the order a step at a
  // time. 0 stands for "none" (past either end).
  bool ordered() const { return !natural_ && table_->navigator() != nullptr; }
  uint32_t first_rec();
  uint32_t last_rec();
  // The neighbour of `r` in the sequence in direction `dir` (1 or -1).
  uint32_t step(uint32_t r, int dir);
  // `r` when it is in the sequence, else the first record after it (0 when none).
  uint32_t at_or_after(uint32_t r);
  bool shown(uint32_t r) const;
  // The first shown record from `r` on in direction `dir` (r in the sequence), 0 when none.
  uint32_t next_shown(uint32_t r, int dir);
  // The window's rows from the first shown record at or after `r` (0: past the end), or
  // ending at the last shown record at or before `r` (0: before the start), filled up
  // from the other side near an end.
  std::vector<uint32_t> rows_from(uint32_t r);
  std::vector<uint32_t> rows_ending_at(uint32_t r);
  // Whether the order (or the record numbers) hold `r`; not the phantom record past the end.
  bool in_sequence(uint32_t r);
  // Whether record `r` (in the sequence) comes after the last of `rows`.
  bool after(uint32_t r, const std::vector<uint32_t>& rows);
  // An index order's estimate of where `r` stands, 0 to 1.
  double position_of(uint32_t r);
  // The scroll bar: in record-number order the window's first record number - 1, in an
  // index order the estimate of its place scaled to scroll_scale().
  int64_t scroll_scale() const;
  void place_scroll_bar();
  // Shows `rows`, telling the views; the current row then shows the table's record.
  void show_rows(std::vector<uint32_t> rows);
  // The window around the table's record (at its top, or at its bottom when the record
  // lies after the window).
  void place_window();
  // After the window moved: the current row stays on the screen and the table goes to
  // the record under it.
  void settle_on_row(int row);

  std::unique_ptr<TableOrders> orders_;
  std::vector<uint32_t> window_;  // records shown, top to bottom
  int scroll_pos_ = 0;
  std::vector<uint8_t> scratch_;  // a record's bytes for the order
  int page_rows_ = 40;
  bool resetting_ = false;   // inside a model reset: no row signals
  bool adjusting_ = false;   // the views follow the window: their row moves are not the user's
};

}  // namespace mv
