#include "shell/csv_import.h"

#include <algorithm>
#include <memory>

#include "platform/runtime/date.h"
#include "platform/table/file_ops.h"
#include "platform/table/table.h"

namespace mv {

// ---------------------------------------------------------------- parser

std::string& CsvParser::field() {
  if (rec_.count == 0) {
    if (rec_.values.empty()) rec_.values.emplace_back();
    rec_.values[0].clear();
    rec_.count = 1;
    rec_.line = line_;
  }
  return rec_.values[rec_.count - 1];
}

void CsvParser::end_field() {
  field();
  cr_pending_ = false;
  if (rec_.values.size() <= rec_.count) rec_.values.emplace_back();
  rec_.values[rec_.count].clear();
  ++rec_.count;
}

bool CsvParser::end_record() {
  field();
  if (cr_pending_) rec_.values[rec_.count - 1].pop_back();
  cr_pending_ = false;
  const bool go_on = on_record_(rec_);
  rec_.count = 0;
  at_start_ = true;
  state_ = State::FieldStart;
  return go_on;
}

bool CsvParser::feed(std::string_view bytes) {
  size_t i = 0;
  if (!bom_checked_) {
    static constexpr std::string_view kBom = "\xEF\xBB\xBF";
    while (i < bytes.size() && bom_.size() < kBom.size() && bytes[i] == kBom[bom_.size()]) bom_ += bytes[i++];
    if (bom_.size() == kBom.size()) {
      bom_checked_ = true;
    } else if (i < bytes.size()) {
      // Not a byte order mark: its first bytes were text.
      bom_checked_ = true;
      const std::string held = std::move(bom_);
      if (!held.empty() && !feed(held)) return false;
    } else {
      return true;  // all of it may still begin a byte order mark
    }
  }
  for (; i < bytes.size(); ++i) {
    const char c = bytes[i];
    switch (state_) {
      case State::FieldStart:
      case State::Unquoted:
        if (c == ';') {
          end_field();
          state_ = State::FieldStart;
        } else if (c == '\n') {
          if (!end_record()) return false;
        } else if (c == '"' && state_ == State::FieldStart) {
          field();
          state_ = State::Quoted;
        } else {
          field() += c;
          cr_pending_ = c == '\r';
          state_ = State::Unquoted;
        }
        break;
      case State::Quoted:
        if (c == '"')
          state_ = State::QuoteInQuoted;
        else
          field() += c;
        break;
      case State::QuoteInQuoted:
        if (c == '"') {
          field() += c;
          state_ = State::Quoted;
        } else if (c == ';') {
          end_field();
          state_ = State::FieldStart;
        } else if (c == '\n') {
          if (!end_record()) return false;
        } else {
          // Text after the closing quote belongs to the value as written.
          field() += c;
          cr_pending_ = c == '\r';
          state_ = State::Unquoted;
        }
        break;
    }
    if (c == '\n')
      ++line_;
    else
      at_start_ = false;
  }
  return true;
}

bool CsvParser::finish() {
  if (!bom_checked_ && !bom_.empty()) {
    bom_checked_ = true;
    const std::string held = std::move(bom_);
    if (!feed(held)) return false;
  }
  if (at_start_ && rec_.count == 0) return true;
  return end_record();
}

// ---------------------------------------------------------------- value tests

bool csv_number(std::string_view v, uint32_t* decimals) {
  size_t i = 0;
  const bool minus = !v.empty() && v[0] == '-';
  if (minus) ++i;
  const size_t int_start = i;
  while (i < v.size() && v[i] >= '0' && v[i] <= '9') ++i;
  const size_t int_len = i - int_start;
  if (int_len == 0) return false;
  if (int_len > 1 && v[int_start] == '0') return false;  // 0012 would be written as 12
  uint32_t dec = 0;
  bool nonzero = v[int_start] != '0';
  if (i < v.size()) {
    if (v[i] != '.' && v[i] != ',') return false;
    ++i;
    const size_t frac_start = i;
    while (i < v.size() && v[i] >= '0' && v[i] <= '9') {
      if (v[i] != '0') nonzero = true;
      ++i;
    }
    if (i != v.size() || i == frac_start) return false;
    dec = uint32_t(i - frac_start);
  }
  if (minus && !nonzero) return false;  // -0 would be written as 0
  if (decimals) *decimals = dec;
  return true;
}

bool csv_date(std::string_view v) {
  if (v.size() < 8) return false;
  for (char c : v)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return !ctod(v).empty();
}

namespace {

bool is_latin_letter(char32_t ch) {
  if ((ch >= U'A' && ch <= U'Z') || (ch >= U'a' && ch <= U'z')) return true;
  if (ch >= 0xC0 && ch <= 0x24F) return ch != 0xD7 && ch != 0xF7;
  return ch == 0xAA || ch == 0xB5 || ch == 0xBA || ch == 0x192;
}

bool has_high_byte(std::string_view v) {
  for (char c : v)
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  return false;
}

// Decodes one character of valid UTF-8 at `i`.
char32_t next_utf8(std::string_view s, size_t& i) {
  const auto b = [&](size_t k) { return char32_t(static_cast<unsigned char>(s[k])); };
  const char32_t c = b(i);
  if (c < 0x80) { ++i; return c; }
  if (c < 0xE0) { const char32_t r = ((c & 0x1F) << 6) | (b(i + 1) & 0x3F); i += 2; return r; }
  if (c < 0xF0) {
    const char32_t r = ((c & 0x0F) << 12) | ((b(i + 1) & 0x3F) << 6) | (b(i + 2) & 0x3F);
    i += 3;
    return r;
  }
  const char32_t r = ((c & 0x07) << 18) | ((b(i + 1) & 0x3F) << 12) | ((b(i + 2) & 0x3F) << 6) | (b(i + 3) & 0x3F);
  i += 4;
  return r;
}

size_t utf8_chars(std::string_view s) {
  size_t n = 0;
  for (char c : s)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

// The file's text in the table's code page.
class Converter {
 public:
  Converter(bool utf8, CodePage source, CodePage target) : utf8_(utf8), source_(source), target_(target) {}
  // Converts `v` (at most `max_chars` characters) into `out`; false names the character
  // the table cannot hold in `bad`.
  bool convert(std::string_view v, std::string& out, char32_t& bad, size_t max_chars = SIZE_MAX) const {
    out.clear();
    size_t i = 0;
    while (i < v.size() && out.size() < max_chars) {
      char32_t ch;
      if (utf8_) {
        ch = next_utf8(v, i);
      } else {
        ch = cp_decode(source_, static_cast<unsigned char>(v[i]));
        ++i;
      }
      if (ch < 0x80) {
        out += char(ch);
        continue;
      }
      const auto byte = cp_encode(target_, ch);
      if (!byte) {
        bad = ch;
        return false;
      }
      out += char(*byte);
    }
    return true;
  }

 private:
  bool utf8_;
  CodePage source_, target_;
};

std::string char_message(char32_t ch, uint64_t line, size_t column, CodePage target) {
  std::string c;
  append_utf8(c, ch);
  return "Das Zeichen \"" + c + "\" in Zeile " + std::to_string(line) + ", Spalte " + std::to_string(column) +
         " kann in der Tabelle (" + code_page_name(target) + ") nicht gespeichert werden!";
}

struct ColumnStats {
  bool date = true;
  bool number = true;
  uint64_t values = 0;
  uint32_t max_bytes = 0;
  uint32_t max_chars = 0;
  uint32_t int_width = 0;  // sign and digits before the point
  uint32_t decimals = 0;
};

constexpr size_t kChunk = 1 << 20;

// Reads `file` from the start through `parser`; `progress` gets the bytes read so far.
Status read_through(File& file, uint64_t size, CsvParser& parser, const std::function<bool(uint64_t)>& progress,
                    bool& stopped) {
  std::vector<char> buf(kChunk);
  uint64_t off = 0;
  stopped = false;
  while (off < size) {
    auto n = file.read_at(off, buf.data(), size_t(std::min<uint64_t>(kChunk, size - off)));
    if (!n) return n.status();
    if (*n == 0) break;
    off += *n;
    if (!parser.feed(std::string_view(buf.data(), *n))) {
      stopped = true;
      return Status::ok();
    }
    if (progress && !progress(off)) return Status::cancelled("Abbruch");
  }
  if (!parser.finish()) stopped = true;
  return Status::ok();
}

}  // namespace

CodePage csv_single_byte_encoding(const bool high[128]) {
  bool any = false, all850 = true, all1252 = true;
  for (int b = 0; b < 128; ++b) {
    if (!high[b]) continue;
    any = true;
    if (!is_latin_letter(cp_decode(CodePage::Cp850, static_cast<unsigned char>(0x80 + b)))) all850 = false;
    if (!is_latin_letter(cp_decode(CodePage::Windows1252, static_cast<unsigned char>(0x80 + b)))) all1252 = false;
  }
  return any && all850 && !all1252 ? CodePage::Cp850 : CodePage::Windows1252;
}

std::string csv_table_path(const std::string& csv_path) {
  return csv_path.substr(0, csv_path.size() < 3 ? 0 : csv_path.size() - 3) + "DBF";
}

CsvImportResult import_csv(FileSystem& fs, const std::string& csv_path, CodePage target,
                           const CsvImportHooks& hooks) {
  CsvImportResult res;
  std::string table_path = csv_table_path(csv_path);
  const auto existing = find_file_nocase(fs, path_dir(table_path), path_file(table_path));
  if (existing) {
    if (!hooks.confirm_overwrite || !hooks.confirm_overwrite(*existing)) {
      res.cancelled = true;
      return res;
    }
    table_path = *existing;
    // A table somebody has open would keep writing into the replaced file: its changes
    // would be lost, so it is not replaced while it is in use.
    OpenOptions probe;
    probe.shared = false;
    probe.read_only = true;
    probe.fs = &fs;
    auto in_use = Table::open(table_path, probe);
    if (!in_use && in_use.status().kind() == StatusKind::Locked) {
      res.message = "Die Datei: " + table_path + "\r\nwird gerade benutzt und kann nicht überschrieben werden!";
      return res;
    }
  }
  res.table = table_path;

  auto opened = fs.open(csv_path, OpenMode::Read);
  if (!opened) {
    res.message = "FOpen Fehler: " + opened.status().message();
    return res;
  }
  std::unique_ptr<File> file = std::move(opened).value();
  auto size_or = file->size();
  if (!size_or) {
    res.message = "FRead Fehler: " + size_or.status().message();
    return res;
  }
  const uint64_t size = *size_or;
  const uint64_t total = 2 * size;

  // Pass 1: the header, the columns' types and widths, the encoding.
  std::vector<std::string> header;
  std::vector<ColumnStats> stats;
  bool utf8 = true;
  bool high[128] = {};
  uint64_t short_line = 0;
  size_t short_count = 0;
  auto note_bytes = [&](std::string_view v) {
    if (!has_high_byte(v)) return;
    for (char c : v)
      if (static_cast<unsigned char>(c) >= 0x80) high[static_cast<unsigned char>(c) - 0x80] = true;
    if (utf8 && !is_valid_utf8(v)) utf8 = false;
  };
  bool have_header = false;
  CsvParser first([&](const CsvRecord& r) {
    if (!have_header) {
      have_header = true;
      header.assign(r.values.begin(), r.values.begin() + long(r.count));
      for (const std::string& h : header) note_bytes(h);
      stats.resize(header.size());
      return true;
    }
    if (r.count < header.size()) {
      short_line = r.line;
      short_count = r.count;
      return false;
    }
    for (size_t j = 0; j < header.size(); ++j) {
      const std::string& v = r.values[j];
      ColumnStats& s = stats[j];
      ++s.values;
      note_bytes(v);
      s.max_bytes = std::max<uint32_t>(s.max_bytes, uint32_t(v.size()));
      s.max_chars = std::max<uint32_t>(s.max_chars, uint32_t(utf8_chars(v)));
      if (s.date && !csv_date(v)) s.date = false;
      if (s.number) {
        uint32_t dec = 0;
        if (!csv_number(v, &dec)) {
          s.number = false;
        } else {
          s.decimals = std::max(s.decimals, dec);
          s.int_width = std::max<uint32_t>(s.int_width, uint32_t(dec ? v.size() - dec - 1 : v.size()));
        }
      }
    }
    return true;
  });
  bool stopped = false;
  Status st = read_through(*file, size, first, [&](uint64_t done) { return !hooks.progress || hooks.progress(done, total); },
                           stopped);
  if (st.kind() == StatusKind::Cancelled) {
    res.cancelled = true;
    return res;
  }
  if (!st) {
    res.message = "FRead Fehler: " + st.message();
    return res;
  }
  if (short_line) {
    res.message = "Es wurden nicht alle Datenfelder importiert!\r\nZeile " + std::to_string(short_line) + " enthält " +
                  std::to_string(short_count) + " von " + std::to_string(header.size()) + " Feldern.";
    return res;
  }
  const CodePage source = utf8 ? CodePage::Windows1252 : csv_single_byte_encoding(high);
  const Converter conv(utf8, source, target);

  std::vector<StructRow> fields;
  for (size_t j = 0; j < header.size(); ++j) {
    StructRow row;
    char32_t bad = 0;
    if (!conv.convert(header[j], row.name, bad, 10)) {
      res.message = char_message(bad, 1, j + 1, target);
      return res;
    }
    const ColumnStats& s = stats[j];
    if (s.values == 0) {
      row.type = 'C';
      row.length = 1;
    } else if (s.date) {
      row.type = 'D';
      row.length = 8;
    } else if (s.number) {
      row.type = 'N';
      row.decimals = uint8_t(std::min<uint32_t>(s.decimals, 255));
      row.length = s.int_width + (s.decimals ? s.decimals + 1 : 0);
    } else {
      row.type = 'C';
      row.length = std::max<uint32_t>(1, utf8 ? s.max_chars : s.max_bytes);
    }
    fields.push_back(std::move(row));
  }
  header.clear();
  header.shrink_to_fit();

  // The old table's memo file and bags go with it once the new table is in place.
  std::vector<std::string> old_companions;
  if (existing)
    for (const char* ext : {".dbt", ".fpt", ".cdx", ".mdx"})
      if (auto p = find_companion(fs, table_path, ext)) old_companions.push_back(*p);

  const std::string tmp = temp_name_for(table_path);
  auto drop_tmp = [&] {
    if (fs.exists(tmp)) fs.remove(tmp).ignore();
  };
  st = db_create(tmp, fields, "DBFCDX", target, &fs);
  if (!st) {
    drop_tmp();
    res.message = "Die DBF-Datei konnte nicht erstellt werden!\r\n" + st.message();
    return res;
  }
  OpenOptions oo;
  oo.shared = false;
  oo.driver = "DBFCDX";
  oo.code_page = target;
  oo.fs = &fs;
  auto table_or = Table::open(tmp, oo);
  if (!table_or) {
    drop_tmp();
    res.message = "Die DBF-Datei konnte nicht geöffnet werden!\r\n" + table_or.status().message();
    return res;
  }
  std::unique_ptr<Table> table = std::move(table_or).value();

  // Pass 2: the records.
  std::vector<uint8_t> rec(table->record_length(), ' ');
  std::string text;
  std::string failure;
  bool header_seen = false;
  CsvParser second([&](const CsvRecord& r) {
    if (!header_seen) {
      header_seen = true;
      return true;
    }
    std::fill(rec.begin(), rec.end(), uint8_t(' '));
    for (size_t j = 0; j < fields.size(); ++j) {
      const FieldInfo& f = table->fields()[j];
      uint8_t* at = rec.data() + f.offset;
      const std::string& v = r.values[j];
      if (f.type == 'D') {
        dtos_into(ctod(v), reinterpret_cast<char*>(at));
      } else if (f.type == 'N') {
        // Written as the file has it, with "." as point and the column's decimals.
        std::string n;
        const size_t sep = v.find_first_of(".,");
        n = v.substr(0, sep);
        if (f.decimals) {
          std::string frac = sep == std::string::npos ? std::string() : v.substr(sep + 1);
          frac.resize(f.decimals, '0');
          n += '.';
          n += frac;
        }
        if (n.size() > f.length) n = n.substr(n.size() - f.length);
        std::copy(n.begin(), n.end(), at + (f.length - n.size()));
      } else {
        char32_t bad = 0;
        if (!conv.convert(v, text, bad)) {
          failure = char_message(bad, r.line, j + 1, target);
          return false;
        }
        std::copy_n(text.begin(), std::min<size_t>(text.size(), f.length), at);
      }
    }
    const Status a = table->append_record(rec);
    if (!a) {
      failure = "Die DBF-Datei konnte nicht erstellt werden!\r\n" + a.message();
      return false;
    }
    return true;
  });
  st = read_through(*file, size, second,
                    [&](uint64_t done) { return !hooks.progress || hooks.progress(size + done, total); }, stopped);
  file.reset();
  if (st && failure.empty()) {
    st = table->close();
    if (!st) failure = "Die DBF-Datei konnte nicht erstellt werden!\r\n" + st.message();
  }
  table.reset();
  if (st.kind() == StatusKind::Cancelled || !failure.empty() || !st) {
    drop_tmp();
    if (st.kind() == StatusKind::Cancelled)
      res.cancelled = true;
    else
      res.message = !failure.empty() ? failure : "FRead Fehler: " + st.message();
    return res;
  }
  st = replace_files(fs, {{tmp, table_path}});
  if (!st) {
    drop_tmp();
    res.message = "Die DBF-Datei konnte nicht erstellt werden!\r\n" + st.message();
    return res;
  }
  for (const std::string& p : old_companions) fs.remove(p).ignore();
  return res;
}

}  // namespace mv
