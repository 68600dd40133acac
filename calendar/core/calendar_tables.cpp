#include "calendar/core/calendar_tables.h"

#include "platform/base/text.h"
#include "platform/table/file_ops.h"
#include "platform/table/index/index_bag.h"
#include "platform/table/transfer.h"

namespace mv {

std::string DATENPFAD;
std::unique_ptr<DBGRUPPE> GRUPPENDB;
std::unique_ptr<DBTERMIN> TERMINDB;

namespace {

const CalendarOrder kGruppeOrders[] = {{"GAHGUG", "GA+HG+UG"}};
const CalendarOrder kTermineOrders[] = {
    {"DateZeit", "DTos(Datum)+Uhrzeit"},        {"HGDate", "HG+DTos(Datum)+UhrZeit"},
    {"HGUGDate", "HG+UG+DTos(Datum)+UhrZeit"},  {"Serie", "Serie+DTos(Datum)"},
    {"SerieHGUG", "Serie+HG+UG+DTos(Datum)"},   {"Bemerk", "Bemerkung+DTos(Datum)"},
};

FileSystem& fs_of(FileSystem* fs) { return fs ? *fs : FileSystem::posix(); }

std::string in_data(std::string_view name) { return DATENPFAD + std::string(name); }

// The file as it lies in the data folder, found without regard to case.
std::optional<std::string> existing(FileSystem& fs, std::string_view name) {
  if (fs.exists(in_data(name))) return in_data(name);
  return find_file_nocase(fs, DATENPFAD, std::string(name));
}

Status table_new(FileSystem* fsp, std::string_view file, std::string_view bag, const std::vector<StructRow>& fields) {
  FileSystem& fs = fs_of(fsp);
  if (existing(fs, file)) return Status::ok();
  if (auto stale = existing(fs, bag)) MV_RETURN_IF_ERROR(fs.remove(*stale));
  return db_create(in_data(file), fields, kCalendarDriver, std::nullopt, fsp);
}

Status build_bag(FileSystem* fsp, bool rebuild, std::string_view file, std::string_view bag,
                 const std::vector<StructRow>& fields, std::span<const CalendarOrder> orders) {
  FileSystem& fs = fs_of(fsp);
  std::optional<std::string> old = existing(fs, bag);
  if (old && !rebuild) return Status::ok();
  // A table of another structure gets no bag of ours beside it.
  DBSERVER probe;
  MV_RETURN_IF_ERROR(probe.open(in_data(file), true, false, kCalendarDriver, fsp));
  MV_RETURN_IF_ERROR(check_calendar_structure(probe, fields));
  if (old) {
    MV_RETURN_IF_ERROR(probe.CLOSE());
    MV_RETURN_IF_ERROR(fs.remove(*old));
    MV_RETURN_IF_ERROR(probe.open(in_data(file), true, false, kCalendarDriver, fsp));
  }
  const std::string bag_path = in_data(bag);
  for (const CalendarOrder& o : orders)
    MV_RETURN_IF_ERROR(probe.CREATEORDER(std::string(o.tag), bag_path, std::string(o.key)));
  return probe.CLOSE();
}

}  // namespace

const std::vector<StructRow>& gruppe_fields() {
  static const std::vector<StructRow> f = {
      {"GA", 'C', 1, 0}, {"HG", 'C', 2, 0}, {"UG", 'C', 2, 0}, {"Benennung", 'C', 24, 0}};
  return f;
}

const std::vector<StructRow>& termine_fields() {
  static const std::vector<StructRow> f = {{"Datum", 'D', 8, 0}, {"UhrZeit", 'C', 8, 0},
                                           {"Serie", 'C', 1, 0}, {"HG", 'C', 2, 0},
                                           {"UG", 'C', 2, 0},    {"Bemerkung", 'C', 64, 0}};
  return f;
}

std::span<const CalendarOrder> gruppe_orders() { return kGruppeOrders; }
std::span<const CalendarOrder> termine_orders() { return kTermineOrders; }

DBGRUPPE::DBGRUPPE(FileSystem* fs) {
  if (open(in_data(kGruppeFile), true, false, kCalendarDriver, fs).is_ok()) {
    Status st = check_calendar_structure(*this, gruppe_fields());
    if (!st.is_ok()) close_with(std::move(st));
  }
}

DBTERMIN::DBTERMIN(FileSystem* fs) {
  if (open(in_data(kTermineFile), true, false, kCalendarDriver, fs).is_ok()) {
    Status st = check_calendar_structure(*this, termine_fields());
    if (!st.is_ok()) close_with(std::move(st));
  }
}

Status DBGRUPPE_NEU(FileSystem* fs) { return table_new(fs, kGruppeFile, kGruppeBag, gruppe_fields()); }
Status DBTERMINE_NEU(FileSystem* fs) { return table_new(fs, kTermineFile, kTermineBag, termine_fields()); }

Status DBINDEX_NEU(bool rebuild, FileSystem* fs) {
  Status first = build_bag(fs, rebuild, kGruppeFile, kGruppeBag, gruppe_fields(), gruppe_orders());
  Status second = build_bag(fs, rebuild, kTermineFile, kTermineBag, termine_fields(), termine_orders());
  return first.is_ok() ? second : first;
}

Status check_calendar_structure(const DBSERVER& server, const std::vector<StructRow>& expected) {
  const std::vector<StructRow> have = server.DBSTRUCT();
  auto differs = [&](const std::string& what) {
    return Status::corrupt("Die Tabelle " + server.path() + " hat nicht die Felder des Kalenders: " + what);
  };
  for (size_t i = 0; i < expected.size(); ++i) {
    const StructRow& e = expected[i];
    if (i >= have.size()) return differs("das Feld " + upper_ascii(e.name) + " fehlt");
    const StructRow& h = have[i];
    if (upper_ascii(h.name) != upper_ascii(e.name))
      return differs("Feld " + std::to_string(i + 1) + " heißt " + h.name + " statt " + upper_ascii(e.name));
    if (h.type != e.type || h.length != e.length || h.decimals != e.decimals)
      return differs("das Feld " + h.name + " ist " + std::string(1, h.type) + " " + std::to_string(h.length) +
                     "," + std::to_string(h.decimals) + " statt " + std::string(1, e.type) + " " +
                     std::to_string(e.length) + "," + std::to_string(e.decimals));
  }
  if (have.size() > expected.size()) return differs("das Feld " + have[expected.size()].name + " ist zu viel");
  return Status::ok();
}

std::vector<CalendarTableProblem> open_calendar_tables(FileSystem* fs) {
  std::vector<CalendarTableProblem> problems;
  close_calendar_tables();
  // Per table the first thing that went wrong: creating it, opening it (with its
  // structure), building its bag. A table that cannot be made or opened is reported once.
  auto settle = [&](DBSERVER& server, Status made, std::string_view file) {
    if (!made.is_ok()) {
      problems.push_back({in_data(file), std::move(made)});
      return;
    }
    if (!server.open_status().is_ok()) {
      problems.push_back({in_data(file), server.open_status()});
      return;
    }
  };
  Status g_made = DBGRUPPE_NEU(fs);
  Status t_made = DBTERMINE_NEU(fs);
  Status g_bag = g_made.is_ok() ? build_bag(fs, false, kGruppeFile, kGruppeBag, gruppe_fields(), gruppe_orders())
                                : Status::ok();
  Status t_bag = t_made.is_ok()
                     ? build_bag(fs, false, kTermineFile, kTermineBag, termine_fields(), termine_orders())
                     : Status::ok();
  // A bag a failed or killed writer left half-changed is rebuilt beside its table and put
  // in its place while no other program uses the table; shared, it could only be read.
  for (auto [file, bag] : {std::pair{kGruppeFile, kGruppeBag}, std::pair{kTermineFile, kTermineBag}}) {
    auto found = existing(fs_of(fs), bag);
    if (!found || !index::change_left_unfinished(fs_of(fs), *found, true)) continue;
    DBSERVER alone;
    if (alone.open(in_data(file), false, false, kCalendarDriver, fs).is_ok()) alone.CLOSE().ignore();
  }
  GRUPPENDB = std::make_unique<DBGRUPPE>(fs);
  settle(*GRUPPENDB, std::move(g_made), kGruppeFile);
  if (GRUPPENDB->used() && !g_bag.is_ok()) problems.push_back({in_data(kGruppeBag), std::move(g_bag)});
  TERMINDB = std::make_unique<DBTERMIN>(fs);
  settle(*TERMINDB, std::move(t_made), kTermineFile);
  if (TERMINDB->used() && !t_bag.is_ok()) problems.push_back({in_data(kTermineBag), std::move(t_bag)});
  return problems;
}

CalendarMoveResult move_calendar_files(FileSystem& fs, const std::string& from_dir, const std::string& to_dir) {
  std::vector<std::pair<std::string, std::string>> moves;
  auto drop_temps = [&] {
    for (const auto& m : moves) fs.remove(m.first).ignore();
  };
  for (std::string_view name : {kGruppeFile, kGruppeBag, kTermineFile, kTermineBag}) {
    std::string source = from_dir + std::string(name);
    if (!fs.exists(source)) {
      if (auto found = find_file_nocase(fs, from_dir, std::string(name))) source = *found;
    }
    const std::string target = to_dir + std::string(name);
    const std::string temp = temp_name_for(target);
    Status st = copy_file(fs, source, temp);
    if (!st.is_ok()) {
      fs.remove(temp).ignore();
      drop_temps();
      return {std::move(st), target};
    }
    moves.emplace_back(temp, target);
  }
  Status st = replace_files(fs, moves);
  if (!st.is_ok()) {
    drop_temps();
    return {std::move(st), to_dir + std::string(kGruppeFile)};
  }
  return {Status::ok(), {}};
}

void close_calendar_tables() {
  if (GRUPPENDB) GRUPPENDB->CLOSE().ignore();
  if (TERMINDB) TERMINDB->CLOSE().ignore();
}

}  // namespace mv
