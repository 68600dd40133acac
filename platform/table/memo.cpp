#include "platform/table/memo.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/base/bytes.h"
#include "platform/table/memo_format.h"

namespace mv {

namespace {

namespace dbt = memo::dbt;
namespace fpt = memo::fpt;
using memo::kEof;
// A bound on free-chain walks, so a looping chain cannot hang us.
constexpr int kMaxChainSteps = 1 << 20;

uint64_t ceil_div(uint64_t a, uint64_t b) { return (a + b - 1) / b; }
// The longest dBASE III memo text read while looking for its terminator.
constexpr uint64_t kMaxDbt3Text = 16u << 20;

class MemoBase : public MemoFile {
 public:
  MemoBase(std::unique_ptr<File> f, bool writable) : file_(std::move(f)), writable_(writable) {}
  File& file() override { return *file_; }
  Status flush() override { return Status::ok(); }

 protected:
  Status init_size() {
    MV_ASSIGN_OR_RETURN(size_, file_->size());
    return Status::ok();
  }
  Status check_writable() const {
    if (!writable_) return Status::read_only(file_->path() + ": Memodatei ist schreibgeschützt geöffnet");
    return Status::ok();
  }
  Status bad_pointer(uint32_t block) const {
    return Status::corrupt(file_->path() + ": Memo-Block " + std::to_string(block) +
                           " liegt außerhalb der Datei (Größe " + std::to_string(size_) + ")");
  }
  // Whether `end` lies beyond the file. Another program may have added memos since the size
  // was last read: the size is read again before a pointer counts as damaged.
  bool beyond(uint64_t end) {
    if (end <= size_) return false;
    if (auto s = file_->size()) size_ = *s;
    return end > size_;
  }
  // The block where a new memo of `need` blocks goes: the end of the file. The header's
  // next-free word says the same in a sound file; one pointing beyond the end is damage
  // (writing there would make the file huge and sparse) and is corrected with the header.
  Result<uint32_t> block_at_end(uint32_t bs, uint32_t first, uint32_t need) {
    MV_ASSIGN_OR_RETURN(size_, file_->size());
    const uint64_t at = std::max<uint64_t>(ceil_div(size_, bs), first);
    if (at + need > 0xFFFFFFFFull)
      return Status::not_supported(file_->path() + ": die Memodatei hat ihre größte Blockzahl erreicht");
    return uint32_t(at);
  }
  Status put_bytes(uint64_t off, const void* p, size_t n) {
    MV_RETURN_IF_ERROR(file_->write_at(off, p, n));
    size_ = std::max<uint64_t>(size_, off + n);
    return Status::ok();
  }
  // Writes `data` framed by `pre` and `post` at block `block`, padded with zeros to whole
  // blocks when `pad` is set.
  Status write_run(uint32_t block, uint32_t bs, std::string_view pre, std::string_view data,
                   std::string_view post, uint32_t blocks, bool pad) {
    std::string buf;
    buf.reserve(pad ? size_t(blocks) * bs : pre.size() + data.size() + post.size());
    buf.append(pre).append(data).append(post);
    if (pad && buf.size() < size_t(blocks) * bs) buf.resize(size_t(blocks) * bs, '\0');
    return put_bytes(uint64_t(block) * bs, buf.data(), buf.size());
  }

  std::unique_ptr<File> file_;
  bool writable_;
  uint64_t size_ = 0;
};

// ---------------------------------------------------------------- DBT, dBASE III
class Dbt3 : public MemoBase {
 public:
  using MemoBase::MemoBase;
  MemoKind kind() const override { return MemoKind::Dbt3; }
  uint32_t block_size() const override { return dbt::kBlock; }
  uint32_t first_data_block() const override { return 1; }

  Status init() { return init_size(); }

  Result<std::string> read(uint32_t block) override {
    if (block == 0) return std::string();
    uint64_t off = uint64_t(block) * dbt::kBlock;
    if (beyond(off + 1)) return bad_pointer(block);
    // A text ends at its 0x1A; at the latest where new memos begin (the header's next free
    // block, when that lies in the file) and within a generous length. Without a terminator
    // by then the pointer or the file is damaged.
    uint64_t limit = size_;
    uint8_t hdr[4];
    if (file_->read_exact(0, hdr, 4).is_ok()) {
      const uint64_t next_free = uint64_t(get_le32(hdr)) * dbt::kBlock;
      if (next_free > off && next_free < limit) limit = next_free;
    }
    limit = std::min<uint64_t>(limit, off + kMaxDbt3Text);
    std::string out;
    std::vector<char> buf(8192);
    while (off < limit) {
      size_t want = size_t(std::min<uint64_t>(buf.size(), limit - off));
      MV_ASSIGN_OR_RETURN(size_t n, file_->read_at(off, buf.data(), want));
      if (n == 0) break;
      const char* end = static_cast<const char*>(memchr(buf.data(), kEof, n));
      if (end) {
        out.append(buf.data(), size_t(end - buf.data()));
        return out;
      }
      out.append(buf.data(), n);
      off += n;
    }
    return Status::corrupt(file_->path() + ": Memo-Block " + std::to_string(block) +
                           " hat kein Endezeichen (0x1A); der Verweis oder die Datei ist beschädigt");
  }

  Result<uint32_t> write(std::string_view data, uint32_t old_block) override {
    MV_RETURN_IF_ERROR(check_writable());
    if (data.empty()) return uint32_t(0);
    if (data.find(char(kEof)) != std::string_view::npos)
      return Status::invalid_argument(file_->path() +
                                      ": ein Memotext dieser Datei kann das Zeichen 0x1A nicht enthalten");
    uint32_t need = uint32_t(ceil_div(data.size() + 1, dbt::kBlock));
    if (old_block >= 1 && uint64_t(old_block) * dbt::kBlock < size_) {
      auto old = read(old_block);
      if (old && ceil_div(old->size() + 1, dbt::kBlock) >= need) {
        std::string post(1, char(kEof));
        if ((data.size() + 2) <= size_t(need) * dbt::kBlock) post.push_back(char(kEof));
        MV_RETURN_IF_ERROR(write_run(old_block, dbt::kBlock, {}, data, post, need, false));
        return old_block;
      }
    }
    uint8_t hdr[4];
    MV_ASSIGN_OR_RETURN(uint32_t next, block_at_end(dbt::kBlock, 1, need));
    std::string post(2, char(kEof));
    MV_RETURN_IF_ERROR(write_run(next, dbt::kBlock, {}, data, post, need, true));
    put_le32(hdr, next + need);
    MV_RETURN_IF_ERROR(put_bytes(0, hdr, 4));
    return next;
  }
};

// ---------------------------------------------------------------- DBT, dBASE IV
class Dbt4 : public MemoBase {
 public:
  using MemoBase::MemoBase;
  MemoKind kind() const override { return MemoKind::Dbt4; }
  uint32_t block_size() const override { return bs_; }
  uint32_t first_data_block() const override { return uint32_t(ceil_div(memo::kHeaderSize, bs_)); }

  Status init() {
    MV_RETURN_IF_ERROR(init_size());
    uint8_t h[22];
    MV_RETURN_IF_ERROR(file_->read_exact(0, h, sizeof h));
    bs_ = get_le16(h + dbt::kBlockSize);
    if (bs_ == 0) bs_ = dbt::kBlock;  // dBASE III style header: 512
    if (bs_ < 64) return Status::corrupt(file_->path() + ": ungültige Blockgröße " + std::to_string(bs_));
    return Status::ok();
  }

  Result<std::string> read(uint32_t block) override {
    if (block == 0) return std::string();
    uint64_t off = uint64_t(block) * bs_;
    if (block < first_data_block() || beyond(off + 8)) return bad_pointer(block);
    uint8_t h[8];
    MV_RETURN_IF_ERROR(file_->read_exact(off, h, 8));
    if (memcmp(h, dbt::kUsedSignature, 4) != 0)
      return Status::corrupt(file_->path() + ": Memo-Block " + std::to_string(block) +
                             " ist beschädigt (Kennung fehlt)");
    uint32_t len = get_le32(h + dbt::kBlockLength);
    if (len < 8 || off + len > size_)
      return Status::corrupt(file_->path() + ": Memo-Block " + std::to_string(block) +
                             " hat eine ungültige Länge " + std::to_string(len));
    std::string out(len - 8, '\0');
    MV_RETURN_IF_ERROR(file_->read_exact(off + 8, out.data(), out.size()));
    return out;
  }

  Result<uint32_t> write(std::string_view data, uint32_t old_block) override {
    MV_RETURN_IF_ERROR(check_writable());
    uint32_t old_blocks = used_blocks(old_block);
    if (data.empty()) {
      if (old_blocks) MV_RETURN_IF_ERROR(release(old_block, old_blocks));
      return uint32_t(0);
    }
    if (data.size() > 0xFFFFFFF0u) return Status::invalid_argument(file_->path() + ": Memotext zu lang");
    uint32_t need = uint32_t(ceil_div(data.size() + 8, bs_));
    uint8_t pre[8];
    memcpy(pre, dbt::kUsedSignature, 4);
    put_le32(pre + dbt::kBlockLength, uint32_t(data.size() + 8));
    std::string_view prefix(reinterpret_cast<const char*>(pre), 8);
    if (old_blocks >= need) {
      MV_RETURN_IF_ERROR(write_run(old_block, bs_, prefix, data, {}, need, false));
      // The blocks the shorter text no longer needs go to the free chain.
      if (old_blocks > need) MV_RETURN_IF_ERROR(release(old_block + need, old_blocks - need));
      return old_block;
    }
    MV_ASSIGN_OR_RETURN(uint32_t block, allocate(need, prefix, data));
    if (old_blocks) MV_RETURN_IF_ERROR(release(old_block, old_blocks));
    return block;
  }

 private:
  // Blocks taken by the memo at `block`, 0 when it is no valid memo.
  uint32_t used_blocks(uint32_t block) {
    if (block < first_data_block()) return 0;
    uint64_t off = uint64_t(block) * bs_;
    if (off + 8 > size_) return 0;
    uint8_t h[8];
    if (!file_->read_exact(off, h, 8).is_ok() || memcmp(h, dbt::kUsedSignature, 4) != 0) return 0;
    uint32_t len = get_le32(h + dbt::kBlockLength);
    if (len < 8 || off + len > size_) return 0;
    return uint32_t(ceil_div(len, bs_));
  }

  uint32_t file_blocks() const { return uint32_t(ceil_div(size_, bs_)); }

  // Finds room for `need` blocks: the first free run that is large enough, else the end
  // of the file; writes the memo there, then updates the chain.
  Result<uint32_t> allocate(uint32_t need, std::string_view prefix, std::string_view data) {
    MV_ASSIGN_OR_RETURN(uint32_t end_block, block_at_end(bs_, first_data_block(), need));
    uint64_t link_off = 0;  // where the pointer to `cur` is stored
    uint8_t h[4];
    MV_RETURN_IF_ERROR(file_->read_exact(0, h, 4));
    uint32_t cur = get_le32(h);
    bool chain_ok = true;
    const uint32_t blocks = file_blocks();
    for (int steps = 0; cur >= first_data_block() && cur < blocks; ++steps) {
      if (steps > kMaxChainSteps) { chain_ok = false; break; }
      uint8_t run[8];
      if (!file_->read_exact(uint64_t(cur) * bs_, run, 8).is_ok() || memcmp(run, dbt::kUsedSignature, 4) == 0) {
        chain_ok = false;
        break;
      }
      uint32_t next = get_le32(run + dbt::kFreeNext), count = get_le32(run + dbt::kFreeBlocks);
      if (count == 0 || uint64_t(cur) + count > blocks) { chain_ok = false; break; }
      if (count >= need) {
        MV_RETURN_IF_ERROR(write_run(cur, bs_, prefix, data, {}, need, true));
        uint8_t ptr[4];
        if (count == need) {
          put_le32(ptr, next);
        } else {
          uint8_t rest[8];
          put_le32(rest, next);
          put_le32(rest + dbt::kFreeBlocks, count - need);
          MV_RETURN_IF_ERROR(put_bytes(uint64_t(cur + need) * bs_, rest, 8));
          put_le32(ptr, cur + need);
        }
        MV_RETURN_IF_ERROR(put_bytes(link_off, ptr, 4));
        return cur;
      }
      link_off = uint64_t(cur) * bs_;
      cur = next;
    }
    // A chain that points beyond the end is damaged: the new memo goes to the end, and the
    // pointer is set to the block after it.
    const uint32_t at = end_block;
    MV_RETURN_IF_ERROR(write_run(at, bs_, prefix, data, {}, need, true));
    uint8_t ptr[4];
    put_le32(ptr, at + need);
    if (chain_ok)
      MV_RETURN_IF_ERROR(put_bytes(link_off, ptr, 4));
    else if (get_le32(h) >= blocks)
      MV_RETURN_IF_ERROR(put_bytes(0, ptr, 4));
    return at;
  }

  // Puts a run at the head of the free chain.
  Status release(uint32_t block, uint32_t count) {
    uint8_t h[4];
    MV_RETURN_IF_ERROR(file_->read_exact(0, h, 4));
    uint8_t run[8];
    memcpy(run, h, 4);
    put_le32(run + dbt::kFreeBlocks, count);
    MV_RETURN_IF_ERROR(put_bytes(uint64_t(block) * bs_, run, 8));
    put_le32(h, block);
    return put_bytes(0, h, 4);
  }

  uint32_t bs_ = dbt::kBlock;
};

// ---------------------------------------------------------------- FPT
class Fpt : public MemoBase {
 public:
  using MemoBase::MemoBase;
  MemoKind kind() const override { return MemoKind::Fpt; }
  uint32_t block_size() const override { return bs_; }
  uint32_t first_data_block() const override { return uint32_t(ceil_div(memo::kHeaderSize, bs_)); }

  Status init() {
    MV_RETURN_IF_ERROR(init_size());
    uint8_t h[8];
    MV_RETURN_IF_ERROR(file_->read_exact(0, h, sizeof h));
    bs_ = get_be16(h + fpt::kBlockSize);
    if (bs_ == 0) bs_ = 1;  // block size 0 means 1-byte blocks
    return Status::ok();
  }

  Result<std::string> read(uint32_t block) override {
    if (block == 0) return std::string();
    uint64_t off = uint64_t(block) * bs_;
    if (block < first_data_block() || beyond(off + 8)) return bad_pointer(block);
    uint8_t h[8];
    MV_RETURN_IF_ERROR(file_->read_exact(off, h, 8));
    uint32_t len = get_be32(h + fpt::kBlockLength);
    if (off + 8 + uint64_t(len) > size_)
      return Status::corrupt(file_->path() + ": Memo-Block " + std::to_string(block) +
                             " hat eine Länge " + std::to_string(len) + " über das Dateiende hinaus");
    std::string out(len, '\0');
    MV_RETURN_IF_ERROR(file_->read_exact(off + 8, out.data(), out.size()));
    return out;
  }

  Result<uint32_t> write(std::string_view data, uint32_t old_block) override {
    MV_RETURN_IF_ERROR(check_writable());
    if (data.empty()) return uint32_t(0);
    if (data.size() > 0xFFFFFFF0u) return Status::invalid_argument(file_->path() + ": Memotext zu lang");
    uint32_t need = uint32_t(ceil_div(data.size() + 8, bs_));
    uint8_t pre[8];
    put_be32(pre, 1);
    put_be32(pre + 4, uint32_t(data.size()));
    std::string_view prefix(reinterpret_cast<const char*>(pre), 8);
    if (old_block >= first_data_block()) {
      uint64_t off = uint64_t(old_block) * bs_;
      uint8_t h[8];
      if (off + 8 <= size_ && file_->read_exact(off, h, 8).is_ok()) {
        uint64_t old_len = get_be32(h + fpt::kBlockLength);
        if (off + 8 + old_len <= size_ && ceil_div(old_len + 8, bs_) >= need) {
          MV_RETURN_IF_ERROR(write_run(old_block, bs_, prefix, data, {}, need, false));
          return old_block;
        }
      }
    }
    uint8_t hdr[4];
    MV_ASSIGN_OR_RETURN(uint32_t next, block_at_end(bs_, first_data_block(), need));
    MV_RETURN_IF_ERROR(write_run(next, bs_, prefix, data, {}, need, true));
    put_be32(hdr, next + need);
    MV_RETURN_IF_ERROR(put_bytes(0, hdr, 4));
    return next;
  }

 private:
  uint32_t bs_ = fpt::kDefaultBlock;
};

}  // namespace

const char* memo_kind_name(MemoKind kind) {
  switch (kind) {
    case MemoKind::Dbt3: return "DBT (dBASE III)";
    case MemoKind::Dbt4: return "DBT (dBASE IV)";
    case MemoKind::Fpt: return "FPT";
  }
  return "";
}

const char* memo_extension(MemoKind kind) { return kind == MemoKind::Fpt ? ".FPT" : ".DBT"; }

Result<std::unique_ptr<MemoFile>> MemoFile::open(FileSystem& fs, const std::string& path, MemoKind kind,
                                                 bool writable) {
  MV_ASSIGN_OR_RETURN(auto f, fs.open(path, writable ? OpenMode::ReadWrite : OpenMode::Read));
  MV_ASSIGN_OR_RETURN(uint64_t size, f->size());
  if (size < memo::kHeaderSize && kind != MemoKind::Dbt3)
    return Status::corrupt(path + ": Memodatei kürzer als ihr Header (" + std::to_string(size) + " Bytes)");
  if (size < 4) return Status::corrupt(path + ": Memodatei ohne Header");
  switch (kind) {
    case MemoKind::Dbt3: {
      auto m = std::make_unique<Dbt3>(std::move(f), writable);
      MV_RETURN_IF_ERROR(m->init());
      return std::unique_ptr<MemoFile>(std::move(m));
    }
    case MemoKind::Dbt4: {
      auto m = std::make_unique<Dbt4>(std::move(f), writable);
      MV_RETURN_IF_ERROR(m->init());
      return std::unique_ptr<MemoFile>(std::move(m));
    }
    case MemoKind::Fpt: {
      auto m = std::make_unique<Fpt>(std::move(f), writable);
      MV_RETURN_IF_ERROR(m->init());
      return std::unique_ptr<MemoFile>(std::move(m));
    }
  }
  return Status::not_supported(path + ": unbekannte Memo-Art");
}

std::string MemoFile::empty_file(MemoKind kind, uint32_t block_size) {
  std::string h(memo::kHeaderSize, '\0');
  auto* p = reinterpret_cast<uint8_t*>(h.data());
  switch (kind) {
    case MemoKind::Dbt3:
      put_le32(p + dbt::kNextFree, 1);
      put_le32(p + dbt::kBlockSizeCopy, dbt::kBlock);
      break;
    case MemoKind::Dbt4: {
      uint32_t bs = block_size ? block_size : dbt::kBlock;
      put_le32(p + dbt::kNextFree, uint32_t(ceil_div(memo::kHeaderSize, bs)));
      put_le16(p + dbt::kBlockSize, uint16_t(bs));
      if (bs > memo::kHeaderSize) h.resize(bs, '\0');
      break;
    }
    case MemoKind::Fpt: {
      uint32_t bs = block_size ? block_size : fpt::kDefaultBlock;
      put_be32(p + fpt::kNextFree, uint32_t(ceil_div(memo::kHeaderSize, bs)));
      put_be16(p + fpt::kBlockSize, uint16_t(bs));
      break;
    }
  }
  return h;
}

Status MemoFile::create(FileSystem& fs, const std::string& path, MemoKind kind, uint32_t block_size) {
  std::string bytes = empty_file(kind, block_size);
  MV_ASSIGN_OR_RETURN(auto f, fs.open(path, OpenMode::Create));
  return f->write_at(0, bytes.data(), bytes.size());
}

}  // namespace mv
