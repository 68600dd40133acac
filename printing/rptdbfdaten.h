#pragma once
// The record list of an open table: one line per record from the server's current record
// to the end of the table in the table's current order, one column per chosen field (or
// the pseudo columns "DEL" and the record number), with a title, the date, an optional
// extra line, the column headings, optional cell frames and grey rows or columns. The
// records are walked through the table layer page by page; only the first record of every
// page is kept, so a table of any size prints without being held in memory. Creating the
// list runs its whole job; afterwards the server stands where it stood before.
#include <QString>
#include <QVariant>
#include <functional>
#include <optional>
#include <vector>

#include "printing/rptstandard.h"

namespace mv {

class Table;
struct FieldInfo;
namespace grid {
class GRIDDBSERVER;
}

// A printed column: field position (0 for a pseudo column), heading ("" = the field's
// name), width in average character widths of the list font (0 = measured).
struct ReportColumn {
  int position = 0;
  QString heading;
  double width = 0;
  bool operator==(const ReportColumn&) const = default;
};

// The text of a field's value in a list cell: numbers by their field's width and
// decimals, dates "dd.MM.yyyy" (an empty date blank), logicals "T"/"F", memo fields
// their first line. `numeric` tells whether the cell is right-aligned.
QString list_cell_text(Table& table, int position, bool* numeric = nullptr);

class RPTDBFDATEN : public RPTSTANDARD {
 public:
  // The arguments of the list in their order; the first two go to the report base.
  struct Arguments {
    std::optional<std::vector<ReportColumn>> columns;  // none: every field
    std::optional<QString> title;                      // none: the table's name
    QString extra;
    int font = 10;
    bool landscape = false;
    bool grid = true;
    bool grey_rows = false;
    bool grey_columns = false;
  };

  RPTDBFDATEN(grid::GRIDDBSERVER& server, Arguments args);
  // Creating the list runs the job (preview or print) from the server's current record.
  static void print(QWidget* owner, bool preview, grid::GRIDDBSERVER& server, Arguments args);
  void run(QWidget* owner, bool preview) { INIT(owner, preview, LEQUER); }

  grid::GRIDDBSERVER* OESERVER = nullptr;
  uint32_t NERECNO = 0;
  QString CETITEL;
  QString CEZUSATZ;
  std::vector<ReportColumn> AESPALTEN;
  int NESCHRIFT = 10;
  uint32_t NEMAXSATZ = 0;  // record limit; nothing sets it
  uint64_t NEZEILE = 0;

  RPTDBFDATEN& SETFELDER();
  RPTDBFDATEN& ANPASSEN(report::PRINTERDEVICE& device);
  int PRINTSTART(report::PRINTERDEVICE& device) override;
  int PRINTPAGEHEADER(report::PRINTERDEVICE& device, bool draw) override;
  int PRINTPAGEBODY(report::PRINTERDEVICE& device, bool draw) override;
  int PRINTEND(report::PRINTERDEVICE& device) override;

  static const QColor kGrey;

 protected:
  void rewind() override;
  bool rows_remain() const override;
  std::vector<int64_t> position() const override;
  void position_at(const std::vector<int64_t>& entry) override;
  std::pair<uint64_t, uint64_t> progress() const override;

 private:
  Table& table() const;
  bool is_del_column(const ReportColumn& c) const;
  QString cell(const ReportColumn& c, bool* numeric) const;
  uint32_t total_ = 0;
};

// Tests: told of every record list before it runs (preview or print, the record it starts
// on, its arguments); answering false keeps it from running.
struct RecordListRun {
  bool preview = true;
  uint32_t start = 0;
  RPTDBFDATEN::Arguments args;
};
void set_record_list_hook(std::function<bool(const RecordListRun&)> hook);

}  // namespace mv
