#pragma once
// The server of the header page's raw grid: the records of a table file or the 512-byte
// blocks of another file, read from the file when the grid asks for them, a few dozen
// rows at a time. Nothing is kept but those rows, so a hex view of long records costs
// no more than the rows on the screen.
#include <QString>
#include <vector>

#include "header/header_file.h"
#include "platform/base/codepage.h"
#include "platform/grid/gridserver.h"

namespace mv {

class RawRowsServer : public grid::GRIDSERVER {
  Q_OBJECT
 public:
  // Records view: fields RecNo, DEL, Datensatz; blocks view: Block, Datensatz.
  RawRowsServer(FileSystem& fs, header::RawLayout layout, bool records, bool hex, CodePage cp,
                QObject* parent = nullptr);

  bool records_view() const { return records_; }
  const header::RawLayout& layout() const { return layout_; }

  uint32_t recno(int row) const override { return uint32_t(row + 1); }
  int row_of_recno(uint32_t recno) const override {
    return recno >= 1 && recno <= layout_.rows ? int(recno) - 1 : -1;
  }
  QVariant field_value(int row, int pos) const override;
  int field_count() const override { return records_ ? 3 : 2; }
  QString field_name(int pos) const override;
  char field_type(int pos) const override { return pos == 1 ? 'N' : 'C'; }
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;

  // How many rows the server holds read at the moment (the rows near the last one asked).
  size_t cached_rows() const { return cache_rows_; }

 private:
  QString render(const uint8_t* bytes, size_t n) const;

  FileSystem& fs_;
  header::RawLayout layout_;
  bool records_;
  bool hex_;
  CodePage cp_;
  mutable uint32_t cache_first_ = 0;
  mutable size_t cache_rows_ = 0;
  mutable std::vector<uint8_t> cache_;
};

}  // namespace mv
