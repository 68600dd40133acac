// MDX: a bag of up to 47 tags. Pointers are 512-byte page numbers; every node and
// every tag header takes one block of two pages. A node holds n items of (pointer,
// key); interior nodes have n + 1 pointers, key i being the largest key of child i.
#include <algorithm>
#include <cstring>
#include <ctime>

#include "platform/base/bytes.h"
#include "platform/table/index/index_formats.h"
#include "platform/table/index/index_layout.h"
#include "platform/table/index/page_store.h"

namespace mv::index {

namespace {

using namespace mdx;

void put_date(uint8_t* p) {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  p[0] = uint8_t(tm.tm_year);
  p[1] = uint8_t(tm.tm_mon + 1);
  p[2] = uint8_t(tm.tm_mday);
}

bool is_field_name(const std::string& e) {
  if (e.empty() || !(std::isalpha(uint8_t(e[0])) || e[0] == '_')) return false;
  for (char c : e)
    if (!(std::isalnum(uint8_t(c)) || c == '_')) return false;
  return true;
}

}  // namespace

class MdxBag;
PagedFile& paged_file_of(MdxBag& bag);

class MdxOrder final : public PagedOrder {
 public:
  MdxOrder(OrderInfo info, MdxBag& bag, uint32_t header_page)
      : PagedOrder(std::move(info), TreeShape::BPlusLastUnkeyed, false, paged_file_of(bag), kBlockPages),
        bag_(bag),
        header_page_(header_page) {}

  uint32_t header_page() const { return header_page_; }
  uint32_t tag_pages_ = 2;
  uint16_t max_keys_ = 0;
  uint16_t item_len_ = 0;

  Status read_header();
  Status write_header() override;
  void set_shape_from_spec() {
    item_len_ = uint16_t((key_len() + 4 + 3) / 4 * 4);
    max_keys_ = uint16_t((kBlock - 8) / item_len_);
  }

  Result<Node*> new_node(bool leaf) override;
  Status free_node(uint32_t id) override;
  // The pointer after the last item must fit in the block too.
  size_t capacity() const { return std::min<size_t>(max_keys_, (kBlock - 12) / item_len_); }
  // An interior node's n + 1 pointers count against the maximum, as dBASE readers
  // expect (they never follow a pointer past the maximum).
  bool fits(const Node& n) const override { return n.n() <= (n.leaf ? capacity() : capacity() - 1); }
  size_t bulk_leaf_capacity() const override { return capacity(); }
  size_t bulk_interior_capacity() const override { return capacity() - 1; }
  Status write_bulk(std::vector<std::vector<Node>>& levels) override;

  // ---- the page plumbing's hooks ----
  Status read_page(uint32_t id, Node& n) override;
  std::pair<uint64_t, size_t> page_span(uint32_t id) const override { return {uint64_t(id) * kPage, kBlock}; }
  bool leaf_keys(uint32_t id, const uint8_t* p, LeafKeys& out) const override;
  Status write_page(const Node& n) override;
  Status write_pages(const std::vector<Node*>& sorted) override;
  Status reload() override;
  Status start_change() override;
  Status write_after_pages() override;

  void encode(const Node& n, uint8_t* p) const {
    const size_t cnt = n.n(), kl = key_len(), item = item_len_;
    std::memset(p, 0, kNodeItems);
    put_le32(p + kNodeCount, uint32_t(cnt));
    const uint8_t* keys = n.keys.data();
    const uint32_t* nums = n.leaf ? n.recnos.data() : n.kids.data();
    uint8_t* it = p + kNodeItems;
    const size_t pad = item - 4 - kl;  // bytes after the key, cleared
    for (size_t i = 0; i < cnt; ++i, it += item) {
      // Padding of up to four bytes (ours: at most three) lies within the item's last
      // four: those are cleared first and the key then written over them.
      if (pad <= 4) put_le32(it + item - 4, 0);
      else std::memset(it + 4 + kl, 0, pad);
      put_le32(it, nums[i]);
      copy_key(it + 4, keys + i * kl, kl);
    }
    // After the items only zeros, but for an interior node's last pointer.
    std::memset(it, 0, kBlock - size_t(it - p));
    if (!n.leaf && size_t(it - p) + 4 <= kBlock) put_le32(it, n.kids.back());
  }

  Status decode(uint32_t id, const uint8_t* p, Node& n) const;

 private:
  MdxBag& bag_;
  uint32_t header_page_;
};

class MdxBag final : public IndexBag {
 public:
  MdxBag(FileSystem& fs, const std::string& path, const BagOptions& opt)
      : IndexBag(fs, path, IndexFormat::Mdx, opt), pf(fs, path, kLockOffset, opt.shared, opt.read_only) {}
  ~MdxBag() override { flush().ignore(); }

  PagedFile pf;
  uint8_t header[2048] = {};
  uint32_t pages_in_file = 0;
  bool header_dirty = false;
  std::vector<uint32_t> spare_blocks;  // blocks freed in this session, reused before growing

  // A block that starts at `page` lies within the file (after the file header). Counted in
  // 64 bits: a page number near 2^32 plus the block must not wrap round to a small one.
  bool block_in_file(uint32_t page) const {
    return page >= kFirstTagPage && uint64_t(page) + kBlockPages <= pages_in_file;
  }

  Status read_file_header() {
    MV_RETURN_IF_ERROR(pf.read(0, header, sizeof header));
    if (header[kVersion] != 2 && header[kVersion] != 3)
      return Status::corrupt(path_ + ": keine MDX-Datei (Version " + std::to_string(header[kVersion]) + ")");
    if (header[kVersion] == 3) return Status::not_supported(path_ + ": MDX-Datei von dBASE 7 wird nicht unterstützt");
    if (get_le16(header + kBlockSizePages) != kBlockPages || get_le16(header + kBlockSizeBytes) != kBlock)
      return Status::not_supported(path_ + ": MDX-Blockgröße " + std::to_string(get_le16(header + kBlockSizeBytes)) +
                                   " wird nicht unterstützt");
    pages_in_file = get_le32(header + kPagesInFile);
    MV_ASSIGN_OR_RETURN(uint64_t size, pf.file().size());
    uint64_t file_pages = (size + kPage - 1) / kPage;
    if (pages_in_file < kFirstTagPage || pages_in_file > file_pages + kBlockPages)
      pages_in_file = uint32_t(std::max<uint64_t>(file_pages, kFirstTagPage));
    // A killed writer may have written tag headers and nodes before the count.
    if (opt_.salvage && file_pages > pages_in_file) pages_in_file = uint32_t(file_pages);
    return Status::ok();
  }

  // The format keeps no change counter. Ours lies in reserved bytes of the file header,
  // next to the tag count, the page count, the free-page fields and the date of the
  // last update, which make the stamp; it grows under the write lock before any page
  // changes (shared mode) and starts at 1 in the files we create.
  Status bump_change_counter() {
    uint8_t b[4];
    MV_RETURN_IF_ERROR(pf.read(kOurCounter, b, 4));
    uint32_t v = get_le32(b) + 1;
    if (v == 0) v = 1;
    put_le32(header + kOurCounter, v);
    return pf.file().write_at(kOurCounter, header + kOurCounter, 4);
  }

  Status open_existing() {
    MV_RETURN_IF_ERROR(pf.open(opt_.read_only ? OpenMode::Read : OpenMode::ReadWrite));
    pf.watch(kTagsInUse, kOurCounter + 4 - kTagsInUse, kOurCounter, 4);
    MV_RETURN_IF_ERROR(read_file_header());
    size_t tags = get_le16(header + kTagsInUse);
    if (tags > kMdxMaxTags) return Status::corrupt(path_ + ": unmögliche Zahl von Tags " + std::to_string(tags));
    for (size_t i = 0; i < tags; ++i) {
      const uint8_t* e = header + kTagTable + i * kTagEntry;
      uint32_t page = get_le32(e + kEntryPage);
      std::string name = trim_name(e + kEntryName, 11);
      if (!block_in_file(page))
        return Status::corrupt(path_ + ": Tag " + name + ": ungültiger Verweis auf den Tag-Kopf");
      OrderInfo info;
      info.name = name;
      info.bag_path = path_;
      info.keydef.format = IndexFormat::Mdx;
      auto o = std::make_unique<MdxOrder>(info, *this, page);
      MV_RETURN_IF_ERROR(o->read_header());
      orders_.push_back(std::move(o));
    }
    return Status::ok();
  }

  Status create_new() {
    MV_RETURN_IF_ERROR(pf.open(OpenMode::Create));
    std::memset(header, 0, sizeof header);
    header[kVersion] = 2;
    put_date(header + kCreated);
    std::string base = upper_ascii(opt_.table_name);
    std::memcpy(header + kTableName, base.data(), std::min<size_t>(base.size(), 15));
    put_le16(header + kBlockSizePages, kBlockPages);
    put_le16(header + kBlockSizeBytes, kBlock);
    header[kProduction] = opt_.production ? 1 : 0;
    header[kTagSlots] = kTagSlotCount;
    header[kTagEntryLength] = kTagEntry;
    header[kLanguage] = opt_.language_driver;
    pages_in_file = kFirstTagPage;
    header[kObserved] = 1;
    put_le32(header + kOurCounter, 1);
    header_dirty = true;
    MV_RETURN_IF_ERROR(write_file_header());
    pf.watch(kTagsInUse, kOurCounter + 4 - kTagsInUse, kOurCounter, 4);
    return Status::ok();
  }

  Status write_file_header() {
    put_le16(header + kTagsInUse, uint16_t(orders_.size()));
    put_le32(header + kPagesInFile, pages_in_file);
    put_le32(header + kFirstFreePage, 0);
    put_le32(header + kFreeBlocks, 0);
    put_date(header + kUpdated);
    // The tag table: entries in creation order, threaded as a search tree by name.
    std::memset(header + kTagTable, 0, 2048 - kTagTable);
    std::vector<uint8_t> left(orders_.size() + 1), right(orders_.size() + 1), parent(orders_.size() + 1);
    for (size_t i = 0; i < orders_.size(); ++i) {
      uint8_t* e = header + kTagTable + i * kTagEntry;
      MdxOrder* o = static_cast<MdxOrder*>(orders_[i].get());
      put_le32(e + kEntryPage, o->header_page());
      std::string name = upper_ascii(o->info().name);
      std::memcpy(e + kEntryName, name.data(), std::min<size_t>(name.size(), 10));
      e[kEntryFieldKey] = is_field_name(o->info().key_expr) ? 0x10 : 0x00;
      e[kEntryObserved] = 0x02;
      e[kEntryKeyType] = uint8_t(key_type_letter(o->keydef().type) == 'L' ? 'C' : key_type_letter(o->keydef().type));
      if (i > 0) {
        size_t at = 1;
        for (int guard = 0; guard < 64; ++guard) {
          bool less = name < upper_ascii(orders_[at - 1]->info().name);
          std::vector<uint8_t>& side = less ? left : right;
          if (side[at] == 0) {
            side[at] = uint8_t(i + 1);
            parent[i + 1] = uint8_t(at);
            break;
          }
          at = side[at];
        }
      }
    }
    for (size_t i = 0; i < orders_.size(); ++i) {
      uint8_t* e = header + kTagTable + i * kTagEntry;
      e[kEntryLeft] = left[i + 1];
      e[kEntryRight] = right[i + 1];
      e[kEntryParent] = parent[i + 1];
    }
    header[kObserved] = 1;
    header_dirty = false;
    return pf.file().write_at(0, header, sizeof header);
  }

  Result<uint32_t> allocate_block() {
    if (!spare_blocks.empty()) {
      uint32_t p = spare_blocks.back();
      spare_blocks.pop_back();
      return p;
    }
    if (uint64_t(pages_in_file) + kBlockPages > UINT32_MAX)
      return Status::invalid_argument(path_ + ": die Indexdatei kann nicht weiter wachsen");
    uint32_t p = pages_in_file;
    pages_in_file += kBlockPages;
    header_dirty = true;
    return p;
  }

  Status flush() override {
    if (pf.read_only() || pf.depth() > 0) return Status::ok();
    for (auto& o : orders_) MV_RETURN_IF_ERROR(static_cast<MdxOrder*>(o.get())->flush_pages());
    if (header_dirty) MV_RETURN_IF_ERROR(write_file_header());
    return Status::ok();
  }

  template <class F>
  Status with_bag_lock(F&& f) {
    return pf.bag_change([&] { return catch_up(); }, f, [&] { return flush(); });
  }
  Status catch_up() {
    MV_RETURN_IF_ERROR(read_file_header());
    return bump_change_counter();
  }

  Result<TreeOrder*> add_tag(const OrderInfo& in) override {
    if (opt_.read_only) return Status::read_only(path_ + ": Indexdatei ist schreibgeschützt geöffnet");
    OrderInfo info = in;
    info.name = upper_ascii(info.name);
    info.bag_path = path_;
    info.keydef.format = IndexFormat::Mdx;
    if (!info.for_expr.empty())
      return Status::not_supported(path_ + ": Tag " + info.name +
                                   ": eine FOR-Bedingung kann in einer MDX-Datei nicht gespeichert werden");
    if (info.keydef.type == KeyType::Logical)
      return Status::not_supported(path_ + ": Tag " + info.name + ": logische Schlüssel gibt es in MDX-Dateien nicht");
    if (find(info.name)) MV_RETURN_IF_ERROR(drop_tag(info.name));
    MV_RETURN_IF_ERROR(check_order_limits(IndexFormat::Mdx, info, orders_.size()));
    MdxOrder* raw = nullptr;
    Status st = with_bag_lock([&]() -> Status {
      MV_ASSIGN_OR_RETURN(uint32_t page, allocate_block());
      auto o = std::make_unique<MdxOrder>(info, *this, page);
      o->set_shape_from_spec();
      raw = o.get();
      orders_.push_back(std::move(o));
      header_dirty = true;
      MV_RETURN_IF_ERROR(raw->clear());
      return raw->write_header();
    });
    if (!st.is_ok()) return st;
    return static_cast<TreeOrder*>(raw);
  }

  Status drop_tag(const std::string& name) override {
    if (opt_.read_only) return Status::read_only(path_ + ": Indexdatei ist schreibgeschützt geöffnet");
    auto it = std::find_if(orders_.begin(), orders_.end(),
                           [&](auto& o) { return upper_ascii(o->info().name) == upper_ascii(name); });
    if (it == orders_.end()) return Status::not_found(path_ + ": Tag " + name + " nicht vorhanden");
    return with_bag_lock([&]() -> Status {
      MdxOrder* o = static_cast<MdxOrder*>(it->get());
      std::vector<uint32_t> pages;
      if (o->collect_pages(pages).is_ok())
        for (uint32_t p : pages) spare_blocks.push_back(p);
      spare_blocks.push_back(o->header_page());
      orders_.erase(it);
      header_dirty = true;
      return Status::ok();
    });
  }
};

PagedFile& paged_file_of(MdxBag& bag) { return bag.pf; }

// ---- MdxOrder -----------------------------------------------------------------------

Status MdxOrder::read_header() {
  uint8_t h[kBlock];
  MV_RETURN_IF_ERROR(bag_.pf.read(uint64_t(header_page_) * kPage, h, kBlock));
  const std::string where = bag_.pf.path() + ": Tag " + info_.name;
  root_ = get_le32(h + kTagRoot);
  tag_pages_ = get_le32(h + kTagPages);
  const uint8_t format = h[kTagFormat];
  const char type = char(h[kTagKeyType]);
  uint16_t kl = get_le16(h + kTagKeyLength);
  if (kl == 0 || kl > kMdxMaxKeyLength) return Status::corrupt(where + ": unmögliche Schlüssellänge " + std::to_string(kl));
  info_.keydef.length = kl;
  switch (type) {
    case 'C': info_.keydef.type = KeyType::Character; break;
    case 'N': case 'F': info_.keydef.type = KeyType::Numeric; break;
    case 'D': info_.keydef.type = KeyType::Date; break;
    default: return Status::corrupt(where + ": unbekannter Schlüsseltyp");
  }
  if (info_.keydef.type == KeyType::Numeric && kl != 12) return Status::corrupt(where + ": numerischer Schlüssel nicht 12 Bytes");
  if (info_.keydef.type == KeyType::Date && kl != 8) return Status::corrupt(where + ": Datumsschlüssel nicht 8 Bytes");
  max_keys_ = get_le16(h + kTagMaxKeys);
  item_len_ = get_le16(h + kTagItemLength);
  if (item_len_ < kl + 4 || max_keys_ < 2 || kNodeItems + size_t(max_keys_) * item_len_ > kBlock)
    return Status::corrupt(where + ": unmögliche Knotengröße");
  info_.unique = (format & kFormatUnique) || h[kTagUnique] == 1;
  info_.descending = format & kFormatDescending;
  info_.key_expr = trim_name(h + kTagKeyExpr, kTagKeyExprSize);
  info_.for_expr.clear();
  on_disk_ = true;
  if (h[kTagHasFor] != 0) set_read_only("Tag mit FOR-Bedingung: wird nur gelesen");
  if (!bag_.block_in_file(root_))
    return Status::corrupt(where + ": ungültiger Verweis auf die Wurzel");
  set_collation(collation());
  return Status::ok();
}

Status MdxOrder::write_header() {
  uint8_t h[kBlock] = {};
  put_le32(h + kTagRoot, root_);
  put_le32(h + kTagPages, tag_pages_);
  uint8_t format = 0;
  if (info_.keydef.type == KeyType::Character) format |= kFormatCharacter;
  if (info_.descending) format |= kFormatDescending;
  if (info_.unique) format |= kFormatUnique;
  h[kTagFormat] = format;
  h[kTagKeyType] = uint8_t(key_type_letter(info_.keydef.type));
  put_le16(h + kTagKeyLength, uint16_t(key_len()));
  put_le16(h + kTagMaxKeys, max_keys_);
  put_le16(h + kTagDateKey, info_.keydef.type == KeyType::Date ? 1 : 0);
  put_le16(h + kTagItemLength, item_len_);
  h[kTagReserved] = 2;
  h[kTagUnique] = info_.unique ? 1 : 0;
  std::memcpy(h + kTagKeyExpr, info_.key_expr.data(), std::min<size_t>(info_.key_expr.size(), kTagKeyExprSize - 1));
  h[kTagObserved] = 1;
  header_dirty_ = false;
  on_disk_ = true;
  return bag_.pf.file().write_at(uint64_t(header_page_) * kPage, h, kBlock);
}

Status MdxOrder::decode(uint32_t id, const uint8_t* p, Node& n) const {
  // Named only when a page turns out damaged: pages are decoded by the thousand.
  auto where = [&] { return bag_.pf.path() + ": Tag " + info_.name + ": Seite " + std::to_string(id); };
  uint32_t cnt = get_le32(p + kNodeCount);
  if (cnt > max_keys_) return Status::corrupt(where() + ": zu viele Schlüssel");
  const size_t kl = key_len();
  n.id = id;
  // Room for a full page and the key that splits it: neither an insert nor a batch that
  // lays the page out anew moves its arrays.
  const size_t room = size_t(max_keys_) + 1;
  n.keys.reserve(room * kl);
  n.recnos.reserve(room);
  const size_t last_at = kNodeItems + cnt * item_len_;
  uint32_t last = last_at + 4 <= kBlock ? get_le32(p + last_at) : 0;
  n.leaf = last == 0;
  // The keys and numbers are gathered here and copied into the page's arrays at once,
  // which spares clearing the arrays first.
  uint8_t keys[kBlock];
  uint32_t nums[kBlock / 4 + 1];
  const uint8_t* it = p + kNodeItems;
  for (size_t i = 0; i < cnt; ++i, it += item_len_) {
    nums[i] = get_le32(it);
    copy_key(keys + i * kl, it + 4, kl);
  }
  n.keys.assign(keys, keys + cnt * kl);
  if (n.leaf) {
    n.recnos.assign(nums, nums + cnt);
    n.kids.clear();
    return Status::ok();
  }
  n.recnos.assign(cnt, 0);
  nums[cnt] = last;
  n.kids.assign(nums, nums + cnt + 1);
  for (uint32_t k : n.kids)
    if (!bag_.block_in_file(k))
      return Status::corrupt(where() + ": ungültiger Seitenverweis");
  return Status::ok();
}

// The checks are those of read_page and decode.
bool MdxOrder::leaf_keys(uint32_t id, const uint8_t* p, LeafKeys& out) const {
  if (!bag_.block_in_file(id)) return false;
  const uint32_t cnt = get_le32(p + kNodeCount);
  if (cnt > max_keys_) return false;
  const size_t last_at = kNodeItems + cnt * item_len_;
  if (last_at + 4 <= kBlock && get_le32(p + last_at) != 0) return false;  // a child: an interior page
  out = {p + kNodeItems + 4, cnt, item_len_};
  return true;
}

Status MdxOrder::read_page(uint32_t id, Node& n) {
  if (!bag_.block_in_file(id))
    return Status::corrupt(bag_.pf.path() + ": Tag " + info_.name + ": Verweis auf Seite " + std::to_string(id) +
                           " außerhalb der Datei");
  // A block read ahead is decoded where it lies.
  if (const uint8_t* staged = bag_.pf.staged(uint64_t(id) * kPage, kBlock)) return decode(id, staged, n);
  uint8_t buf[kBlock];
  auto got = bag_.pf.read_some(uint64_t(id) * kPage, buf, kBlock);
  if (!got.is_ok()) return got.status();
  if (*got < kBlock) std::memset(buf + *got, 0, kBlock - *got);  // the last block may end early
  return decode(id, buf, n);
}

Status MdxOrder::write_page(const Node& n) {
  uint8_t buf[kBlock];
  encode(n, buf);
  return bag_.pf.file().write_at(uint64_t(n.id) * kPage, buf, kBlock);
}

Status MdxOrder::write_pages(const std::vector<Node*>& sorted) {
  std::vector<std::pair<uint32_t, const Node*>> pages;
  pages.reserve(sorted.size());
  for (Node* n : sorted) pages.push_back({n->id, n});
  return write_page_runs(bag_.pf.file(), pages, kBlock, kBlockPages, [](uint32_t id) { return uint64_t(id) * kPage; },
                         [this](const Node& n, uint8_t* p) {
                           encode(n, p);
                           return Status::ok();
                         });
}

Result<Node*> MdxOrder::new_node(bool leaf) {
  MV_ASSIGN_OR_RETURN(uint32_t id, bag_.allocate_block());
  tag_pages_ += kBlockPages;
  header_dirty_ = true;
  return cache_new(id, leaf);
}

Status MdxOrder::free_node(uint32_t id) {
  cache_.erase(id);
  bag_.spare_blocks.push_back(id);
  if (tag_pages_ > 2 * kBlockPages) tag_pages_ -= kBlockPages;
  header_dirty_ = true;
  return Status::ok();
}

// Reads keep the pages while the file header's stamp is unchanged.
Status MdxOrder::reload() {
  bag_.spare_blocks.clear();
  MV_RETURN_IF_ERROR(bag_.read_file_header());
  return read_header();
}

// Other programs count no changes: a change starts from the file as it is.
Status MdxOrder::start_change() {
  if (bag_.pf.shared() && on_disk_) return bag_.bump_change_counter();
  return Status::ok();
}

Status MdxOrder::write_after_pages() { return bag_.header_dirty ? bag_.write_file_header() : Status::ok(); }

Status MdxOrder::write_bulk(std::vector<std::vector<Node>>& levels) {
  std::vector<uint32_t> old;
  if (root_ != 0 && collect_pages(old).is_ok())
    for (uint32_t p : old) bag_.spare_blocks.push_back(p);
  cache_.clear();
  std::sort(bag_.spare_blocks.begin(), bag_.spare_blocks.end(), std::greater<>());
  std::vector<std::vector<uint32_t>> ids(levels.size());
  size_t total = 0;
  for (size_t l = 0; l < levels.size(); ++l)
    for (size_t i = 0; i < levels[l].size(); ++i) {
      MV_ASSIGN_OR_RETURN(uint32_t id, bag_.allocate_block());
      ids[l].push_back(id);
      ++total;
    }
  root_ = ids.back().back();
  tag_pages_ = uint32_t(kBlockPages * (total + 1));
  header_dirty_ = true;
  bag_.header_dirty = true;
  MV_RETURN_IF_ERROR(write_page_runs(
      bag_.pf.file(), number_levels(levels, ids, /*siblings=*/false), kBlock, kBlockPages,
      [](uint32_t id) { return uint64_t(id) * kPage; },
      [this](const Node& n, uint8_t* p) {
        encode(n, p);
        return Status::ok();
      }));
  if (!bag_.pf.shared()) {
    MV_RETURN_IF_ERROR(write_header());
    MV_RETURN_IF_ERROR(bag_.write_file_header());
  }
  return Status::ok();
}

// ---- entry points ---------------------------------------------------------------------

Result<std::unique_ptr<IndexBag>> open_mdx(FileSystem& fs, const std::string& path, const BagOptions& opt) {
  return start_bag<MdxBag>(fs, path, opt, [](MdxBag& b) { return b.open_existing(); });
}

Result<std::unique_ptr<IndexBag>> create_mdx(FileSystem& fs, const std::string& path, const BagOptions& opt) {
  return start_bag<MdxBag>(fs, path, opt, [](MdxBag& b) { return b.create_new(); });
}

}  // namespace mv::index
