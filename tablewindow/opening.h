#pragma once
// Choosing the driver of a table and opening it with the drivers in turn.
//   DRIVERERKENNUNG  the driver by the companion files (".MDX", ".CDX", ".NTX", ".FPT",
//                    ".DBT", found without regard to case), with only a ".DBT" by the
//                    version byte;
//   GETRDD           the driver by the version byte alone;
//   FILLARRAYDRIVER  the four drivers in the order they are tried.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <memory>
#include <optional>

#include "platform/base/filesystem.h"
#include "platform/base/status.h"
#include "platform/grid/gridbrowser.h"
#include "platform/table/table.h"
#include "tablewindow/orders.h"

namespace mv {

QString DRIVERERKENNUNG(const QString& cDBF, FileSystem* fs = nullptr);
QString GETRDD(const QString& cDBF, FileSystem* fs = nullptr);
std::array<QString, 4> FILLARRAYDRIVER(const QString& cDriver);
// The table file's first 32 bytes (its header), read without keeping the file; empty when
// it cannot be opened or is shorter.
QByteArray LESEHEADER(const QString& cDBF, FileSystem* fs = nullptr);

// The driver a table is tried with first: companions, version byte, then `default_driver`.
// With `made_with` (the driver the table was just created or rebuilt with) that driver
// goes before the version byte: only a companion index or FPT file names another.
QString first_driver(const QString& cDBF, const QString& default_driver, FileSystem* fs = nullptr,
                     const QString& made_with = {});

// The grid's row mode for a table opened with `rdd` whose active order is `index_ord`
// (0: none) with `keys` keys: the absolute mode only for "DBFNTX" beyond 10000 keys and
// "DBFCDX" beyond 40000.
grid::GRIDBROWSER::RowMode row_mode_for(const QString& rdd, int index_ord, uint64_t keys);

// The code page a table's mark (DBF byte 29) names, when it is one of ours (the DOS and
// Windows Western pages); nothing for an unmarked table or another code page.
std::optional<CodePage> code_page_of_mark(uint8_t mark);

struct OpenOutcome {
  std::unique_ptr<Table> table;  // nothing when every attempt failed
  std::unique_ptr<TableOrders> orders;  // the table's orders (with the table)
  QStringList attempts;          // the drivers tried, in order
  QString driver;                // the driver of the last attempt (CEDRIVER)
  bool sharing = false;          // stopped by a sharing conflict
  QString error_text;            // the text of the failure that ended the attempts
  // The production bag that the opening driver cannot keep up to date; the table was
  // then opened read-only.
  QString unmaintained_bag;
  QString unmaintained_reason;
  // What the table layer found readable but damaged (the table is open).
  QStringList warnings;
  // The header's record count disagrees with the file's length; the table was then
  // opened read-only, so no append writes over a partial record.
  bool count_disagrees = false;
};

// Opens `path` with the driver of first_driver and, on any failure but a sharing conflict,
// with the rest of its try list. The table's code-page mark decides its code page; for an
// unmarked table ANSI gives Windows-1252, else CP850. A table with a production bag its
// driver cannot maintain, or whose record count disagrees with its file, is opened
// read-only.
OpenOutcome open_with_fallback(const QString& path, bool share, bool read_only, bool ansi,
                               const QString& default_driver, FileSystem* fs = nullptr,
                               const QString& made_with = {});

}  // namespace mv
