// The rebuild writes the whole new set (table, memo, production bag, NTX files) under
// "_Neu" names beside the old files while it holds the old table exclusively, then puts
// the set in place with one journalled replace: until that replace has happened the old
// files are untouched, and a process killed inside it leaves a journal that the next
// opening of the table finishes or takes back.
#include "platform/table/restructure.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/base/text.h"
#include "platform/runtime/date.h"
#include "platform/table/dbf_format.h"
#include "platform/table/drivers.h"
#include "platform/table/field_codec.h"
#include "platform/table/file_ops.h"
#include "platform/table/index/index_bag.h"
#include "platform/table/index/index_layout.h"
#include "platform/table/index/order_list.h"
#include "platform/table/modes.h"
#include "platform/table/table.h"
#include "platform/table/transfer.h"

namespace mv {

namespace {

constexpr const char* kLockText = "Die Datei kann nicht exklusiv geöffnet werden!";
constexpr const char* kOpenText = "Die DBF-Datei konnte nicht geöffnet werden!";
constexpr const char* kTextFileText = "Die SDF-Datei konnte nicht erstellt werden!";
constexpr const char* kIndexText = "Die Indexdatei konnte nicht erstellt werden!";

// The messages name a file between two empty lines.
std::string framed(const std::string& head, const std::string& name, const std::string& tail) {
  return head + "\r\n\r\n" + name + "\r\n" + "\r\n" + tail;
}

std::string known_driver(const std::string& d) {
  for (auto n : kDriverNames)
    if (d == n) return d;
  return "DBFCDX";
}

std::string lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The file names of one rebuild.
struct Names {
  std::string dbf, dir, stem, ext;
  std::string neu_base;  // dir + stem + "_Neu", as the messages name the new table
  std::string neu_dbf;
  std::vector<std::string> ntx, neu_ntx;

  Names(const std::string& path, const std::vector<std::string>& ntx_files) : dbf(path) {
    dir = path_dir(path);
    stem = path_stem(path);
    ext = path_ext(path);
    neu_base = dir + stem + "_Neu";
    neu_dbf = neu_base + (ext.empty() ? std::string(".dbf") : ext);
    for (const auto& n : ntx_files) {
      ntx.push_back(n);
      neu_ntx.push_back(path_dir(n) + path_stem(n) + "_Neu" + path_ext(n));
    }
  }
};

// Everything a run of ours can leave under the new names: the table, its memo, bags and
// OLE file, the NTX files, and the temporary files and marks written beside them. A
// removal that fails is tried once more; whatever still stays is removed by the next
// run before it writes anything.
void remove_new_files(FileSystem& fs, const Names& n) {
  recover_interrupted_replace(fs, n.neu_dbf).ignore();
  std::vector<std::string> files{n.neu_dbf};
  for (const char* e : {".dbt", ".fpt", ".cdx", ".mdx", ".dfl"})
    if (auto p = find_companion(fs, n.neu_dbf, e)) files.push_back(*p);
  for (const auto& x : n.neu_ntx) files.push_back(x);
  std::vector<std::string> all;
  for (const auto& f : files) {
    all.push_back(f);
    all.push_back(temp_name_for(f));
    all.push_back(index::change_mark_path(f));
  }
  for (const auto& f : all) {
    if (!fs.exists(f)) continue;
    if (!fs.remove(f)) fs.remove(f).ignore();
  }
  fs.sync_dir(n.dir).ignore();
}

// The code page a table's mark (header byte 29) names; the ANSI mode's when it names none.
CodePage code_page_of_mark(uint8_t mark) {
  switch (mark) {
    case 0x01: case 0x0F: return CodePage::Cp437;
    case 0x02: case 0x10: case 0x37: return CodePage::Cp850;
    case 0x03: case 0x57: case 0x58: return CodePage::Windows1252;
    default: return code_page_for(ansi_mode());
  }
}

std::string date_text(Date d) { return d.empty() ? std::string() : dtos(d); }

// An old field's value as the text a delimited file would carry; types the delimited
// export writes as stored bytes (binary numbers and dates) go through their value.
std::string value_text(const FieldInfo& f, const uint8_t* rec, uint8_t version) {
  switch (f.type) {
    case 'C': case 'N': case 'F': case 'D': case 'L':
      return delimited_value_text(f, rec);
    default:
      break;
  }
  Value v = decode_field(f, rec, version);
  if (v.is_num()) return std::string(ltrim(format_number(v.num, 40, uint32_t(std::max<int>(v.dec, 0)))));
  if (v.is_date()) return date_text(v.date);
  if (v.is_logical()) return v.logical ? "T" : "F";
  if (v.is_char()) return std::string(rtrim(v.str));
  return std::string();
}

// How a new field gets its value from the old one.
enum class Take { Raw, Chars, Convert, MemoToMemo, MemoToText, TextToMemo };

struct FieldMap {
  FieldInfo to, from;
  Take how;
};

bool is_memo(const FieldInfo& f, uint8_t version) { return dbf::is_memo_type(f.type, f.length, version); }
// An OLE field: a ten-byte pointer into the table's OLE file.
bool is_ole(const StructRow& r) { return (r.type == 'O' || r.type == 'o') && r.length == 10; }
bool is_ole(const FieldInfo& f) { return f.type == 'O' && f.length == 10; }

std::vector<FieldMap> field_maps(const Table& old, const Table& nt, const std::vector<RestructureField>& fields) {
  std::vector<FieldMap> maps;
  for (size_t i = 0; i < fields.size() && i < nt.fcount(); ++i) {
    if (fields[i].source.empty()) continue;
    const int sp = old.field_pos(fields[i].source);
    if (sp == 0) continue;
    const FieldInfo& to = nt.fields()[i];
    const FieldInfo& from = old.field(sp);
    const bool mt = is_memo(to, nt.version()), mf = is_memo(from, old.version());
    Take how;
    if (mt && mf) how = Take::MemoToMemo;
    else if (mf) how = Take::MemoToText;
    else if (mt) how = Take::TextToMemo;
    else if (to.type == from.type && to.length == from.length && to.decimals == from.decimals) how = Take::Raw;
    else if (to.type == 'C' && from.type == 'C') how = Take::Chars;
    else how = Take::Convert;
    maps.push_back({to, from, how});
  }
  return maps;
}

// Copies every record of `old` into `nt` in record order, deletion flags and memo texts
// with them.
Status take_over(Table& old, Table& nt, const std::vector<RestructureField>& fields,
                 const RestructureOptions& opt) {
  const std::vector<FieldMap> maps = field_maps(old, nt, fields);
  MemoFile* old_memo = old.memo();
  MemoFile* new_memo = nt.memo();
  const uint32_t total = old.lastrec();
  const uint8_t ov = old.version();
  std::vector<uint8_t> in;
  std::vector<uint8_t> blank(nt.record_length(), ' ');
  std::vector<uint8_t> out;
  for (uint32_t r = 1; r <= total; ++r) {
    MV_RETURN_IF_ERROR(old.read_record(r, in));
    out = blank;
    out[0] = in[0];
    for (const FieldMap& m : maps) {
      const uint8_t* src = in.data() + m.from.offset;
      uint8_t* dst = out.data() + m.to.offset;
      switch (m.how) {
        case Take::Raw:
          std::memcpy(dst, src, m.to.length);
          break;
        case Take::Chars:
          std::memcpy(dst, src, std::min(m.to.length, m.from.length));
          break;
        case Take::Convert:
          store_delimited_value(m.to, out.data(), value_text(m.from, in.data(), ov));
          break;
        case Take::MemoToMemo:
        case Take::MemoToText: {
          const uint32_t block = get_memo_pointer(m.from, in.data());
          if (block == 0 || !old_memo) break;
          MV_ASSIGN_OR_RETURN(std::string text, old_memo->read(block));
          if (m.how == Take::MemoToText) {
            store_delimited_value(m.to, out.data(), text);
          } else if (!text.empty() && new_memo) {
            MV_ASSIGN_OR_RETURN(uint32_t nb, new_memo->write(text, 0));
            put_memo_pointer(m.to, out.data(), nb);
          }
          break;
        }
        case Take::TextToMemo: {
          std::string text = value_text(m.from, in.data(), ov);
          if (!text.empty() && new_memo) {
            MV_ASSIGN_OR_RETURN(uint32_t nb, new_memo->write(text, 0));
            put_memo_pointer(m.to, out.data(), nb);
          }
          break;
        }
      }
    }
    MV_RETURN_IF_ERROR(nt.append_record(out));
    if (opt.progress && !opt.progress(r, total)) return Status::cancelled("Datenübernahme abgebrochen");
  }
  return nt.close();
}

// The orders of an index file as they are to be built again.
Result<std::vector<index::OrderInfo>> orders_of(FileSystem& fs, const std::string& path, index::IndexFormat f) {
  index::BagOptions bo;
  bo.read_only = true;
  MV_ASSIGN_OR_RETURN(auto bag, index::IndexBag::open(fs, path, f, bo));
  std::vector<index::OrderInfo> out;
  for (size_t i = 0; i < bag->size(); ++i) out.push_back(bag->order(i)->info());
  return out;
}

// A bag's header names its table: the new bag must name the table it will belong to.
Status name_mdx_table(FileSystem& fs, const std::string& bag, const std::string& table_stem) {
  uint8_t name[16] = {};
  const std::string base = upper_ascii(table_stem);
  std::memcpy(name, base.data(), std::min<size_t>(base.size(), 15));
  MV_ASSIGN_OR_RETURN(auto f, fs.open(bag, OpenMode::ReadWrite));
  MV_RETURN_IF_ERROR(f->write_at(index::mdx::kTableName, name, sizeof name));
  return f->sync();
}

class Rebuild {
 public:
  Rebuild(FileSystem& fs, const std::string& dbf, const std::vector<RestructureField>& fields,
          const RestructureOptions& opt)
      : fs_(fs), n_(dbf, opt.ntx_files), fields_(fields), opt_(opt), driver_(known_driver(opt.driver)) {}

  RestructureOutcome run() {
    RestructureOutcome out;
    out.message = steps();
    if (!out.message.empty()) {
      new_table_.reset();
      // Without the table's lock the new names may be another program's work in progress.
      const bool ours = old_ != nullptr;
      old_.reset();
      if (ours) remove_new_files(fs_, n_);
    }
    out.orders_left = orders_left_;
    return out;
  }

 private:
  std::string creation_text() const {
    return framed("Die Datei ", n_.neu_base, "konnte nicht neu erstellt werden!");
  }
  std::string takeover_text() const {
    return framed("Die Übernahme der Daten in die Datei", n_.neu_base, " konnte nicht erfolgen!");
  }

  OpenOptions open_options(bool read_only) const {
    OpenOptions o;
    o.shared = false;
    o.read_only = read_only;
    o.driver = driver_;
    o.fs = &fs_;
    o.code_page = cp_;
    return o;
  }

  // The old table, held exclusively for the whole run (read only: nothing of it changes).
  std::string open_old() {
    // Only stored bytes are taken from the old table: its code page does not matter here.
    OpenOptions o = open_options(true);
    auto t = Table::open(n_.dbf, o);
    // A table whose memo file the driver does not read is read through the driver that does.
    for (size_t i = 0; !t && t.status().kind() == StatusKind::NotSupported && i < kDriverNames.size(); ++i) {
      if (kDriverNames[i] == driver_) continue;
      OpenOptions o2 = o;
      o2.driver = std::string(kDriverNames[i]);
      auto t2 = Table::open(n_.dbf, o2);
      if (t2 || t2.status().kind() != StatusKind::NotSupported) t = std::move(t2);
    }
    if (!t) return t.status().kind() == StatusKind::Locked ? kLockText : kOpenText;
    // A file we may not write is only read, under a shared lock: it is not ours to replace.
    if (!fs_.open(n_.dbf, OpenMode::ReadWrite)) return kLockText;
    old_ = std::move(t).value();
    return std::string();
  }

  std::string steps() {
    if (std::string m = open_old(); !m.empty()) return m;
    // The new table is read as the old one was: in the page given, else in the one its mark names.
    cp_ = opt_.code_page.value_or(code_page_of_mark(old_->header_info().language));
    // What an earlier run left under the new names goes first.
    remove_new_files(fs_, n_);

    if (opt_.delimited_path) {
      if (!old_->copy_delimited(*opt_.delimited_path)) return kTextFileText;
    }

    // The orders to build again: the production bag's and the NTX files'.
    const auto fmt = index_format_of_driver(driver_);
    if (fmt && *fmt != index::IndexFormat::Ntx) {
      old_bag_ = find_companion(fs_, n_.dbf, *fmt == index::IndexFormat::Cdx ? ".cdx" : ".mdx");
      if (old_bag_) {
        auto o = orders_of(fs_, *old_bag_, *fmt);
        if (!o) return kIndexText;
        bag_orders_ = std::move(o).value();
      }
    }
    if (fmt && *fmt == index::IndexFormat::Ntx) {
      for (size_t i = 0; i < n_.ntx.size(); ++i) {
        if (!fs_.exists(n_.ntx[i])) continue;
        auto o = orders_of(fs_, n_.ntx[i], index::IndexFormat::Ntx);
        if (!o || o->empty()) return kIndexText;
        ntx_orders_.push_back({i, o->front()});
      }
    }

    // The rebuilt orders keep the key order the old ones were written in (German or byte
    // order), which the other programs reading them rely on.
    if (!bag_orders_.empty() || !ntx_orders_.empty()) {
      OrderListOptions lo;
      lo.require_production = false;
      if (auto ol = OrderList::attach(*old_, lo); ol.is_ok()) {
        for (const auto& [i, info] : ntx_orders_) (*ol)->add_index_file(n_.ntx[i]).ignore();
        if (auto c = (*ol)->key_collation(); c.is_ok()) old_collation_ = *c;
      }
    }

    // The new table. Its OLE fields (ten-byte pointers, copied as they are) keep pointing
    // into the old OLE file, which the new set takes over whole; new OLE fields alone start
    // with the empty one the creation writes.
    std::vector<StructRow> rows;
    bool keeps_ole = false;
    for (const auto& f : fields_) {
      rows.push_back(f.row);
      if (!is_ole(f.row)) continue;
      new_has_ole_ = true;
      const int from = f.source.empty() ? 0 : old_->field_pos(f.source);
      if (from > 0 && is_ole(old_->field(from))) keeps_ole = true;
    }
    if (!db_create(n_.neu_dbf, rows, driver_, cp_, &fs_)) return creation_text();
    if (new_has_ole_) {
      new_dfl_ = find_companion(fs_, n_.neu_dbf, ".dfl");
      if (!new_dfl_) return creation_text();
      if (auto old_dfl = find_companion(fs_, n_.dbf, ".dfl"); old_dfl && keeps_ole)
        if (!copy_file(fs_, *old_dfl, *new_dfl_)) return creation_text();
    }
    {
      auto t = Table::open(n_.neu_dbf, open_options(false));
      if (!t) return creation_text();
      new_table_ = std::move(t).value();
    }
    if (!take_over(*old_, *new_table_, fields_, opt_)) return takeover_text();
    new_table_.reset();

    if (std::string m = build_orders(); !m.empty()) return m;
    return swap();
  }

  std::string build_orders() {
    if (bag_orders_.empty() && ntx_orders_.empty()) return std::string();
    auto t = Table::open(n_.neu_dbf, open_options(false));
    if (!t) return kIndexText;
    std::unique_ptr<Table> table = std::move(t).value();
    OrderListOptions lo;
    lo.open_production = false;
    lo.require_production = false;
    lo.collation = old_collation_;
    auto ol_r = OrderList::attach(*table, lo);
    if (!ol_r) return kIndexText;
    std::unique_ptr<OrderList> ol = std::move(ol_r).value();
    auto build = [&](const index::OrderInfo& info, const std::string& ntx) -> Status {
      CreateOrderOptions co;
      co.for_expr = cp_to_utf8(cp_, info.for_expr);
      co.unique = info.unique;
      co.descending = info.descending;
      const std::string key = cp_to_utf8(cp_, info.key_expr);
      return ntx.empty() ? ol->create_order(info.name, "", key, co) : ol->create_index(ntx, key, co);
    };
    // A key that no longer compiles (a field it names is gone or changed its type) leaves
    // its order out; any other failure ends the rebuild.
    auto left_out = [](const Status& st) {
      return st.kind() == StatusKind::InvalidArgument || st.kind() == StatusKind::NotSupported;
    };
    size_t bag_built = 0;
    for (const auto& info : bag_orders_) {
      Status st = build(info, "");
      if (st) {
        ++bag_built;
      } else if (left_out(st)) {
        orders_left_.push_back(info.name);
      } else {
        return kIndexText;
      }
    }
    for (const auto& [i, info] : ntx_orders_) {
      Status st = build(info, n_.neu_ntx[i]);
      if (st) {
        ntx_built_.push_back(i);
      } else if (left_out(st)) {
        orders_left_.push_back(upper_ascii(path_stem(n_.ntx[i])));
      } else {
        return kIndexText;
      }
    }
    ol.reset();
    if (!table->close()) return kIndexText;
    table.reset();
    if (bag_built > 0) {
      const std::string ext = index_format_of_driver(driver_) == index::IndexFormat::Mdx ? ".mdx" : ".cdx";
      new_bag_ = find_companion(fs_, n_.neu_dbf, ext);
      if (!new_bag_) return kIndexText;
      if (ext == ".mdx" && !name_mdx_table(fs_, *new_bag_, n_.stem)) return kIndexText;
    } else if (auto empty_bag = find_companion(fs_, n_.neu_dbf, ".cdx")) {
      fs_.remove(*empty_bag).ignore();
    } else if (auto empty_mdx = find_companion(fs_, n_.neu_dbf, ".mdx")) {
      fs_.remove(*empty_mdx).ignore();
    }
    return std::string();
  }

  std::string swap() {
    struct SwapFile {
      std::string from, to;
      std::string new_text, old_text;  // the messages of a failure at this file
    };
    std::vector<SwapFile> parts;
    parts.push_back({n_.neu_dbf, n_.dbf, framed("Die neue Datei", n_.neu_base, "konnte nicht umbenannt werden!"),
                     framed("Die alte Datei", n_.dbf, "konnte nicht gelöscht werden!")});
    // Memo: the new one takes the old one's name when it has the same extension; an old
    // memo the new set has no use for goes.
    std::optional<std::string> new_memo;
    for (const char* e : {".dbt", ".fpt"})
      if (auto p = find_companion(fs_, n_.neu_dbf, e)) new_memo = *p;
    std::optional<std::string> old_memo;
    if (!old_->memo_path().empty()) old_memo = old_->memo_path();
    auto memo_texts = [&](SwapFile& p, const std::string& ext) {
      p.new_text = framed("Die neue Memo-Datei", n_.neu_base + ext, "konnte nicht umbenannt werden!");
      p.old_text = framed("Die alte Memo-Datei", n_.dir + n_.stem + ext, "konnte nicht gelöscht werden!");
    };
    if (new_memo) {
      const std::string ext = path_ext(*new_memo);
      std::string to = n_.dir + n_.stem + ext;
      if (auto same = find_companion(fs_, n_.dbf, ext)) to = *same;
      SwapFile p{*new_memo, to, "", ""};
      memo_texts(p, ext);
      parts.push_back(p);
      if (old_memo && lower(path_ext(*old_memo)) != lower(ext)) {
        SwapFile q{"", *old_memo, "", ""};
        memo_texts(q, path_ext(*old_memo));
        parts.push_back(q);
      }
    } else if (old_memo) {
      SwapFile q{"", *old_memo, "", ""};
      memo_texts(q, path_ext(*old_memo));
      parts.push_back(q);
    }
    // The OLE file: the new one when the new set has OLE fields, else the old one goes.
    const auto old_dfl = find_companion(fs_, n_.dbf, ".dfl");
    if (new_dfl_ || old_dfl) {
      SwapFile q{new_dfl_.value_or(""), old_dfl.value_or(n_.dir + n_.stem + path_ext(new_dfl_.value_or(".DFL"))),
                 framed("Die neue Ole-Datei", n_.neu_base + ".DFL", "konnte nicht umbenannt werden!"),
                 framed("Die alte Ole-Datei", old_dfl.value_or(n_.dir + n_.stem + ".DFL"), "konnte nicht gelöscht werden!")};
      parts.push_back(q);
    }
    // The production bag: the rebuilt one in place of the old one, or none at all.
    if (new_bag_) {
      std::string to = old_bag_ ? *old_bag_ : n_.dir + n_.stem + path_ext(*new_bag_);
      parts.push_back({*new_bag_, to, framed("Die neue Datei", *new_bag_, "konnte nicht umbenannt werden!"),
                       framed("Die alte Datei", to, "konnte nicht gelöscht werden!")});
    } else if (old_bag_) {
      parts.push_back({"", *old_bag_, "", framed("Die alte Datei", *old_bag_, "konnte nicht gelöscht werden!")});
    }
    for (size_t i : ntx_built_)
      parts.push_back({n_.neu_ntx[i], n_.ntx[i], framed("Die neue Datei", n_.neu_ntx[i], "konnte nicht umbenannt werden!"),
                       framed("Die alte Datei", n_.ntx[i], "konnte nicht gelöscht werden!")});

    std::vector<std::pair<std::string, std::string>> moves;
    for (const auto& p : parts) moves.push_back({p.from, p.to});
    ReplaceFailure where;
    Status st = replace_files(fs_, moves, &where);
    if (!st) {
      const SwapFile& p = parts[std::min(where.index, parts.size() - 1)];
      if (where.old_file && !p.old_text.empty()) return p.old_text;
      if (!where.old_file && !p.new_text.empty()) return p.new_text;
      return parts[0].new_text;
    }
    // The lock goes with the old table, now that the new one has its name.
    old_->close().ignore();
    old_.reset();
    return std::string();
  }

  FileSystem& fs_;
  Names n_;
  const std::vector<RestructureField>& fields_;
  const RestructureOptions& opt_;
  std::string driver_;
  CodePage cp_ = CodePage::Cp850;
  std::unique_ptr<Table> old_, new_table_;
  std::optional<std::string> old_bag_, new_bag_;
  std::vector<index::OrderInfo> bag_orders_;
  bool new_has_ole_ = false;
  std::optional<index::Collation> old_collation_;
  std::optional<std::string> new_dfl_;  // the new set's OLE file
  std::vector<std::pair<size_t, index::OrderInfo>> ntx_orders_;
  std::vector<size_t> ntx_built_;
  std::vector<std::string> orders_left_;
};

}  // namespace

RestructureOutcome restructure_table(FileSystem& fs, const std::string& dbf_path,
                                     const std::vector<RestructureField>& fields, const RestructureOptions& opt) {
  Rebuild r(fs, dbf_path, fields, opt);
  return r.run();
}

// ---------------------------------------------------------------- rename in place

std::string rename_field_in_place(FileSystem& fs, const std::string& dbf_path, const std::string& old_name,
                                  const std::string& new_name) {
  // A swap of this table that died half-way is settled before its header is read.
  if (Status st = recover_interrupted_replace(fs, dbf_path); !st) return "FOpen Fehler: " + st.message();
  auto fr = fs.open(dbf_path, OpenMode::ReadWrite);
  if (!fr) return "FOpen Fehler: " + fr.status().message();
  std::unique_ptr<File> f = std::move(fr).value();
  if (Status st = f->lock(kOpenModeLockOffset, 1, LockType::Exclusive); !st)
    return st.kind() == StatusKind::Locked ? kLockText : "FOpen Fehler: " + st.message();

  uint8_t head[dbf::kHeaderSize];
  auto got = f->read_at(0, head, sizeof head);
  if (!got) return "FRead Fehler: " + got.status().message();
  if (*got < sizeof head) return "FRead Fehler: " + dbf_path + ": der Header ist unvollständig";
  const size_t header_length = size_t(head[dbf::kOffHeaderLength]) | size_t(head[dbf::kOffHeaderLength + 1]) << 8;
  std::vector<uint8_t> hb(std::max(header_length, sizeof head));
  got = f->read_at(0, hb.data(), hb.size());
  if (!got) return "FRead Fehler: " + got.status().message();
  if (*got < hb.size()) return "FRead Fehler: " + dbf_path + ": der Header ist unvollständig";

  const bool level7 = dbf::is_level7(head[0]);
  const size_t first = level7 ? dbf::kLevel7HeaderSize : dbf::kHeaderSize;
  const size_t dsize = level7 ? dbf::kLevel7DescriptorSize : dbf::kDescriptorSize;
  const size_t name_field = level7 ? dbf::kLevel7DescNameSize : dbf::kMaxFieldNameLength;
  // A descriptor's name runs up to its first NUL; what follows it is not part of it.
  auto name_at = [&](size_t off) {
    const char* p = reinterpret_cast<const char*>(hb.data() + off);
    return std::string(p, strnlen(p, name_field));
  };
  const std::string want = std::string(rtrim(old_name));
  // A longer name is cut to what the descriptor holds.
  const std::string give = std::string(rtrim(new_name)).substr(0, name_field);
  if (give.empty()) return "Der Name des Datenfeldes fehlt!";
  size_t found = 0;
  for (size_t off = first; off + dsize <= header_length; off += dsize) {
    if (hb[off] == dbf::kTerminator) break;
    const std::string name = name_at(off);
    if (!found && iequals(name, want)) {
      found = off;
    } else if (iequals(name, give)) {
      return "Der Name des Datenfeldes wurde schon vergeben!";
    }
  }
  if (!found) return "Der alte Feldname wurde nicht gefunden!";

  std::vector<uint8_t> bytes(name_field, 0);
  std::memcpy(bytes.data(), give.data(), std::min(give.size(), name_field));
  const std::vector<uint8_t> before(hb.begin() + ptrdiff_t(found), hb.begin() + ptrdiff_t(found + name_field));
  Status st = f->write_at(found, bytes.data(), bytes.size());
  if (st) st = f->sync();
  if (!st) {
    f->write_at(found, before.data(), before.size()).ignore();
    f->sync().ignore();
    return "FWrite Fehler: " + st.message();
  }
  return std::string();
}

}  // namespace mv
