#pragma once
// The calendar's data store: the group table "Gruppe.DBF" and the appointment table
// "Termine.DBF" in the data folder, each with its index bag of the same name, created when
// missing and opened shared through the table classes DBGRUPPE and DBTERMIN.
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/filesystem.h"
#include "platform/base/status.h"
#include "platform/table/dbf_header.h"
#include "platform/table/dbserver.h"

namespace mv {

// The data folder, always ending in "/" (start-up and the folder move set it).
extern std::string DATENPFAD;

inline constexpr std::string_view kGruppeFile = "Gruppe.DBF";
inline constexpr std::string_view kGruppeBag = "Gruppe.CDX";
inline constexpr std::string_view kTermineFile = "Termine.DBF";
inline constexpr std::string_view kTermineBag = "Termine.CDX";
inline constexpr const char* kCalendarDriver = "DBFCDX";

struct CalendarOrder {
  std::string_view tag;
  std::string_view key;
};

// Fields in their order, as {name, type, length, decimals}.
const std::vector<StructRow>& gruppe_fields();
const std::vector<StructRow>& termine_fields();
// The orders of each bag, in the order they are created.
std::span<const CalendarOrder> gruppe_orders();
std::span<const CalendarOrder> termine_orders();

// A table of the calendar: opens DATENPFAD + its file shared with the driver "DBFCDX" and
// the bag of the same name. The outcome is open_status(); a table whose fields differ
// from the calendar's is closed again and reported as Corrupt.
class DBGRUPPE : public DBSERVER {
 public:
  explicit DBGRUPPE(FileSystem* fs = nullptr);
};

class DBTERMIN : public DBSERVER {
 public:
  explicit DBTERMIN(FileSystem* fs = nullptr);
};

// The open tables (start-up; the folder move replaces them). Null before start-up.
extern std::unique_ptr<DBGRUPPE> GRUPPENDB;
extern std::unique_ptr<DBTERMIN> TERMINDB;

// Creates "Gruppe.DBF" (or "Termine.DBF") in DATENPFAD when it does not exist; an existing
// table is left as it is. A stale bag next to a newly created table is erased first, so
// the new table never inherits keys of records it does not have.
Status DBGRUPPE_NEU(FileSystem* fs = nullptr);
Status DBTERMINE_NEU(FileSystem* fs = nullptr);

// Builds each bag that is missing (or every bag with `rebuild`), with its orders in
// their order. A table whose fields differ from the calendar's gets no bag. Answers the
// first failure; the other table is still handled.
Status DBINDEX_NEU(bool rebuild = false, FileSystem* fs = nullptr);

// Whether the table's fields are the calendar's (names without regard to case, types,
// lengths, decimals, order); Corrupt naming the file and the first difference otherwise.
Status check_calendar_structure(const DBSERVER& server, const std::vector<StructRow>& expected);

// One failure of the start-up's table steps: the file concerned and why.
struct CalendarTableProblem {
  std::string path;
  Status status;
};

// Start-up's table steps in DATENPFAD (which must exist): both tables created when
// missing, the missing bags built, GRUPPENDB and TERMINDB opened. Every step is tested;
// the problems come back in the order they happened, and a table that did not open is
// left closed in its global (never null afterwards).
std::vector<CalendarTableProblem> open_calendar_tables(FileSystem* fs = nullptr);

// Copies the four files of the calendar from `from_dir` to `to_dir` (both ending in "/"):
// each is copied beside its target under a temporary name, then all are put in place
// together or none is. On failure `file` names the file concerned and the targets are as
// they were.
struct CalendarMoveResult {
  Status status;
  std::string file;
};
CalendarMoveResult move_calendar_files(FileSystem& fs, const std::string& from_dir, const std::string& to_dir);

// Closes both tables (end of the run, the folder move).
void close_calendar_tables();

}  // namespace mv
