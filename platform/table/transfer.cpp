// Creating tables and moving records between a table and other tables or text files
// (DBCREATE, COPY TO, COPY STRUCTURE, APPEND FROM). New files are built under a
// temporary name and put in place by rename; an append that fails is taken back.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/base/bytes.h"
#include "platform/base/text.h"
#include "platform/table/dbf_format.h"
#include "platform/table/field_codec.h"
#include "platform/table/file_ops.h"
#include "platform/table/table.h"
#include "platform/table/transfer.h"

namespace mv {

namespace {

constexpr size_t kWriteChunk = 1024 * 1024;

bool all_lower_ext(const std::string& path) {
  std::string e = path_ext(path);
  if (e.size() < 2) return false;
  for (char c : e)
    if (std::isupper(static_cast<unsigned char>(c))) return false;
  return true;
}

// The memo file of a new table: an existing companion keeps its spelling; otherwise the
// extension is upper case (".DBT", ".FPT"), lower case only when the table was named with
// a lower-case extension of its own.
std::string memo_path_for(FileSystem& fs, const std::string& dbf_path, MemoKind kind, bool lower_ext) {
  std::string ext = memo_extension(kind);
  if (auto existing = find_companion(fs, dbf_path, ext)) return *existing;
  if (lower_ext)
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return path_dir(dbf_path) + path_stem(dbf_path) + ext;
}

// A table's files as they lie on disk: the table, its memo file and its production bags
// (each found without regard to case).
std::vector<std::string> files_of_table(FileSystem& fs, const std::string& dbf) {
  std::vector<std::string> out{dbf};
  for (const char* ext : {".dbt", ".fpt", ".cdx", ".mdx"})
    if (auto p = find_companion(fs, dbf, ext)) out.push_back(*p);
  return out;
}

// Whether any of `a` is one file with any of `b`, whatever names reach them.
bool share_a_file(FileSystem& fs, const std::vector<std::string>& a, const std::vector<std::string>& b) {
  for (const auto& x : a)
    for (const auto& y : b)
      if (same_file(fs, x, y)) return true;
  return false;
}

std::string ymd_text(Date d) {
  if (d.empty()) return std::string();
  int y, m, dd;
  d.ymd(y, m, dd);
  char buf[16];
  snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, dd);
  return buf;
}

// Buffered writing of a new file under its temporary name.
class NewFile {
 public:
  NewFile(FileSystem& fs, std::string path) : fs_(fs), path_(std::move(path)), tmp_(temp_name_for(path_)) {}
  ~NewFile() { abort(); }

  Status begin() {
    if (fs_.exists(tmp_)) fs_.remove(tmp_).ignore();
    MV_ASSIGN_OR_RETURN(file_, fs_.open(tmp_, OpenMode::Create));
    return Status::ok();
  }
  Status put(const void* p, size_t n) {
    MV_ASSIGN_OR_RETURN(uint8_t * at, room(n));
    memcpy(at, p, n);
    return wrote(n);
  }
  Status put(std::string_view s) { return put(s.data(), s.size()); }
  // A place for up to `n` bytes at the end of the buffer; wrote(k) keeps k of them.
  Result<uint8_t*> room(size_t n) {
    if (buf_.empty()) buf_.resize(kWriteChunk + kSlack);
    if (used_ + n > buf_.size()) {
      MV_RETURN_IF_ERROR(drain());
      if (n > buf_.size()) buf_.resize(n);
    }
    return buf_.data() + used_;
  }
  Status wrote(size_t k) {
    used_ += k;
    if (used_ >= kWriteChunk) return drain();
    return Status::ok();
  }
  Status drain() {
    if (used_ == 0) return Status::ok();
    MV_RETURN_IF_ERROR(file_->write_at(off_, buf_.data(), used_));
    off_ += used_;
    used_ = 0;
    return Status::ok();
  }
  Status write_at(uint64_t off, const void* p, size_t n) { return file_->write_at(off, p, n); }
  File& file() { return *file_; }
  void close() { file_.reset(); }
  void abort() {
    if (done_) return;
    file_.reset();
    if (fs_.exists(tmp_)) fs_.remove(tmp_).ignore();
    done_ = true;
  }
  void committed() { done_ = true; }
  const std::string& tmp() const { return tmp_; }
  const std::string& path() const { return path_; }

 private:
  FileSystem& fs_;
  std::string path_, tmp_;
  static constexpr size_t kSlack = 64 * 1024;  // past the chunk: a record never waits for a drain
  std::unique_ptr<File> file_;
  std::vector<uint8_t> buf_;  // written up to used_
  size_t used_ = 0;
  uint64_t off_ = 0;
  bool done_ = false;
};

// A new table (DBF and, with memo fields, its memo file) written beside the old one.
class NewTable {
 public:
  // `named` is the path as the caller gave it (its extension decides the memo's case).
  NewTable(FileSystem& fs, const std::string& path, const std::string& named)
      : fs_(fs), dbf_(fs, path), lower_memo_ext_(all_lower_ext(named)) {}

  Status begin(std::vector<FieldInfo> fields, const CreateLayout& layout, std::optional<MemoKind> memo,
               uint32_t memo_block_size) {
    fields_ = std::move(fields);
    rl_ = layout_fields(fields_);
    if (rl_ == 0) return Status::invalid_argument(dbf_.path() + ": die Satzlänge übersteigt 65535 Bytes");
    header_ = build_dbf_header(fields_, layout);
    MV_RETURN_IF_ERROR(dbf_.begin());
    MV_RETURN_IF_ERROR(dbf_.put(header_.data(), header_.size()));
    if (memo) {
      memo_file_ = std::make_unique<NewFile>(fs_, memo_path_for(fs_, dbf_.path(), *memo, lower_memo_ext_));
      MV_RETURN_IF_ERROR(memo_file_->begin());
      memo_file_->close();
      MV_RETURN_IF_ERROR(MemoFile::create(fs_, memo_file_->tmp(), *memo, memo_block_size));
      MV_ASSIGN_OR_RETURN(memo_, MemoFile::open(fs_, memo_file_->tmp(), *memo, true));
    }
    return Status::ok();
  }

  // OLE fields point into a file of their own beside the table, base name + ".DFL", kept in
  // the memo format of the table's driver; a new table starts it empty.
  Status begin_ole_file(MemoKind kind, uint32_t block_size) {
    const std::string stem = dbf_.path().substr(0, dbf_.path().size() - path_ext(dbf_.path()).size());
    ole_file_ = std::make_unique<NewFile>(fs_, stem + (lower_memo_ext_ ? ".dfl" : ".DFL"));
    MV_RETURN_IF_ERROR(ole_file_->begin());
    ole_file_->close();
    return MemoFile::create(fs_, ole_file_->tmp(), kind, block_size);
  }

  const std::vector<FieldInfo>& fields() const { return fields_; }
  uint32_t record_length() const { return rl_; }
  MemoFile* memo() { return memo_.get(); }

  Status add(const uint8_t* rec) {
    ++count_;
    return dbf_.put(rec, rl_);
  }

  Status finish() {
    uint8_t eofb = dbf::kEndOfFile;
    MV_RETURN_IF_ERROR(dbf_.put(&eofb, 1));
    MV_RETURN_IF_ERROR(dbf_.drain());
    uint8_t cnt[4];
    put_le32(cnt, count_);
    MV_RETURN_IF_ERROR(dbf_.write_at(dbf::kOffRecordCount, cnt, 4));
    dbf_.close();
    memo_.reset();
    std::vector<std::pair<std::string, std::string>> moves{{dbf_.tmp(), dbf_.path()}};
    if (memo_file_) moves.push_back({memo_file_->tmp(), memo_file_->path()});
    if (ole_file_) moves.push_back({ole_file_->tmp(), ole_file_->path()});
    MV_RETURN_IF_ERROR(replace_files(fs_, moves));
    dbf_.committed();
    if (memo_file_) memo_file_->committed();
    if (ole_file_) ole_file_->committed();
    return Status::ok();
  }

  void abort() {
    memo_.reset();
    dbf_.abort();
    if (memo_file_) memo_file_->abort();
    if (ole_file_) ole_file_->abort();
  }
  ~NewTable() { abort(); }

 private:
  FileSystem& fs_;
  NewFile dbf_;
  std::unique_ptr<NewFile> memo_file_;
  std::unique_ptr<NewFile> ole_file_;
  std::unique_ptr<MemoFile> memo_;
  std::vector<FieldInfo> fields_;
  std::vector<uint8_t> header_;
  uint32_t rl_ = 0;
  uint32_t count_ = 0;
  bool lower_memo_ext_ = false;
};

bool creatable(char type) { return type == 'C' || type == 'N' || type == 'F' || type == 'D' || type == 'L' || type == 'M'; }

// Reads a text file line by line (CR LF, LF or CR), stopping at 0x1A.
class LineReader {
 public:
  explicit LineReader(File& f) : f_(f) {}
  // False at the end.
  Result<bool> next(std::string& line) {
    line.clear();
    for (;;) {
      if (pos_ == len_) {
        if (eof_) return !line.empty();
        MV_ASSIGN_OR_RETURN(size_t n, f_.read_at(off_, buf_, sizeof buf_));
        off_ += n;
        pos_ = 0;
        len_ = n;
        if (n == 0) {
          eof_ = true;
          return !line.empty();
        }
      }
      char c = buf_[pos_++];
      if (c == 0x1A) {
        eof_ = true;
        pos_ = len_;
        return !line.empty();
      }
      if (c == '\n') {
        if (skip_lf_) {
          skip_lf_ = false;
          continue;
        }
        return true;
      }
      skip_lf_ = false;
      if (c == '\r') {
        skip_lf_ = true;
        return true;
      }
      line.push_back(c);
    }
  }

 private:
  File& f_;
  char buf_[1 << 16];
  size_t pos_ = 0, len_ = 0;
  uint64_t off_ = 0;
  bool eof_ = false, skip_lf_ = false;
};

// A number into an N/F field as transfers store it: blanks stay blank, a value too wide
// becomes asterisks as the other programs write it.
void put_number_text(const FieldInfo& f, uint8_t* rec, std::string_view text) {
  uint8_t* p = rec + f.offset;
  bool blank = std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
  if (blank) {
    memset(p, ' ', f.length);
    return;
  }
  std::string s = format_number(parse_number(text), f.length, f.decimals);
  if (s.empty()) {
    memset(p, '*', f.length);
    return;
  }
  memcpy(p, s.data(), f.length);
}

void put_text_value(const FieldInfo& f, uint8_t* rec, std::string_view text) {
  uint8_t* p = rec + f.offset;
  switch (f.type) {
    case 'C': {
      size_t n = std::min<size_t>(text.size(), f.length);
      memcpy(p, text.data(), n);
      memset(p + n, ' ', f.length - n);
      return;
    }
    case 'N':
    case 'F':
      put_number_text(f, rec, text);
      return;
    case 'D': {
      memset(p, ' ', f.length);
      std::string_view t = text;
      while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
      while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
      if (t.size() == 8 && f.length == 8 &&
          std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        int y = std::stoi(std::string(t.substr(0, 4))), m = std::stoi(std::string(t.substr(4, 2))),
            d = std::stoi(std::string(t.substr(6, 2)));
        if (Date::valid_ymd(y, m, d)) memcpy(p, t.data(), 8);
      }
      return;
    }
    case 'L': {
      memset(p, ' ', f.length);
      size_t i = text.find_first_not_of(' ');
      if (i == std::string_view::npos || f.length == 0) return;
      char c = text[i];
      if (c == 'T' || c == 't' || c == 'Y' || c == 'y') p[0] = 'T';
      else if (c == 'F' || c == 'f' || c == 'N' || c == 'n') p[0] = 'F';
      return;
    }
    default:
      return;
  }
}

// Splits one delimited line into its values.
std::vector<std::string_view> split_delimited(std::string_view line, char delim, bool blank_separated) {
  std::vector<std::string_view> out;
  const char sep = blank_separated ? ' ' : ',';
  size_t pos = 0;
  while (pos <= line.size()) {
    if (!blank_separated && pos < line.size() && line[pos] == delim) {
      size_t j = pos + 1;
      for (;;) {
        size_t k = line.find(delim, j);
        if (k == std::string_view::npos) {
          out.push_back(line.substr(pos + 1));
          return out;
        }
        if (k + 1 == line.size() || line[k + 1] == sep) {
          out.push_back(line.substr(pos + 1, k - pos - 1));
          pos = k + 2;
          if (k + 1 == line.size()) return out;
          break;
        }
        j = k + 1;
      }
      continue;
    }
    size_t k = line.find(sep, pos);
    if (k == std::string_view::npos) {
      out.push_back(line.substr(pos));
      return out;
    }
    out.push_back(line.substr(pos, k - pos));
    pos = k + 1;
  }
  return out;
}

// The length of v[0..n) without trailing blanks, eight bytes at a time while they are blank.
size_t trimmed_length(const uint8_t* v, size_t n) {
  constexpr uint64_t kBlanks = 0x2020202020202020ull;
  while (n >= 8) {
    uint64_t x;
    memcpy(&x, v + n - 8, 8);
    if (x != kBlanks) break;
    n -= 8;
  }
  while (n && v[n - 1] == ' ') --n;
  return n;
}


}  // namespace

// ---------------------------------------------------------------- helpers with access

class TableTransfer {
 public:
  // The field positions a transfer takes (1-based).
  static Result<std::vector<int>> selected(Table& t, const std::vector<std::string>& names) {
    std::vector<int> pos;
    if (names.empty()) {
      for (size_t i = 0; i < t.fcount(); ++i) pos.push_back(int(i + 1));
      return pos;
    }
    for (const auto& n : names) {
      int p = t.field_pos(n);
      if (p == 0) return Status::invalid_argument(t.path() + ": Feld \"" + n + "\" gibt es nicht");
      pos.push_back(p);
    }
    return pos;
  }

  static Status start_scope(Table& t, const TransferOptions& opt) {
    bool rest = opt.rest.value_or(bool(opt.while_condition));
    if (!rest) return t.go_top();
    return Status::ok();
  }

  // Runs `body` for every record of the scope that the conditions take.
  template <typename Body>
  static Status each(Table& t, const TransferOptions& opt, Body body) {
    MV_RETURN_IF_ERROR(start_scope(t, opt));
    while (!t.eof()) {
      if (opt.while_condition && !opt.while_condition(t)) break;
      if (!opt.for_condition || opt.for_condition(t)) MV_RETURN_IF_ERROR(body());
      MV_RETURN_IF_ERROR(t.skip(1));
    }
    return Status::ok();
  }

  // Layout and fields of a copy of `t` with the fields `pos`.
  static Status begin_copy(Table& t, NewTable& nt, const std::vector<int>& pos) {
    std::vector<FieldInfo> fields;
    bool has_memo = false, standard = true;
    for (int p : pos) {
      FieldInfo f = t.field(p);
      f.null_bit = f.varlen_bit = -1;
      if (dbf::is_memo_type(f.type, f.length, t.version())) has_memo = true;
      if (!creatable(f.type) || (f.type == 'M' && f.length != 10)) standard = false;
      fields.push_back(std::move(f));
    }
    CreateLayout layout;
    std::optional<MemoKind> memo;
    uint32_t block_size = 0;
    if (standard) {
      for (auto& f : fields) f.flags = 0;
      layout.version = t.drv_.create_version(has_memo, t.code_page());
      layout.language = t.drv_.create_language(t.code_page());
      if (has_memo) {
        memo = t.drv_.memo_kind;
        if (t.memo() && t.memo()->kind() == *memo) block_size = t.memo()->block_size();
        // A dBASE III memo read through "DBFMDX" stays a dBASE III memo.
        if (t.memo() && t.memo()->kind() == MemoKind::Dbt3 && *memo == MemoKind::Dbt4) {
          memo = MemoKind::Dbt3;
          layout.version = dbf::kVersionDbt3;
        }
        if (*memo == MemoKind::Fpt) layout.table_flags = dbf::kFlagMemo;
      }
    } else {
      // Types our drivers do not create are copied as they are stored, in the source's
      // own dialect.
      if (t.header_info().level7)
        return Status::not_supported(t.path() + ": Tabellen dieser Version können nicht kopiert werden");
      layout.version = t.version();
      layout.language = t.header_info().language;
      layout.table_flags = uint8_t(t.header_info().table_flags & dbf::kFlagMemo);
      layout.vfp_backlink = dbf::is_vfp(t.version());
      if (has_memo && t.memo()) {
        memo = t.memo()->kind();
        block_size = t.memo()->block_size();
      }
    }
    return nt.begin(std::move(fields), layout, memo, block_size);
  }

  static Status copy_record(Table& t, NewTable& nt, const std::vector<int>& pos, std::vector<uint8_t>& out) {
    const auto& tf = nt.fields();
    out.assign(nt.record_length(), ' ');
    out[0] = t.cur()[0];
    for (size_t i = 0; i < pos.size(); ++i) {
      const FieldInfo& sf = t.field(pos[i]);
      if (dbf::is_memo_type(sf.type, sf.length, t.version())) {
        MV_ASSIGN_OR_RETURN(std::string text, t.memo_text(pos[i]));
        uint32_t block = 0;
        if (!text.empty() && nt.memo()) {
    MV_ASSIGN_OR_RETURN(block, nt.memo()->write(text, 0));
  }
        put_memo_pointer(tf[i], out.data(), block);
      } else {
        memcpy(out.data() + tf[i].offset, t.cur().data() + sf.offset, sf.length);
      }
    }
    return nt.add(out.data());
  }

  // Saved state of a table for taking back a failed append.
  struct Snapshot {
    uint32_t count = 0;
    uint64_t size = 0;
    std::vector<uint8_t> head, tail;
    uint64_t memo_size = 0;
    std::vector<uint8_t> memo_head;
  };

  static Result<Snapshot> snapshot(Table& t) {
    Snapshot s;
    s.count = t.disk_count_;
    MV_ASSIGN_OR_RETURN(s.size, t.file_->size());
    s.head.resize(dbf::kHeaderSize);
    MV_RETURN_IF_ERROR(t.file_->read_exact(0, s.head.data(), s.head.size()));
    uint64_t end = t.record_offset(t.disk_count_ + 1);
    if (s.size > end) {
      s.tail.resize(size_t(std::min<uint64_t>(s.size - end, 1 << 20)));
      MV_RETURN_IF_ERROR(t.file_->read_exact(end, s.tail.data(), s.tail.size()));
    }
    if (t.memo_) {
      MV_ASSIGN_OR_RETURN(s.memo_size, t.memo_->file().size());
      s.memo_head.resize(size_t(std::min<uint64_t>(s.memo_size, 1024)));
      MV_RETURN_IF_ERROR(t.memo_->file().read_exact(0, s.memo_head.data(), s.memo_head.size()));
    }
    return s;
  }

  static void rollback(Table& t, const Snapshot& s) {
    t.pending_.clear();
    t.lastrec_ = t.disk_count_ = s.count;
    uint64_t end = t.record_offset(s.count + 1);
    if (t.shared_) {
      // Other programs may have mapped the appended records: a shorter file would make
      // their next look at them a bus error. The count goes back; the bytes stay until the
      // next append writes over them. The memo file is shared with their edits: its blocks
      // stay as they are.
      t.file_->write_at(0, s.head.data(), s.head.size()).ignore();
      if (t.maintainer_) t.maintainer_->records_replaced().ignore();
      t.go_top().ignore();
      return;
    }
    t.file_->unmap();
    t.map_ = nullptr;
    t.map_len_ = 0;
    t.file_->truncate(s.size).ignore();
    if (!s.tail.empty()) t.file_->write_at(end, s.tail.data(), s.tail.size()).ignore();
    t.file_->write_at(0, s.head.data(), s.head.size()).ignore();
    if (t.memo_) {
      t.memo_->file().truncate(s.memo_size).ignore();
      t.memo_->file().write_at(0, s.memo_head.data(), s.memo_head.size()).ignore();
      // The memo object caches the file size: open it again.
      auto m = MemoFile::open(*t.fs_, t.memo_path_, t.memo_->kind(), true);
      if (m) t.memo_ = std::move(m).value();
    }
    t.remap();
    if (t.maintainer_) t.maintainer_->records_replaced().ignore();
    t.go_top().ignore();
  }

  // Runs an append with the table locked against other appends and takes it back when it
  // fails.
  template <typename Body>
  static Status guarded_append(Table& t, Body body) {
    MV_RETURN_IF_ERROR(t.check_writable());
    MV_RETURN_IF_ERROR(t.flush_appends());
    struct Unlock {
      Table& t;
      bool on = false;
      ~Unlock() {
        if (on) t.file_->unlock(t.drv_.header_lock_offset(), 1).ignore();
        t.batch_shared_ = false;
      }
    } unlock{t};
    if (t.shared_) {
      MV_RETURN_IF_ERROR(t.file_->lock(t.drv_.header_lock_offset(), 1, LockType::Exclusive));
      unlock.on = true;
      t.lastrec();
      t.batch_shared_ = true;
    }
    MV_ASSIGN_OR_RETURN(Snapshot snap, snapshot(t));
    Status st = body();
    if (st) st = t.flush_appends();
    if (!st) rollback(t, snap);
    return st;
  }
};

// ---------------------------------------------------------------- DBCREATE

Status db_create(const std::string& path_in, const std::vector<StructRow>& rows, const std::string& driver,
                 std::optional<CodePage> code_page, FileSystem* fsp) {
  FileSystem& fs = fsp ? *fsp : FileSystem::posix();
  MV_ASSIGN_OR_RETURN(DriverInfo drv, find_driver(driver));
  MV_RETURN_IF_ERROR(check_field_list(rows, true));
  CodePage cp = code_page.value_or(code_page_for(ansi_mode()));
  std::vector<FieldInfo> fields;
  bool has_memo = false, has_ole = false;
  for (const auto& r : rows) {
    FieldInfo f;
    f.name = upper_ascii(r.name);
    f.type = char(std::toupper(static_cast<unsigned char>(r.type)));
    f.length = r.length;
    f.decimals = (f.type == 'N' || f.type == 'F') ? r.decimals : 0;
    if (f.type == 'M') has_memo = true;
    if (f.type == 'O') has_ole = true;
    fields.push_back(std::move(f));
  }
  CreateLayout layout;
  layout.version = drv.create_version(has_memo, cp);
  layout.language = drv.create_language(cp);
  if (has_memo && drv.memo_kind == MemoKind::Fpt) layout.table_flags = dbf::kFlagMemo;
  std::string path = with_default_extension(path_in, ".dbf");
  NewTable nt(fs, path, path_in);
  MV_RETURN_IF_ERROR(nt.begin(std::move(fields), layout, has_memo ? std::optional(drv.memo_kind) : std::nullopt, 0));
  if (has_ole) MV_RETURN_IF_ERROR(nt.begin_ole_file(drv.memo_kind, 0));
  return nt.finish();
}

// ---------------------------------------------------------------- one value as text

std::string delimited_value_text(const FieldInfo& f, const uint8_t* rec) {
  const uint8_t* v = rec + f.offset;
  size_t n = f.length;
  switch (f.type) {
    case 'C':
      return std::string(reinterpret_cast<const char*>(v), trimmed_length(v, n));
    case 'L': {
      const uint8_t c = n ? v[0] : ' ';
      return c == 'T' || c == 't' || c == 'Y' || c == 'y' ? "T" : "F";
    }
    default:
      n = trimmed_length(v, n);
      while (n && v[0] == ' ') ++v, --n;
      return std::string(reinterpret_cast<const char*>(v), n);
  }
}

void store_delimited_value(const FieldInfo& f, uint8_t* rec, std::string_view text) {
  if (f.type != 'C') text = rtrim(ltrim(text));
  put_text_value(f, rec, text);
}

// ---------------------------------------------------------------- COPY TO

std::string with_default_extension(const std::string& path, const std::string& ext) {
  return path_ext(path).empty() ? path + ext : path;
}

std::vector<std::string> Table::own_files() const {
  std::vector<std::string> own = files_of_table(*fs_, path_);
  if (memo_) own.push_back(memo_path_);
  return own;
}

Status Table::refuse_own_files(const std::string& target, bool as_table) const {
  // A table target brings its memo and bags along: those are replaced or left stale too.
  const std::vector<std::string> written = as_table ? files_of_table(*fs_, target) : std::vector<std::string>{target};
  if (!share_a_file(*fs_, written, own_files())) return Status::ok();
  if (as_table) return Status::invalid_argument(target + ": eine Tabelle kann nicht auf sich selbst kopiert werden");
  return Status::invalid_argument(target + ": die Datei gehört zur geöffneten Tabelle und kann nicht überschrieben werden");
}

Status Table::copy_db(const std::string& target_in, const TransferOptions& opt) {
  if (!file_) return Status::invalid_argument("Die Tabelle ist nicht geöffnet");
  MV_RETURN_IF_ERROR(flush());
  std::string target = with_default_extension(target_in, ".dbf");
  MV_RETURN_IF_ERROR(refuse_own_files(target, true));
  MV_ASSIGN_OR_RETURN(std::vector<int> pos, TableTransfer::selected(*this, opt.fields));
  NewTable nt(*fs_, target, target_in);
  MV_RETURN_IF_ERROR(TableTransfer::begin_copy(*this, nt, pos));
  std::vector<uint8_t> out;
  MV_RETURN_IF_ERROR(TableTransfer::each(*this, opt, [&]() { return TableTransfer::copy_record(*this, nt, pos, out); }));
  return nt.finish();
}

Status Table::copy_structure(const std::string& target_in, const std::vector<std::string>& names) {
  if (!file_) return Status::invalid_argument("Die Tabelle ist nicht geöffnet");
  std::string target = with_default_extension(target_in, ".dbf");
  MV_RETURN_IF_ERROR(refuse_own_files(target, true));
  MV_ASSIGN_OR_RETURN(std::vector<int> pos, TableTransfer::selected(*this, names));
  NewTable nt(*fs_, target, target_in);
  MV_RETURN_IF_ERROR(TableTransfer::begin_copy(*this, nt, pos));
  return nt.finish();
}

Status Table::copy_sdf(const std::string& target_in, const TransferOptions& opt) {
  if (!file_) return Status::invalid_argument("Die Tabelle ist nicht geöffnet");
  MV_RETURN_IF_ERROR(flush());
  std::string target = with_default_extension(target_in, ".txt");
  MV_RETURN_IF_ERROR(refuse_own_files(target, false));
  MV_ASSIGN_OR_RETURN(std::vector<int> pos, TableTransfer::selected(*this, opt.fields));
  std::vector<int> cols;
  for (int p : pos)
    if (!dbf::is_memo_type(field(p).type, field(p).length, version())) cols.push_back(p);
  NewFile out(*fs_, target);
  MV_RETURN_IF_ERROR(out.begin());
  std::string line;
  MV_RETURN_IF_ERROR(TableTransfer::each(*this, opt, [&]() {
    line.clear();
    for (int p : cols) {
      const FieldInfo& f = field(p);
      std::string_view raw = field_raw(p);
      if (f.type == 'L') {
        char c = raw.empty() ? ' ' : raw[0];
        line.push_back(c == 'T' || c == 't' || c == 'Y' || c == 'y'   ? 'T'
                       : c == 'F' || c == 'f' || c == 'N' || c == 'n' ? 'F'
                                                                      : ' ');
        if (raw.size() > 1) line.append(raw.size() - 1, ' ');
      } else {
        line.append(raw);
      }
    }
    line.append("\r\n");
    return out.put(line);
  }));
  MV_RETURN_IF_ERROR(out.put("\x1A"));
  MV_RETURN_IF_ERROR(out.drain());
  out.close();
  MV_RETURN_IF_ERROR(replace_files(*fs_, {{out.tmp(), out.path()}}));
  out.committed();
  return Status::ok();
}

Status Table::copy_delimited(const std::string& target_in, std::optional<char> delimiter, const TransferOptions& opt,
                             bool blank_separated) {
  if (!file_) return Status::invalid_argument("Die Tabelle ist nicht geöffnet");
  MV_RETURN_IF_ERROR(flush());
  std::string target = with_default_extension(target_in, ".txt");
  MV_RETURN_IF_ERROR(refuse_own_files(target, false));
  const char delim = delimiter.value_or('"');
  const char sep = blank_separated ? ' ' : ',';
  MV_ASSIGN_OR_RETURN(std::vector<int> pos, TableTransfer::selected(*this, opt.fields));
  std::vector<int> cols;
  for (int p : pos)
    if (!dbf::is_memo_type(field(p).type, field(p).length, version())) cols.push_back(p);
  NewFile out(*fs_, target);
  MV_RETURN_IF_ERROR(out.begin());
  // The longest line a record can give: every value whole, enclosed, with separators.
  size_t max_line = 2;
  for (int p : cols) max_line += field(p).length + 3;
  // Each line is written straight into the output buffer.
  MV_RETURN_IF_ERROR(TableTransfer::each(*this, opt, [&]() -> Status {
    MV_ASSIGN_OR_RETURN(uint8_t * const start, out.room(max_line));
    uint8_t* w = start;
    const uint8_t* rec = record_bytes();
    bool first = true;
    for (int p : cols) {
      if (!first) *w++ = uint8_t(sep);
      first = false;
      const FieldInfo& f = field(p);
      const uint8_t* v = rec + f.offset;
      size_t n = f.length;
      switch (f.type) {
        case 'C':
          n = trimmed_length(v, n);
          if (!blank_separated) *w++ = uint8_t(delim);
          memcpy(w, v, n);
          w += n;
          if (!blank_separated) *w++ = uint8_t(delim);
          break;
        case 'L': {
          const uint8_t c = n ? v[0] : ' ';
          *w++ = c == 'T' || c == 't' || c == 'Y' || c == 'y' ? 'T' : 'F';
          break;
        }
        default:
          n = trimmed_length(v, n);
          while (n && v[0] == ' ') ++v, --n;
          memcpy(w, v, n);
          w += n;
          break;
      }
    }
    *w++ = '\r';
    *w++ = '\n';
    return out.wrote(size_t(w - start));
  }));
  MV_RETURN_IF_ERROR(out.put("\x1A"));
  MV_RETURN_IF_ERROR(out.drain());
  out.close();
  MV_RETURN_IF_ERROR(replace_files(*fs_, {{out.tmp(), out.path()}}));
  out.committed();
  return Status::ok();
}

// ---------------------------------------------------------------- APPEND FROM

Status Table::append_db(const std::string& source_in, const TransferOptions& opt) {
  MV_RETURN_IF_ERROR(check_writable());
  std::string source = with_default_extension(source_in, ".dbf");
  if (share_a_file(*fs_, {source}, own_files()))
    return Status::invalid_argument(source + ": eine Tabelle kann nicht an sich selbst angefügt werden");
  // The source opens with the defaults, read-only; the other drivers are tried when the
  // default one cannot read it.
  OpenOptions o = OpenOptions::defaults();
  o.read_only = true;
  o.fs = fs_;
  o.code_page = code_page_;
  auto src_r = Table::open(source, o);
  for (size_t i = 0; !src_r && src_r.status().kind() != StatusKind::Locked && i < kDriverNames.size(); ++i) {
    if (kDriverNames[i] == o.driver) continue;
    OpenOptions o2 = o;
    o2.driver = std::string(kDriverNames[i]);
    auto r2 = Table::open(source, o2);
    if (r2) src_r = std::move(r2);
  }
  if (!src_r) return src_r.status();
  std::unique_ptr<Table> src = std::move(src_r).value();

  // Target field -> source field, matched by name.
  struct Map {
    int target, source;
    bool raw;
  };
  std::vector<Map> maps;
  for (size_t i = 0; i < fcount(); ++i) {
    const FieldInfo& tf = hdr_.fields[i];
    int sp = src->field_pos(tf.name);
    if (sp == 0 || int(i) == hdr_.null_flags_field) continue;
    const FieldInfo& sf = src->field(sp);
    bool raw = sf.type == tf.type && sf.length == tf.length && sf.decimals == tf.decimals &&
               !dbf::is_memo_type(tf.type, tf.length, version()) && !dbf::is_memo_type(sf.type, sf.length, src->version());
    maps.push_back({int(i + 1), sp, raw});
  }
  std::vector<FieldInfo> tfields = hdr_.fields;
  return TableTransfer::guarded_append(*this, [&]() -> Status {
    std::vector<uint8_t> rec;
    MV_RETURN_IF_ERROR(src->go_top());
    while (!src->eof()) {
      if (opt.while_condition && !opt.while_condition(*src)) break;
      if (!opt.for_condition || opt.for_condition(*src)) {
        rec = blank_;
        rec[0] = src->deleted() ? dbf::kDeletedFlag : dbf::kLiveFlag;
        for (const Map& m : maps) {
          const FieldInfo& tf = tfields[size_t(m.target - 1)];
          const FieldInfo& sf = src->field(m.source);
          if (m.raw) {
            memcpy(rec.data() + tf.offset, src->record().data() + sf.offset, tf.length);
            continue;
          }
          MV_ASSIGN_OR_RETURN(Value v, src->field_get(m.source));
          if (dbf::is_memo_type(tf.type, tf.length, version())) {
            if (!v.is_char() || v.str.empty() || !memo_) continue;
            MV_ASSIGN_OR_RETURN(uint32_t block, memo_->write(v.str, 0));
            put_memo_pointer(tf, rec.data(), block);
            continue;
          }
          if (v.is_nil()) continue;
          if ((tf.type == 'N' || tf.type == 'F') && v.is_num()) {
            put_number_text(tf, rec.data(), format_number(v.num, 40, tf.decimals));
          } else if ((tf.type == 'N' || tf.type == 'F') && v.is_char()) {
            put_number_text(tf, rec.data(), v.str);
          } else if (tf.type == 'C' && v.is_num()) {
            put_text_value(tf, rec.data(), ltrim(format_number(v.num, 40, v.dec)));
          } else if (tf.type == 'C' && v.is_date()) {
            put_text_value(tf, rec.data(), ymd_text(v.date));
          } else if (tf.type == 'C' && v.is_logical()) {
            put_text_value(tf, rec.data(), v.logical ? "T" : "F");
          } else if ((tf.type == 'D' || tf.type == 'L') && v.is_char()) {
            put_text_value(tf, rec.data(), v.str);
          } else {
            encode_field(tf, v, rec.data(), true).ignore();  // other mismatches stay blank
          }
        }
        MV_RETURN_IF_ERROR(append_record(rec));
      }
      MV_RETURN_IF_ERROR(src->skip(1));
    }
    return Status::ok();
  });
}

namespace {

template <typename Fill>
Status append_lines(Table& t, FileSystem& fs, const std::string& source, const TransferOptions& opt,
                    std::vector<uint8_t>& blank, Fill fill) {
  MV_ASSIGN_OR_RETURN(auto in, fs.open(source, OpenMode::Read));
  LineReader reader(*in);
  std::string line;
  std::vector<uint8_t> rec;
  for (;;) {
    MV_ASSIGN_OR_RETURN(bool more, reader.next(line));
    if (!more) break;
    if (line.empty()) continue;
    if (opt.while_condition && !opt.while_condition(t)) break;
    rec = blank;
    fill(line, rec);
    MV_RETURN_IF_ERROR(t.append_record(rec));
  }
  return Status::ok();
}

}  // namespace

Status Table::append_sdf(const std::string& source_in, const TransferOptions& opt) {
  MV_RETURN_IF_ERROR(check_writable());
  std::string source = with_default_extension(source_in, ".txt");
  if (!fs_->exists(source)) return Status::not_found(source + ": Datei nicht gefunden");
  // Reading the table's own growing file would never end.
  if (share_a_file(*fs_, {source}, own_files()))
    return Status::invalid_argument(source + ": eine Tabelle kann nicht an sich selbst angefügt werden");
  std::vector<FieldInfo> cols;
  for (const auto& f : hdr_.fields)
    if (!dbf::is_memo_type(f.type, f.length, version()) && f.type != '0') cols.push_back(f);
  return TableTransfer::guarded_append(*this, [&]() -> Status {
    return append_lines(*this, *fs_, source, opt, blank_, [&](const std::string& line, std::vector<uint8_t>& rec) {
      size_t pos = 0;
      for (const auto& f : cols) {
        std::string_view cut = pos < line.size() ? std::string_view(line).substr(pos, f.length) : std::string_view();
        put_text_value(f, rec.data(), cut);
        pos += f.length;
      }
    });
  });
}

Status Table::append_delimited(const std::string& source_in, std::optional<char> delimiter, const TransferOptions& opt,
                               bool blank_separated) {
  MV_RETURN_IF_ERROR(check_writable());
  std::string source = with_default_extension(source_in, ".txt");
  if (!fs_->exists(source)) return Status::not_found(source + ": Datei nicht gefunden");
  // Reading the table's own growing file would never end.
  if (share_a_file(*fs_, {source}, own_files()))
    return Status::invalid_argument(source + ": eine Tabelle kann nicht an sich selbst angefügt werden");
  const char delim = delimiter.value_or('"');
  std::vector<FieldInfo> cols;
  for (const auto& f : hdr_.fields)
    if (!dbf::is_memo_type(f.type, f.length, version()) && f.type != '0') cols.push_back(f);
  return TableTransfer::guarded_append(*this, [&]() -> Status {
    return append_lines(*this, *fs_, source, opt, blank_, [&](const std::string& line, std::vector<uint8_t>& rec) {
      auto values = split_delimited(line, delim, blank_separated);
      for (size_t i = 0; i < cols.size() && i < values.size(); ++i) {
        std::string_view v = values[i];
        if (cols[i].type != 'C') v = rtrim(ltrim(v));
        put_text_value(cols[i], rec.data(), v);
      }
    });
  });
}

}  // namespace mv
