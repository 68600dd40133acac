#include "platform/table/table.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/base/bytes.h"
#include "platform/base/text.h"
#include "platform/table/dbf_format.h"
#include "platform/table/field_codec.h"
#include "platform/table/file_ops.h"

namespace mv {

namespace {

// Appended records are written in blocks of about this size in exclusive mode.
constexpr size_t kAppendBatchBytes = 256 * 1024;
// Pack streams the records through buffers of about this size.
constexpr size_t kCopyChunkBytes = 1024 * 1024;

std::string hex2(uint8_t b) {
  static const char* d = "0123456789ABCDEF";
  return std::string{d[b >> 4], d[b & 15]};
}

// Releases a byte lock when it goes out of scope.
class LockGuard {
 public:
  LockGuard() = default;
  ~LockGuard() {
    if (file_) file_->unlock(offset_, 1).ignore();
  }
  Status lock(File& f, uint64_t offset) {
    MV_RETURN_IF_ERROR(f.lock(offset, 1, LockType::Exclusive));
    file_ = &f;
    offset_ = offset;
    return Status::ok();
  }

 private:
  File* file_ = nullptr;
  uint64_t offset_ = 0;
};

}  // namespace

// ---------------------------------------------------------------- open / close

Result<std::unique_ptr<Table>> Table::open(const std::string& path, const OpenOptions& opt) {
  FileSystem& fs = opt.fs ? *opt.fs : FileSystem::posix();
  MV_ASSIGN_OR_RETURN(DriverInfo drv, find_driver(opt.driver));
  // A ZAP, PACK or COPY TO onto this table that died half-way is settled before anything
  // is read, so the table and its memo always come from the same side of it.
  MV_RETURN_IF_ERROR(recover_interrupted_replace(fs, path));
  std::unique_ptr<Table> t(new Table());
  t->fs_ = &fs;
  t->path_ = path;
  t->driver_ = drv.name;
  t->drv_ = drv;
  t->shared_ = opt.shared;
  t->read_only_ = opt.read_only;
  t->code_page_ = opt.code_page;

  bool writable_fd = false;
  if (opt.read_only && opt.shared) {
    MV_ASSIGN_OR_RETURN(t->file_, fs.open(path, OpenMode::Read));
  } else {
    auto r = fs.open(path, OpenMode::ReadWrite);
    if (r) {
      t->file_ = std::move(r).value();
      writable_fd = true;
    } else if (opt.read_only) {
      // Reading is all that was asked for: a file that refuses writing (mode bits, a
      // read-only mount, an immutable file) is still read.
      MV_ASSIGN_OR_RETURN(t->file_, fs.open(path, OpenMode::Read));
    } else {
      return r.status();
    }
  }
  // Shared opens hold a read lock on the open-mode byte, exclusive ones a write lock; a
  // file we may not write can only be read, so a read lock keeps writers out there too.
  LockType mode = opt.shared || !writable_fd ? LockType::Shared : LockType::Exclusive;
  Status ls = t->file_->lock(kOpenModeLockOffset, 1, mode);
  if (!ls) {
    if (ls.kind() == StatusKind::Locked)
      return Status::locked("SHARING: " + path + " wird von einem anderen Programm " +
                            (opt.shared ? "exklusiv " : "") + "benutzt");
    return ls;
  }

  MV_ASSIGN_OR_RETURN(uint64_t size, t->file_->size());
  uint8_t first[dbf::kHeaderSize] = {};
  MV_ASSIGN_OR_RETURN(size_t got, t->file_->read_at(0, first, sizeof first));
  if (got < dbf::kHeaderSize)
    return Status::corrupt(path + ": Header unvollständig (" + std::to_string(got) + " von 32 Bytes)");
  size_t hl = std::max<size_t>(get_le16(first + dbf::kOffHeaderLength), dbf::kHeaderSize);
  std::vector<uint8_t> hb(hl);
  MV_ASSIGN_OR_RETURN(got, t->file_->read_at(0, hb.data(), hb.size()));
  hb.resize(got);
  MV_ASSIGN_OR_RETURN(t->hdr_, parse_dbf_header(hb, path));
  HeaderInfo& h = t->hdr_;

  if (!dbf::is_known_version(h.version)) {
    t->read_only_ = true;
    h.warnings.push_back(path + ": unbekanntes Versionsbyte 0x" + hex2(h.version) +
                         ", die Tabelle wird nur lesend geöffnet");
  }
  if ((dbf::has_dbt4_memo(h.version) || h.version == dbf::kVersionLevel5) && hb[dbf::kOffEncryption] == 1)
    return Status::not_supported(path + ": die Tabelle ist verschlüsselt");

  bool memo_fields = false;
  for (const auto& f : h.fields)
    if (dbf::is_memo_type(f.type, f.length, h.version)) memo_fields = true;
  if (memo_fields) {
    MemoKind kind = dbf::has_fpt_memo(h.version)    ? MemoKind::Fpt
                    : dbf::has_dbt4_memo(h.version) ? MemoKind::Dbt4
                    : dbf::has_dbt3_memo(h.version) ? MemoKind::Dbt3
                                                    : drv.memo_kind;
    if (!drv.reads_memo(kind))
      return Status::not_supported(path + ": der Treiber " + drv.name + " kann die Memodatei (" +
                                   memo_kind_name(kind) + ") dieser Tabelle nicht lesen");
    auto mp = find_companion(fs, path, memo_extension(kind));
    if (!mp)
      return Status::not_found(path + ": die Memodatei " + path_stem(path) + memo_extension(kind) + " fehlt");
    t->memo_path_ = *mp;
    MV_ASSIGN_OR_RETURN(t->memo_, MemoFile::open(fs, *mp, kind, !t->read_only_));
  }

  const uint64_t rl = h.record_length;
  const uint64_t in_file = size > h.header_length ? (size - h.header_length) / rl : 0;
  uint32_t count = h.record_count;
  if (count > in_file) {
    h.warnings.push_back(path + ": der Header nennt " + std::to_string(count) + " Datensätze, die Datei enthält nur " +
                         std::to_string(in_file));
    count = uint32_t(in_file);
  } else if (count < in_file) {
    h.warnings.push_back(path + ": hinter den " + std::to_string(count) + " gezählten Datensätzen folgen " +
                         std::to_string(in_file - count) + " weitere");
  }
  t->lastrec_ = t->disk_count_ = count;
  t->blank_.assign(rl, ' ');
  for (const FieldInfo& f : t->hdr_.fields)
    if (dbf::is_binary_field(f.type, f.length, t->hdr_.version) && f.offset + f.length <= rl)
      std::fill_n(t->blank_.begin() + f.offset, f.length, uint8_t(0));
  t->rec_ = t->blank_;
  t->pending_.reserve(kAppendBatchBytes + rl + 1);
  t->remap();
  MV_RETURN_IF_ERROR(t->go_top());
  return t;
}

Table::~Table() { close().ignore(); }

Status Table::close() {
  if (!file_) return Status::ok();
  Status st = commit();
  if (file_) file_->unmap();
  map_ = nullptr;
  map_len_ = 0;
  file_.reset();
  memo_.reset();
  return st;
}

void Table::remap() {
  map_ = nullptr;
  map_len_ = 0;
  auto size = file_->size();
  if (!size || *size == 0) return;
  map_ = file_->map(*size);
  if (map_) map_len_ = *size;
}

// ---------------------------------------------------------------- structure

int Table::field_pos(std::string_view name) const {
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  for (size_t i = 0; i < hdr_.fields.size(); ++i)
    if (iequals(hdr_.fields[i].name, name)) return int(i + 1);
  return 0;
}

std::vector<StructRow> Table::dbstruct() const {
  std::vector<StructRow> rows;
  rows.reserve(hdr_.fields.size());
  for (const auto& f : hdr_.fields) rows.push_back({f.name, f.type, f.length, f.decimals});
  return rows;
}

// ---------------------------------------------------------------- reading records

uint32_t Table::lastrec() {
  if (!file_ || !shared_) return lastrec_;
  uint8_t b[4];
  uint32_t count;
  if (map_ && map_len_ >= 8) {
    count = get_le32(map_ + dbf::kOffRecordCount);
  } else if (file_->read_exact(dbf::kOffRecordCount, b, 4).is_ok()) {
    count = get_le32(b);
  } else {
    return lastrec_;
  }
  if (count != disk_count_) {
    auto size = file_->size();
    if (size) {
      uint64_t in_file = *size > hdr_.header_length ? (*size - hdr_.header_length) / hdr_.record_length : 0;
      count = uint32_t(std::min<uint64_t>(count, in_file));
      // Another program took records back and may have cut the file: the map must not
      // reach past its end, or reading there is a bus error.
      if (*size < map_len_) remap();
    }
    lastrec_ = disk_count_ = count;
  }
  return lastrec_;
}

// Positions the record buffer on `recno` (the caller makes it current). A record in the
// mapped file is copied only when asked for (materialize); the others are read now, so
// a read error is reported by the move.
Status Table::load(uint32_t recno) {
  const size_t rl = hdr_.record_length;
  if (recno <= disk_count_ && map_ && record_offset(recno) + rl <= map_len_) {
    loaded_ = false;
    return Status::ok();
  }
  loaded_ = true;
  if (rec_.size() != rl) rec_.resize(rl);
  if (recno > disk_count_) {
    memcpy(rec_.data(), pending_.data() + size_t(recno - disk_count_ - 1) * rl, rl);
    return Status::ok();
  }
  uint64_t off = record_offset(recno);
  Status st = file_->read_exact(off, rec_.data(), rl);
  if (!st) rec_ = blank_;
  if (st && shared_) remap();  // the file has grown under us
  return st;
}

void Table::materialize() const {
  loaded_ = true;
  const size_t rl = hdr_.record_length;
  if (rec_.size() != rl) rec_.resize(rl);
  const uint64_t off = record_offset(recno_);
  if (recno_ >= 1 && recno_ <= disk_count_ && map_ && off + rl <= map_len_) {
    memcpy(rec_.data(), map_ + off, rl);
  } else if (recno_ > disk_count_ && size_t(recno_ - disk_count_) * rl <= pending_.size()) {
    memcpy(rec_.data(), pending_.data() + size_t(recno_ - disk_count_ - 1) * rl, rl);
  } else if (!file_ || !file_->read_exact(off, rec_.data(), rl).is_ok()) {
    rec_ = blank_;
  }
}

Status Table::read_record(uint32_t recno, std::vector<uint8_t>& out) {
  if (recno < 1 || recno > lastrec_)
    return Status::invalid_argument(path_ + ": Datensatz " + std::to_string(recno) + " existiert nicht");
  const size_t rl = hdr_.record_length;
  out.resize(rl);
  if (recno > disk_count_) {
    memcpy(out.data(), pending_.data() + size_t(recno - disk_count_ - 1) * rl, rl);
    return Status::ok();
  }
  uint64_t off = record_offset(recno);
  if (map_ && off + rl <= map_len_) {
    memcpy(out.data(), map_ + off, rl);
    return Status::ok();
  }
  return file_->read_exact(off, out.data(), rl);
}

uint8_t Table::flag_of(uint32_t recno) const {
  if (recno > disk_count_) return pending_[size_t(recno - disk_count_ - 1) * hdr_.record_length];
  uint64_t off = record_offset(recno);
  if (map_ && off < map_len_) return map_[off];
  uint8_t b = dbf::kLiveFlag;
  if (!file_->read_exact(off, &b, 1).is_ok()) return dbf::kLiveFlag;
  return b;
}

bool Table::is_hidden(uint32_t recno) { return deleted_filter() && flag_of(recno) == dbf::kDeletedFlag; }

bool Table::deleted() const {
  if (eof_) return false;
  if (!loaded_) return flag_of(recno_) == dbf::kDeletedFlag;  // no need to copy the record
  return !rec_.empty() && rec_[0] == dbf::kDeletedFlag;
}

void Table::set_phantom() {
  recno_ = lastrec_ + 1;
  eof_ = true;
  bof_ = lastrec_ == 0;
  rec_ = blank_;
  loaded_ = true;
}

// ---------------------------------------------------------------- navigation

Result<uint32_t> Table::next_visible(uint32_t from, bool forward) {
  std::vector<uint8_t> tmp;
  uint32_t r = from;
  for (uint64_t steps = 0;; ++steps) {
    if (steps > uint64_t(lastrec_) + 1)
      return Status::corrupt(path_ + ": die Reihenfolge der Sätze ist fehlerhaft (Schleife)");
    if (navigator_) {
      std::span<const uint8_t> bytes;
      if (navigator_->standing_on(r)) {
        // The navigator goes on from its own position: the record is not needed.
      } else if (r == recno_ && !eof_) {
        bytes = cur();
      } else {
        MV_RETURN_IF_ERROR(read_record(r, tmp));
        bytes = tmp;
      }
      MV_ASSIGN_OR_RETURN(r, forward ? navigator_->next(r, bytes) : navigator_->prev(r, bytes));
      if (r > lastrec_) r = 0;
    } else {
      r = forward ? (r >= lastrec_ ? 0 : r + 1) : r - 1;
    }
    if (r == 0) return r;
    if (!is_hidden(r)) return r;
  }
}

Status Table::go_to(uint32_t recno) {
  if (!file_) return Status::invalid_argument("Die Tabelle ist nicht geöffnet");
  lastrec();
  if (recno >= 1 && recno <= lastrec_) {
    MV_RETURN_IF_ERROR(load(recno));
    recno_ = recno;
    eof_ = bof_ = false;
  } else {
    set_phantom();
  }
  return Status::ok();
}

// GOTOP and GOBOTTOM: stands on `r`, or on the next visible record in the direction of
// travel when the filter hides it; with none left the table is empty to the eye (BOF and EOF).
Status Table::settle_at_end(uint32_t r, bool forward) {
  if (r && is_hidden(r)) {
    MV_ASSIGN_OR_RETURN(r, next_visible(r, forward));
  }
  if (r == 0) {
    set_phantom();
    bof_ = true;
    return Status::ok();
  }
  MV_RETURN_IF_ERROR(load(r));
  recno_ = r;
  eof_ = bof_ = false;
  return Status::ok();
}

Status Table::go_top() {
  if (!file_) return Status::invalid_argument("Die Tabelle ist nicht geöffnet");
  lastrec();
  uint32_t r = 0;
  if (navigator_) {
    MV_ASSIGN_OR_RETURN(r, navigator_->first());
    if (r > lastrec_) r = 0;
  } else {
    r = lastrec_ ? 1 : 0;
  }
  return settle_at_end(r, true);
}

Status Table::go_bottom() {
  if (!file_) return Status::invalid_argument("Die Tabelle ist nicht geöffnet");
  lastrec();
  uint32_t r = 0;
  if (navigator_) {
    MV_ASSIGN_OR_RETURN(r, navigator_->last());
    if (r > lastrec_) r = 0;
  } else {
    r = lastrec_;
  }
  return settle_at_end(r, false);
}

Status Table::skip(int64_t n) {
  if (!file_) return Status::invalid_argument("Die Tabelle ist nicht geöffnet");
  if (n == 0) {
    lastrec();
    if (!eof_ && recno_ <= lastrec_) return load(recno_);
    return Status::ok();
  }
  if (shared_) lastrec();
  if (n > 0 && !navigator_) {
    // Natural order: the next record numbers, past hidden ones.
    const bool filter = deleted_filter();
    for (int64_t i = 0; i < n; ++i) {
      if (eof_) return Status::ok();
      uint32_t r = recno_;
      do {
        r = r >= lastrec_ ? 0 : r + 1;
      } while (r != 0 && filter && flag_of(r) == dbf::kDeletedFlag);
      if (r == 0) {
        set_phantom();
        bof_ = false;
        return Status::ok();
      }
      MV_RETURN_IF_ERROR(load(r));
      recno_ = r;
      bof_ = false;
    }
    return Status::ok();
  }
  if (n > 0) {
    for (int64_t i = 0; i < n; ++i) {
      if (eof_) return Status::ok();
      MV_ASSIGN_OR_RETURN(uint32_t r, next_visible(recno_, true));
      if (r == 0) {
        set_phantom();
        bof_ = false;
        return Status::ok();
      }
      MV_RETURN_IF_ERROR(load(r));
      recno_ = r;
      bof_ = false;
    }
    return Status::ok();
  }
  for (int64_t i = 0; i < -n; ++i) {
    uint32_t r = 0;
    if (eof_) {
      // From the phantom record one step back is the last visible record.
      if (navigator_) {
        MV_ASSIGN_OR_RETURN(r, navigator_->last());
        if (r > lastrec_) r = 0;
      } else {
        r = lastrec_;
      }
      if (r && is_hidden(r)) {
    MV_ASSIGN_OR_RETURN(r, next_visible(r, false));
  }
    } else {
      MV_ASSIGN_OR_RETURN(r, next_visible(recno_, false));
    }
    if (r == 0) {
      // Before the first record: stand on the first visible one with BOF set.
      MV_RETURN_IF_ERROR(go_top());
      bof_ = true;
      return Status::ok();
    }
    MV_RETURN_IF_ERROR(load(r));
    recno_ = r;
    eof_ = bof_ = false;
  }
  return Status::ok();
}

Result<uint32_t> Table::count_rest() {
  if (!file_) return Status::invalid_argument("Die Tabelle ist nicht geöffnet");
  lastrec();
  if (eof_ || recno_ > lastrec_) return uint32_t(0);
  if (!navigator_ && !deleted_filter()) return lastrec_ - recno_ + 1;
  uint32_t count = is_hidden(recno_) ? 0 : 1;
  uint32_t r = recno_;
  for (;;) {
    MV_ASSIGN_OR_RETURN(r, next_visible(r, true));
    if (r == 0) break;
    ++count;
  }
  return count;
}

// ---------------------------------------------------------------- fields

Result<Value> Table::field_get(int pos) {
  if (pos < 1 || size_t(pos) > hdr_.fields.size())
    return Status::invalid_argument(path_ + ": Feldnummer " + std::to_string(pos) + " ist ungültig");
  const FieldInfo& f = hdr_.fields[size_t(pos - 1)];
  const uint8_t* rec = cur().data();
  if (f.type == 'C' && f.null_bit < 0)
    return Value::character(std::string(reinterpret_cast<const char*>(rec) + f.offset, f.length));
  if (f.null_bit >= 0 && !eof_ && field_is_blank(f, rec, hdr_) &&
      !(f.type == 'C' || f.type == 'N' || f.type == 'D' || f.type == 'L' || f.type == 'F'))
    return Value::nil();
  if (dbf::is_memo_type(f.type, f.length, hdr_.version)) {
    MV_ASSIGN_OR_RETURN(std::string text, memo_text(pos));
    return Value::character(std::move(text));
  }
  return decode_field(f, rec, hdr_.version);
}

Status Table::field_get_into(int pos, Value& out) {
  if (pos >= 1 && size_t(pos) <= hdr_.fields.size()) {
    const FieldInfo& f = hdr_.fields[size_t(pos - 1)];
    if (f.type == 'C' && f.null_bit < 0) {
      out.type = ValueType::Character;
      out.str.assign(reinterpret_cast<const char*>(cur().data()) + f.offset, f.length);
      return Status::ok();
    }
  }
  MV_ASSIGN_OR_RETURN(out, field_get(pos));
  return Status::ok();
}

Result<Value> Table::field_get(std::string_view name) {
  int pos = field_pos(name);
  if (pos == 0) return Status::invalid_argument(path_ + ": Feld \"" + std::string(name) + "\" gibt es nicht");
  return field_get(pos);
}

std::string_view Table::field_raw(int pos) const {
  const FieldInfo& f = hdr_.fields[size_t(pos - 1)];
  return std::string_view(reinterpret_cast<const char*>(cur().data()) + f.offset, f.length);
}

bool Table::field_blank(int pos) const { return field_is_blank(hdr_.fields[size_t(pos - 1)], cur().data(), hdr_); }

Result<std::string> Table::memo_text(int pos) {
  const FieldInfo& f = hdr_.fields[size_t(pos - 1)];
  if (eof_ || !memo_) return std::string();
  uint32_t block = get_memo_pointer(f, cur().data());
  if (block == 0) return std::string();
  return memo_->read(block);
}

Status Table::check_writable() const {
  if (!file_) return Status::invalid_argument("Die Tabelle ist nicht geöffnet");
  if (read_only_) return Status::read_only(path_ + ": die Tabelle ist schreibgeschützt geöffnet");
  if (maintainer_) return maintainer_->check_writable();
  return Status::ok();
}

Status Table::check_exclusive(const char* what) const {
  if (shared_)
    return Status::invalid_argument(path_ + ": " + what + " ist nur bei exklusiv geöffneter Tabelle möglich");
  return Status::ok();
}

Status Table::field_put_fully(int pos, const Value& v) {
  // The quick way still, with the header's date written first in this session.
  if (!date_written_ && put_in_place(pos, v)) return touch_date();
  MV_RETURN_IF_ERROR(check_writable());
  if (pos < 1 || size_t(pos) > hdr_.fields.size())
    return Status::invalid_argument(path_ + ": Feldnummer " + std::to_string(pos) + " ist ungültig");
  if (eof_) return Status::invalid_argument(path_ + ": kein Datensatz ausgewählt (Dateiende)");
  const FieldInfo& f = hdr_.fields[size_t(pos - 1)];
  const bool memo = dbf::is_memo_type(f.type, f.length, hdr_.version);
  if (!memo && f.null_bit < 0 && recno_ > disk_count_ && (!maintainer_ || maintainer_->takes_keys_later(recno_))) {
    // An appended record still in memory with nobody to tell now (and already counted as a
    // change of the table): the field's bytes are encoded in place and copied to the
    // record's place among the appended ones. A value that does not fit leaves both as
    // they were.
    uint8_t* now = const_cast<uint8_t*>(cur().data());
    MV_RETURN_IF_ERROR(encode_field(f, v, now));
    std::memcpy(pending_.data() + size_t(recno_ - disk_count_ - 1) * hdr_.record_length + f.offset,
                now + f.offset, f.length);
    return touch_date();
  }
  std::vector<uint8_t>& newrec = scratch_;  // reused: no allocation per field
  newrec = cur();
  if (memo) {
    if (!v.is_char() && !v.is_nil())
      return Status::invalid_argument("Feld " + f.name + ": ein Memofeld nimmt nur Text auf");
    if (!memo_) return Status::not_supported(path_ + ": keine Memodatei geöffnet");
    LockGuard guard;
    if (shared_) MV_RETURN_IF_ERROR(guard.lock(*file_, drv_.header_lock_offset()));
    uint32_t old = get_memo_pointer(f, rec_.data());
    MV_ASSIGN_OR_RETURN(uint32_t block, memo_->write(v.is_nil() ? std::string_view() : std::string_view(v.str), old));
    put_memo_pointer(f, newrec.data(), block);
  } else {
    MV_RETURN_IF_ERROR(encode_field(f, v, newrec.data()));
  }
  if (f.null_bit >= 0 && hdr_.null_flags_field >= 0) {
    const FieldInfo& nf = hdr_.fields[size_t(hdr_.null_flags_field)];
    uint8_t& b = newrec[nf.offset + uint32_t(f.null_bit) / 8];
    uint8_t bit = uint8_t(1u << (f.null_bit % 8));
    b = v.is_nil() ? uint8_t(b | bit) : uint8_t(b & ~bit);
  }
  return write_current(newrec);
}

Status Table::field_put(std::string_view name, const Value& v) {
  int pos = field_pos(name);
  if (pos == 0) return Status::invalid_argument(path_ + ": Feld \"" + std::string(name) + "\" gibt es nicht");
  return field_put(pos, v);
}

// ---------------------------------------------------------------- writing records

Status Table::touch_date() {
  modified_ = true;
  if (date_written_) return Status::ok();
  Date d = Date::today();
  uint8_t b[3] = {dbf_year_byte(hdr_.version, d.year()), uint8_t(d.month()), uint8_t(d.day())};
  MV_RETURN_IF_ERROR(file_->write_at(dbf::kOffYear, b, 3));
  date_written_ = true;
  return Status::ok();
}

Status Table::write_header_count(uint32_t count) {
  uint8_t b[4];
  put_le32(b, count);
  return file_->write_at(dbf::kOffRecordCount, b, 4);
}

Status Table::write_record_bytes(uint32_t recno, const uint8_t* bytes) {
  const size_t rl = hdr_.record_length;
  if (recno > disk_count_) {
    memcpy(pending_.data() + size_t(recno - disk_count_ - 1) * rl, bytes, rl);
    return Status::ok();
  }
  return file_->write_at(record_offset(recno), bytes, rl);
}

Status Table::write_current(std::vector<uint8_t>& newrec) {
  if (newrec == cur()) return Status::ok();
  const uint32_t r = recno_;
  LockGuard guard;
  if (shared_ && r <= disk_count_) {
    MV_RETURN_IF_ERROR(guard.lock(*file_, drv_.record_lock_offset(r)));
    MV_RETURN_IF_ERROR(merge_others_changes(r, newrec));
  }
  // The header's date goes first: once the record is written nothing may stop its keys.
  MV_RETURN_IF_ERROR(touch_date());
  if (maintainer_) MV_RETURN_IF_ERROR(maintainer_->record_changing(r, rec_));
  MV_RETURN_IF_ERROR(write_record_bytes(r, newrec.data()));
  rec_.swap(newrec);
  if (maintainer_) MV_RETURN_IF_ERROR(maintainer_->record_changed(r, rec_));
  return Status::ok();
}

// Our copy of a shared record may be older than the file: another program may have changed
// other fields since we read it. Under the record's lock the record is read again and only
// the fields changed here (and the deletion flag, when changed) are taken from `newrec`.
Status Table::merge_others_changes(uint32_t r, std::vector<uint8_t>& newrec) {
  const size_t rl = hdr_.record_length;
  fresh_.resize(rl);
  MV_RETURN_IF_ERROR(file_->read_exact(record_offset(r), fresh_.data(), rl));
  const std::vector<uint8_t>& mine = cur();
  if (fresh_ == mine) return Status::ok();
  auto keep_theirs = [&](size_t off, size_t len) {
    if (off + len > rl || off + len > mine.size()) return;
    if (std::memcmp(newrec.data() + off, mine.data() + off, len) == 0)
      std::memcpy(newrec.data() + off, fresh_.data() + off, len);
  };
  keep_theirs(0, 1);
  for (const FieldInfo& f : hdr_.fields) keep_theirs(f.offset, f.length);
  // The order maintainer removes the keys the file holds now, not those of our old copy.
  rec_ = fresh_;
  loaded_ = true;
  return Status::ok();
}

Status Table::delete_record() {
  MV_RETURN_IF_ERROR(check_writable());
  if (eof_) return Status::ok();
  scratch_ = cur();
  scratch_[0] = dbf::kDeletedFlag;
  return write_current(scratch_);
}

Status Table::recall() {
  MV_RETURN_IF_ERROR(check_writable());
  if (eof_) return Status::ok();
  scratch_ = cur();
  scratch_[0] = dbf::kLiveFlag;
  return write_current(scratch_);
}

Status Table::append_blank() {
  // Exclusive (or in an append run) with no order to tell and the header's date written:
  // the blank record joins the appended ones, and the current record is copied from there
  // when first looked at. A full block is written before it rather than with it, so the
  // FIELDPUTs that usually follow find it in memory still.
  const size_t rl = hdr_.record_length;
  if (!maintainer_ && date_written_ && (!shared_ || batch_shared_) && file_ && !read_only_ &&
      lastrec_ != 0xFFFFFFFFu && blank_.size() == rl) {
    if (pending_.size() + rl > kAppendBatchBytes) MV_RETURN_IF_ERROR(flush_appends());
    modified_ = true;
    pending_.insert(pending_.end(), blank_.begin(), blank_.end());
    recno_ = ++lastrec_;
    loaded_ = false;
    eof_ = bof_ = false;
    return Status::ok();
  }
  return append_record(blank_);
}

Status Table::put_record(std::span<const uint8_t> bytes) {
  MV_RETURN_IF_ERROR(check_writable());
  if (bytes.size() != hdr_.record_length) return Status::invalid_argument(path_ + ": falsche Satzlänge beim Schreiben");
  if (eof_) return Status::invalid_argument(path_ + ": kein Datensatz ausgewählt (Dateiende)");
  scratch_.assign(bytes.begin(), bytes.end());
  return write_current(scratch_);
}

Status Table::append_record(std::span<const uint8_t> bytes) {
  MV_RETURN_IF_ERROR(check_writable());
  const size_t rl = hdr_.record_length;
  if (bytes.size() != rl) return Status::invalid_argument(path_ + ": falsche Satzlänge beim Anfügen");
  // The header's date goes first: once the record is counted nothing may stop its keys.
  MV_RETURN_IF_ERROR(touch_date());
  // Shared: the new record stays locked until its keys are in the orders, so nobody
  // changes it in between.
  LockGuard record_guard;
  if (shared_ && !batch_shared_) {
    LockGuard guard;
    MV_RETURN_IF_ERROR(guard.lock(*file_, drv_.header_lock_offset()));
    // Another program may have appended since we last looked.
    uint8_t b[4];
    MV_RETURN_IF_ERROR(file_->read_exact(dbf::kOffRecordCount, b, 4));
    MV_ASSIGN_OR_RETURN(uint64_t size, file_->size());
    uint64_t in_file = size > hdr_.header_length ? (size - hdr_.header_length) / rl : 0;
    uint32_t n = uint32_t(std::min<uint64_t>(get_le32(b), in_file));
    if (drv_.locks == LockFamily::FoxPro) {
      // Records must stay below the lock bytes of this family.
      uint64_t limit = (0x80000000ull - hdr_.header_length - 2) / (rl + 1);
      if (n + 1 > limit) return Status::not_supported(path_ + ": die Tabelle hat die größte Satzzahl erreicht");
    }
    if (n == 0xFFFFFFFFu) return Status::not_supported(path_ + ": die Tabelle hat die größte Satzzahl erreicht");
    MV_RETURN_IF_ERROR(record_guard.lock(*file_, drv_.record_lock_offset(n + 1)));
    std::vector<uint8_t> out(bytes.begin(), bytes.end());
    out.push_back(dbf::kEndOfFile);
    MV_RETURN_IF_ERROR(file_->write_at(hdr_.header_length + uint64_t(n) * rl, out.data(), out.size()));
    MV_RETURN_IF_ERROR(write_header_count(n + 1));
    lastrec_ = disk_count_ = n + 1;
  } else {
    if (lastrec_ == 0xFFFFFFFFu) return Status::not_supported(path_ + ": die Tabelle hat die größte Satzzahl erreicht");
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    ++lastrec_;
  }
  recno_ = lastrec_;
  rec_.assign(bytes.begin(), bytes.end());
  loaded_ = true;
  eof_ = bof_ = false;
  if (maintainer_) MV_RETURN_IF_ERROR(maintainer_->record_appended(recno_, rec_));
  if (pending_.size() >= kAppendBatchBytes) MV_RETURN_IF_ERROR(flush_appends());
  return Status::ok();
}

Status Table::flush_appends() {
  if (pending_.empty()) return Status::ok();
  pending_.push_back(dbf::kEndOfFile);
  Status st = file_->write_at(record_offset(disk_count_ + 1), pending_.data(), pending_.size());
  pending_.pop_back();
  MV_RETURN_IF_ERROR(st);
  // The count follows the records it counts: a program killed in between leaves a
  // table that reads as before.
  MV_RETURN_IF_ERROR(write_header_count(lastrec_));
  disk_count_ = lastrec_;
  pending_.clear();
  return Status::ok();
}

Status Table::flush() {
  if (!file_) return Status::ok();
  return flush_appends();
}

Status Table::sync() {
  if (!file_) return Status::ok();
  MV_RETURN_IF_ERROR(flush_appends());
  return file_->sync();
}

void Table::start_writeback() {
  if (file_) file_->start_writeback();
}

Status Table::commit() {
  if (!file_) return Status::ok();
  MV_RETURN_IF_ERROR(flush_appends());
  if (memo_) MV_RETURN_IF_ERROR(memo_->flush());
  if (maintainer_) MV_RETURN_IF_ERROR(maintainer_->flush());
  return Status::ok();
}

// ---------------------------------------------------------------- pack and zap

Status Table::swap_in(std::unique_ptr<File> file, std::unique_ptr<MemoFile> memo) {
  file_->unmap();
  map_ = nullptr;
  map_len_ = 0;
  file_ = std::move(file);
  if (memo) memo_ = std::move(memo);
  remap();
  return Status::ok();
}

Status Table::pack() {
  MV_RETURN_IF_ERROR(check_writable());
  MV_RETURN_IF_ERROR(check_exclusive("Packen"));
  MV_RETURN_IF_ERROR(flush_appends());
  const size_t rl = hdr_.record_length;
  const std::string tmp = temp_name_for(path_);
  if (fs_->exists(tmp)) fs_->remove(tmp).ignore();
  uint32_t kept = 0;
  auto build = [&](File& out) -> Status {
    std::vector<uint8_t> head(hdr_.header_length);
    MV_RETURN_IF_ERROR(file_->read_exact(0, head.data(), head.size()));
    Date d = Date::today();
    head[dbf::kOffYear] = dbf_year_byte(hdr_.version, d.year());
    head[dbf::kOffMonth] = uint8_t(d.month());
    head[dbf::kOffDay] = uint8_t(d.day());
    put_le32(&head[dbf::kOffRecordCount], 0);
    MV_RETURN_IF_ERROR(out.write_at(0, head.data(), head.size()));
    uint64_t out_off = head.size();
    const uint32_t per_chunk = uint32_t(std::max<size_t>(1, kCopyChunkBytes / rl));
    std::vector<uint8_t> in(size_t(per_chunk) * rl);
    std::vector<uint8_t> buf;
    buf.reserve(in.size() + 1);
    for (uint32_t first = 1; first <= disk_count_; first += per_chunk) {
      uint32_t n = std::min<uint32_t>(per_chunk, disk_count_ - first + 1);
      uint64_t off = record_offset(first);
      const uint8_t* src;
      if (map_ && off + uint64_t(n) * rl <= map_len_) {
        src = map_ + off;
      } else {
        MV_RETURN_IF_ERROR(file_->read_exact(off, in.data(), size_t(n) * rl));
        src = in.data();
      }
      buf.clear();
      for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* r = src + size_t(i) * rl;
        if (r[0] == dbf::kDeletedFlag) continue;
        buf.insert(buf.end(), r, r + rl);
        ++kept;
      }
      if (!buf.empty()) {
        MV_RETURN_IF_ERROR(out.write_at(out_off, buf.data(), buf.size()));
        out_off += buf.size();
      }
    }
    uint8_t eofb = dbf::kEndOfFile;
    MV_RETURN_IF_ERROR(out.write_at(out_off, &eofb, 1));
    uint8_t cnt[4];
    put_le32(cnt, kept);
    MV_RETURN_IF_ERROR(out.write_at(dbf::kOffRecordCount, cnt, 4));
    // The new file is ours alone before it gets the table's name.
    return out.lock(kOpenModeLockOffset, 1, LockType::Exclusive);
  };
  MV_ASSIGN_OR_RETURN(auto out, fs_->open(tmp, OpenMode::Create));
  Status st = build(*out);
  if (!st) {
    out.reset();
    fs_->remove(tmp).ignore();
    return st;
  }
  MV_RETURN_IF_ERROR(replace_files(*fs_, {{tmp, path_}}));
  MV_RETURN_IF_ERROR(swap_in(std::move(out), nullptr));
  lastrec_ = disk_count_ = kept;
  date_written_ = true;
  if (maintainer_) MV_RETURN_IF_ERROR(maintainer_->records_replaced());
  return go_top();
}

Status Table::zap() {
  MV_RETURN_IF_ERROR(check_writable());
  MV_RETURN_IF_ERROR(check_exclusive("Zappen"));
  pending_.clear();
  lastrec_ = disk_count_;
  const std::string tmp = temp_name_for(path_);
  const std::string tmp_memo = memo_ ? temp_name_for(memo_path_) : std::string();
  std::vector<uint8_t> head(hdr_.header_length);
  MV_RETURN_IF_ERROR(file_->read_exact(0, head.data(), head.size()));
  Date d = Date::today();
  head[dbf::kOffYear] = dbf_year_byte(hdr_.version, d.year());
  head[dbf::kOffMonth] = uint8_t(d.month());
  head[dbf::kOffDay] = uint8_t(d.day());
  put_le32(&head[dbf::kOffRecordCount], 0);
  head.push_back(dbf::kEndOfFile);

  std::unique_ptr<File> out;
  auto cleanup = [&]() {
    out.reset();
    fs_->remove(tmp).ignore();
    if (!tmp_memo.empty()) fs_->remove(tmp_memo).ignore();
  };
  {
    auto r = fs_->open(tmp, OpenMode::Create);
    if (!r) return r.status();
    out = std::move(r).value();
  }
  Status st = out->write_at(0, head.data(), head.size());
  if (st) st = out->lock(kOpenModeLockOffset, 1, LockType::Exclusive);
  if (st && memo_) st = MemoFile::create(*fs_, tmp_memo, memo_->kind(), memo_->block_size());
  if (!st) {
    cleanup();
    return st;
  }
  std::vector<std::pair<std::string, std::string>> moves{{tmp, path_}};
  if (memo_) moves.push_back({tmp_memo, memo_path_});
  st = replace_files(*fs_, moves);
  if (!st) {
    out.reset();
    return st;
  }
  std::unique_ptr<MemoFile> memo;
  if (memo_) {
    MemoKind kind = memo_->kind();
    memo_.reset();
    auto m = MemoFile::open(*fs_, memo_path_, kind, true);
    if (m) memo = std::move(m).value();
    else st = m.status();
  }
  MV_RETURN_IF_ERROR(swap_in(std::move(out), std::move(memo)));
  lastrec_ = disk_count_ = 0;
  date_written_ = true;
  MV_RETURN_IF_ERROR(st);
  if (maintainer_) MV_RETURN_IF_ERROR(maintainer_->records_replaced());
  return go_top();
}

}  // namespace mv
