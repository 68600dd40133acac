#include "header/header_file.h"

#include <algorithm>
#include <cctype>
#include <ctime>

#include "platform/base/bytes.h"
#include "platform/table/backup.h"
#include "platform/table/drivers.h"

namespace mv::header {
namespace {

const std::string kNoFindings = "Es wurden keine Fehler gefunden!";

std::string two_hex(uint8_t b) {
  std::string s = hex_form(std::span<const uint8_t>(&b, 1));
  s.pop_back();
  return s;
}

// The table file as it is on disk, found without regard to case.
std::optional<std::string> find_table(FileSystem& fs, const std::string& path) {
  return find_file_nocase(fs, path_dir(path), path_file(path));
}

Result<std::unique_ptr<File>> open_table(FileSystem& fs, const std::string& path, OpenMode mode) {
  auto found = find_table(fs, path);
  if (!found) return Status::not_found("FOpen Fehler: " + system_error_text(Status::not_found(path)));
  auto f = fs.open(*found, mode);
  if (!f) return Status(f.status().kind(), "FOpen Fehler: " + system_error_text(f.status()));
  return f;
}

Result<HeaderBytes> read_header_from(File& f) {
  HeaderBytes bytes{};
  auto got = f.read_at(0, bytes.data(), bytes.size());
  if (!got) return Status(got.status().kind(), "FRead Fehler: " + system_error_text(got.status()));
  if (got.value() < bytes.size())
    return Status::corrupt("FRead Fehler: " + system_error_text(Status::corrupt("")));
  return bytes;
}

}  // namespace

Date local_date(int64_t mtime) {
  std::time_t t = std::time_t(mtime);
  std::tm tm{};
  localtime_r(&t, &tm);
  return Date::from_ymd(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

std::string system_error_text(const Status& s) {
  switch (s.kind()) {
    case StatusKind::Ok: return "";
    case StatusKind::NotFound: return "Datei nicht gefunden";
    case StatusKind::ReadOnly: return "Zugriff verweigert";
    case StatusKind::Locked: return "Die Datei wird von einem anderen Programm benutzt";
    case StatusKind::Corrupt: return "Dateiende vorzeitig erreicht";
    case StatusKind::IoError: return "Ein-/Ausgabefehler";
    case StatusKind::InvalidArgument: return "Ungültiger Dateiname";
    case StatusKind::NotSupported: return "Nicht unterstützt";
    case StatusKind::Cancelled: return "Abgebrochen";
  }
  return "Unbekannter Fehler";
}

Result<HeaderBytes> read_header_bytes(FileSystem& fs, const std::string& path) {
  MV_ASSIGN_OR_RETURN(auto f, open_table(fs, path, OpenMode::Read));
  return read_header_from(*f);
}

std::optional<std::array<uint8_t, 2>> read_header_end(FileSystem& fs, const std::string& path,
                                                      uint16_t header_length) {
  auto f = open_table(fs, path, OpenMode::Read);
  if (!f) return std::nullopt;
  const auto offs = header_end_offsets(header_length);
  std::array<uint8_t, 2> out{};
  auto got = f.value()->read_at(offs[0], out.data(), 2);
  if (!got || got.value() < 2) return std::nullopt;
  return out;
}

std::vector<DescriptorBytes> read_descriptor_slots(FileSystem& fs, const std::string& path) {
  std::vector<DescriptorBytes> out;
  auto f = open_table(fs, path, OpenMode::Read);
  if (!f) return out;
  auto head = read_header_from(*f.value());
  if (!head) return out;
  const uint16_t hl = decode_header(head.value()).header_length;
  std::vector<uint8_t> area(std::max<size_t>(hl, dbf::kHeaderSize));
  auto got = f.value()->read_at(0, area.data(), area.size());
  if (!got) return out;
  area.resize(got.value());
  const size_t n = descriptor_count(area, hl);
  for (size_t i = 1; i <= n; ++i) {
    const uint64_t off = descriptor_offset(i);
    if (off + dbf::kDescriptorSize > area.size()) break;
    DescriptorBytes slot{};
    std::copy_n(area.begin() + ptrdiff_t(off), slot.size(), slot.begin());
    out.push_back(slot);
  }
  return out;
}

DescriptorRow descriptor_row(size_t number, const DescriptorBytes& slot) {
  const DbfFieldDescriptor d = decode_descriptor(slot);
  return DescriptorRow{number, d.name, d.type, d.length, d.decimals};
}

TestOutcome test_header(FileSystem& fs, const std::string& table_path, const std::vector<DescriptorRow>& rows,
                        const std::optional<OpenTableFacts>& open_table_facts, int epoch) {
  auto f = open_table(fs, table_path, OpenMode::Read);
  if (!f) return {true, f.status().message()};
  auto bytes = read_header_from(*f.value());
  if (!bytes) return {true, bytes.status().message()};
  auto size_r = f.value()->size();
  auto st = fs.stat(f.value()->path());
  if (!size_r || !st) return {true, "FOpen Fehler: " + system_error_text(size_r ? st.status() : size_r.status())};
  const uint64_t file_size = size_r.value();
  const DbfHeader h = decode_header(bytes.value());

  std::string text;
  bool scan = true;
  const Date d = last_change(h, epoch);
  if (d.empty()) {
    text += "ungültiges Datum\r\n";
  } else if (d != local_date(st.value().mtime)) {
    text += "keine Übereinstimmung beim Datum der letzten Änderung\r\n";
  }
  uint32_t fields = 0;
  if (h.header_length <= dbf::kHeaderSize) {
    text += "Die Anfangsposition ist zu klein\r\n";
    scan = false;
  } else {
    fields = uint32_t((h.header_length - dbf::kHeaderSize) / dbf::kDescriptorSize);
  }
  if (h.header_length >= file_size) {
    text += "Die Anfangsposition ist zu groß\r\n";
    scan = false;
  } else if (h.record_length >= 1 && records_by_size(file_size, h.header_length, h.record_length) != h.record_count) {
    text += "Die Anzahl der Datensätze oder die Anfangsposition stimmt nicht\r\n";
  }
  if (h.record_length < 1) {
    text += "Die Satzlänge ist zu klein\r\n";
    scan = false;
  }
  if (open_table_facts) {
    if (open_table_facts->record_size != h.record_length) text += "keine Übereinstimmung bei der Satzlänge\r\n";
    if (open_table_facts->last_rec != h.record_count)
      text += "keine Übereinstimmung bei der Anzahl der Datensätze\r\n";
    if (open_table_facts->field_count != fields) text += "keine Übereinstimmung bei der Anzahl der Datenfelder\r\n";
  }
  uint64_t sum = 1;
  for (const auto& r : rows) sum += r.length;
  if (sum != h.record_length)
    text += "keine Übereinstimmung bei der Satzlänge der Strukturdaten " + std::to_string(sum) + " <> " +
            std::to_string(h.record_length) + "\r\n";

  if (scan && file_size > h.header_length) {
    // Reads the flags in blocks: one read per record would make the test of a large
    // table many times slower than reading the file.
    const uint64_t end = file_size >= 2 ? file_size - 2 : 0;
    std::vector<uint8_t> buf(1 << 16);
    uint64_t buf_start = 0, buf_len = 0;
    for (uint64_t p = h.header_length; p < end; p += h.record_length) {
      if (p < buf_start || p >= buf_start + buf_len) {
        auto got = f.value()->read_at(p, buf.data(), buf.size());
        if (!got || got.value() == 0) {
          text = "Lesefehler an der Pos. " + std::to_string(p) + " der Daten";
          break;
        }
        buf_start = p;
        buf_len = got.value();
      }
      const uint8_t flag = buf[size_t(p - buf_start)];
      if (flag == ' ' || flag == '*') continue;
      text += "Unzulässiges Zeichen an der Pos. " + std::to_string(p) + " der Daten";
      break;
    }
  }
  if (text.empty()) text = kNoFindings;
  return {false, text};
}

TestOutcome test_structure(FileSystem& fs, const std::string& table_path, const std::vector<DescriptorRow>& rows) {
  auto f = open_table(fs, table_path, OpenMode::Read);
  auto bytes = f ? read_header_from(*f.value()) : Result<HeaderBytes>(f.status());
  if (!bytes) return {true, table_path + "\r\n" + "konnte nicht geöffnet werden!"};
  const DbfHeader h = decode_header(bytes.value());
  std::string text;
  uint64_t sum = 1;
  for (const auto& r : rows) {
    sum += r.length;
    const std::string n = std::to_string(r.number);
    if (kTestedTypes.find(r.type) == std::string_view::npos) {
      text += "ungültige Feldtype beim Datenfeld Nr. " + n + "\r\n";
      continue;
    }
    if (r.length == 0) text += "Feldlänge beim Datenfeld Nr. " + n + " nicht definiert" + "\r\n";
    if (r.type != 'N' && r.decimals != 0) text += "Decimalwert beim Datenfeld Nr. " + n + " ist nicht Null" + "\r\n";
    uint32_t fixed = 0;
    if (r.type == 'M' || r.type == 'O') fixed = 10;
    if (r.type == 'D') fixed = 8;
    if (r.type == 'L') fixed = 1;
    if (fixed && r.length != fixed)
      text += "Feldlänge beim Datenfeld Nr. " + n + " ist nicht " + std::to_string(fixed) + "\r\n";
  }
  if (sum != h.record_length)
    text += "keine Übereinstimmung bei der Satzlänge der Strukturdaten " + std::to_string(sum) + " <> " +
            std::to_string(h.record_length) + "\r\n";
  if (text.empty()) text = kNoFindings;
  return {false, text};
}

WritePlan plan_header_write(const HeaderBytes& stored, const HeaderEdit& edit, int epoch) {
  WritePlan plan;
  auto add = [&](uint64_t off, uint8_t value, const char* failure) {
    if (stored[off] != value) plan.writes.push_back({off, stored[off], value, failure});
  };
  if (edit.version) add(dbf::kOffVersion, *edit.version, "Das Byte0 konnte nicht geändert werden");

  const Date typed = ctod(edit.date_text);
  const bool stored_empty = last_change(decode_header(stored), epoch).empty();
  if (typed.empty()) {
    // A date unreadable as stored and left so by the user stays as it is.
    bool blank = edit.date_text.find_first_not_of(" .") == std::string::npos;
    if (!(blank && stored_empty)) {
      plan.error = "Fehler beim Datum";
      plan.writes.clear();
      return plan;
    }
  } else {
    add(dbf::kOffYear, year_byte_for(typed.year(), epoch), "Das Jahr konnte nicht geändert werden");
    add(dbf::kOffMonth, uint8_t(typed.month()), "Der Monat konnte nicht geändert werden");
    add(dbf::kOffDay, uint8_t(typed.day()), "Der Tag konnte nicht geändert werden");
  }

  struct Number {
    uint64_t value, max;
    size_t offset, width;
    const char* failure;
  };
  const Number numbers[] = {
      {edit.record_count, 4294967295u, dbf::kOffRecordCount, 4, "Die Anzahl der Datensätze konnte nicht geändert werden"},
      {edit.record_length, 65535u, dbf::kOffRecordLength, 2, "Die Länge eines Datensatzes konnte nicht geändert werden"},
      {edit.header_length, 65535u, dbf::kOffHeaderLength, 2,
       "Die Anfangsposition der Datensätze konnte nicht geändert werden"},
  };
  for (const Number& n : numbers) {
    if (n.value > n.max) {
      plan.error = n.failure;
      plan.writes.clear();
      return plan;
    }
    // Highest byte first, as the fields were always written.
    for (size_t i = n.width; i-- > 0;) add(n.offset + i, uint8_t(n.value >> (8 * i)), n.failure);
  }
  return plan;
}

WritePlan plan_descriptor_write(const std::vector<DescriptorBytes>& slots, uint16_t header_length,
                                const DescriptorEdit& edit) {
  WritePlan plan;
  auto fail = [&](const char* text) {
    plan.error = text;
    return plan;
  };
  const size_t n = edit.number;
  if (n == 0 || n > slots.size() || descriptor_offset(n) + dbf::kDescriptorSize > header_length)
    return fail("Es wurde kein Datenfeld ausgewählt");
  if (edit.type == 0 || kWritableTypes.find(edit.type) == std::string_view::npos)
    return fail("Es wurde kein Feldtype ausgewählt");
  if (edit.name_bytes.empty()) return fail("Es wurde kein Name erfasst");
  if (edit.length == 0) return fail("Es wurde keine Länge erfasst");
  if (edit.type != 'N' && edit.decimals > 0) return fail("Der Dec-Wert ist nicht Null");
  if (edit.name_bytes.size() > dbf::kMaxFieldNameLength) return fail("Der Name konnte nicht geändert werden");
  if (edit.length > (edit.type == 'C' ? 65535u : 255u)) return fail("Die Feldlänge konnte nicht geändert werden");
  if (edit.decimals > 255) return fail("Die Dec-Wert konnte nicht geändert werden");

  const DescriptorBytes& stored = slots[n - 1];
  const uint64_t base = descriptor_offset(n);
  auto add = [&](size_t i, uint8_t value, const char* failure) {
    if (stored[i] != value) plan.writes.push_back({base + i, stored[i], value, failure});
  };
  for (size_t i = 0; i < 11; ++i)
    add(i, i < edit.name_bytes.size() ? uint8_t(edit.name_bytes[i]) : 0, "Der Name konnte nicht geändert werden");
  add(11, uint8_t(edit.type), "Die Feldtype konnte nicht geändert werden");
  if (edit.type == 'C' && edit.length > 255) {
    add(16, uint8_t(edit.length % 256), "Die Feldlänge konnte nicht geändert werden");
    add(17, uint8_t(edit.length / 256), "Die Feldlänge konnte nicht geändert werden");
  } else {
    add(16, uint8_t(edit.length), "Die Feldlänge konnte nicht geändert werden");
    add(17, uint8_t(edit.decimals), "Die Dec-Wert konnte nicht geändert werden");
  }
  return plan;
}

Status apply_writes(File& file, const std::vector<ByteWrite>& writes) {
  for (size_t i = 0; i < writes.size(); ++i) {
    const ByteWrite& w = writes[i];
    if (file.write_at(w.offset, &w.new_value, 1)) continue;
    // Puts back what was written, last first, so the header is never left half-changed.
    for (size_t k = i; k-- > 0;) file.write_at(writes[k].offset, &writes[k].old_value, 1).ignore();
    return Status::io_error(w.failure);
  }
  return file.sync();
}

std::string write_report_line(const ByteWrite& w) {
  return "Pos. " + std::to_string(w.offset) + ": " + two_hex(w.old_value) + " => " + two_hex(w.new_value);
}

Result<RawLayout> record_layout(FileSystem& fs, const std::string& table_path) {
  auto f = open_table(fs, table_path, OpenMode::Read);
  if (!f) return f.status();
  RawLayout out;
  out.path = f.value()->path();
  auto bytes = read_header_from(*f.value());
  if (!bytes) return out;  // nothing to show, but the file is there
  const DbfHeader h = decode_header(bytes.value());
  MV_ASSIGN_OR_RETURN(uint64_t size, f.value()->size());
  out.start = h.header_length;
  out.row_length = h.record_length;
  if (h.record_length == 0) return out;
  const uint64_t complete = records_by_size(size, h.header_length, h.record_length);
  out.rows = uint32_t(std::min<uint64_t>({h.record_count, kMaxRawRows, complete}));
  return out;
}

Result<RawLayout> block_layout(FileSystem& fs, const std::string& file_path) {
  auto found = find_table(fs, file_path);
  if (!found) return Status::not_found(file_path);
  MV_ASSIGN_OR_RETURN(auto f, fs.open(*found, OpenMode::Read));
  MV_ASSIGN_OR_RETURN(uint64_t size, f->size());
  RawLayout out;
  out.path = *found;
  out.row_length = kRawBlockSize;
  out.rows = uint32_t(std::min<uint64_t>(size / kRawBlockSize, kMaxRawRows));
  return out;
}

Result<std::vector<uint8_t>> read_raw_rows(FileSystem& fs, const RawLayout& layout, uint32_t first,
                                           uint32_t count) {
  std::vector<uint8_t> out;
  if (first >= layout.rows || layout.row_length == 0) return out;
  count = std::min(count, layout.rows - first);
  MV_ASSIGN_OR_RETURN(auto f, fs.open(layout.path, OpenMode::Read));
  out.resize(size_t(count) * layout.row_length);
  MV_ASSIGN_OR_RETURN(size_t got,
                      f->read_at(layout.start + uint64_t(first) * layout.row_length, out.data(), out.size()));
  out.resize(got - got % layout.row_length);
  return out;
}

namespace {

template <typename Plan>
RepairOutcome repair(FileSystem& fs, const std::string& table_path, Plan plan_for) {
  RepairOutcome out;
  auto f = open_table(fs, table_path, OpenMode::ReadWrite);
  if (!f) {
    out.error = f.status().message();
    return out;
  }
  File& file = *f.value();
  Status locked = file.lock(kOpenModeLockOffset, 1, LockType::Exclusive);
  if (!locked) {
    out.error = locked.kind() == StatusKind::Locked ? "Die Datei kann nicht exklusiv geöffnet werden!"
                                                    : "FOpen Fehler: " + system_error_text(locked);
    return out;
  }
  struct Unlock {
    File& f;
    ~Unlock() { f.unlock(kOpenModeLockOffset, 1).ignore(); }
  } unlock{file};
  WritePlan plan = plan_for(file);
  if (!plan.error.empty() || plan.writes.empty()) {
    out.error = plan.error;
    return out;
  }
  // The backup copies the table file as the window names it; its companions are not
  // touched by a repair.
  std::string ext = path_ext(table_path);
  for (char& c : ext) c = char(std::toupper(static_cast<unsigned char>(c)));
  if (ext.empty()) ext = ".DBF";
  const std::string_view exts[] = {ext};
  BackupOutcome b = make_numbered_backup(fs, table_path, exts);
  if (!b.ok()) {
    out.error = copy_failure_text(path_dir(table_path) + path_stem(table_path), b.failed_ext);
    return out;
  }
  out.backup_base = b.new_base;
  Status st = apply_writes(file, plan.writes);
  if (!st) {
    out.error = st.message();
    return out;
  }
  out.written = std::move(plan.writes);
  return out;
}

}  // namespace

RepairOutcome repair_header(FileSystem& fs, const std::string& table_path, const HeaderEdit& edit, int epoch) {
  return repair(fs, table_path, [&](File& file) {
    auto bytes = read_header_from(file);
    if (!bytes) return WritePlan{bytes.status().message(), {}};
    return plan_header_write(bytes.value(), edit, epoch);
  });
}

RepairOutcome repair_descriptor(FileSystem& fs, const std::string& table_path, const DescriptorEdit& edit) {
  return repair(fs, table_path, [&](File& file) {
    auto bytes = read_header_from(file);
    if (!bytes) return WritePlan{bytes.status().message(), {}};
    // The descriptors as they are now, not as some earlier display showed them.
    const uint16_t hl = decode_header(bytes.value()).header_length;
    std::vector<uint8_t> area(std::max<size_t>(hl, dbf::kHeaderSize));
    auto got = file.read_at(0, area.data(), area.size());
    if (!got) return WritePlan{"FRead Fehler: " + system_error_text(got.status()), {}};
    area.resize(got.value());
    std::vector<DescriptorBytes> slots;
    const size_t n = descriptor_count(area, hl);
    for (size_t i = 1; i <= n && descriptor_offset(i) + dbf::kDescriptorSize <= area.size(); ++i) {
      DescriptorBytes slot{};
      std::copy_n(area.begin() + ptrdiff_t(descriptor_offset(i)), slot.size(), slot.begin());
      slots.push_back(slot);
    }
    return plan_descriptor_write(slots, hl, edit);
  });
}

std::string repair_report(const RepairOutcome& r) {
  std::string text = "Es wurde die Sicherungskopie \r\n" + r.backup_base + ".DBF" + "\r\n" + " erstellt";
  for (const ByteWrite& w : r.written) text += "\r\n" + write_report_line(w);
  return text;
}

std::string copy_failure_text(const std::string& base, const std::string& ext) {
  return "Die alte Datei\r\n\r\n" + base + "\r\n" + ext + "\r\n" + "\r\n" + "konnte nicht kopiert werden!";
}

}  // namespace mv::header
