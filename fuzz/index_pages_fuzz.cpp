// Fuzz target: an index file (NTX, CDX or MDX, chosen by the first byte) read with our
// page readers: every order walked both ways, counted, checked and searched; then the
// same file changed (insert, remove, bulk build), all in memory. Damaged pages must give
// a Status, never a crash or an endless loop.
#include <cstddef>
#include <cstdint>

#include "tests/support/mem_fs.h"
#include "platform/table/index/index_bag.h"

using namespace mv;
using namespace mv::index;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t ctl = data[0];
  const IndexFormat fmt = IndexFormat(ctl % 3);
  const char* path = fmt == IndexFormat::Ntx ? "t.ntx" : fmt == IndexFormat::Cdx ? "t.cdx" : "t.mdx";
  fuzzing::MemFileSystem fs;
  fs.put(path, fuzzing::Bytes(data + 1, data + size));
  BagOptions opt;
  opt.read_only = !(ctl & 0x08);
  opt.shared = ctl & 0x10;
  auto bag = IndexBag::open(fs, path, fmt, opt);
  if (!bag) return 0;
  for (size_t i = 0; i < (*bag)->size() && i < 8; ++i) {
    TreeOrder* o = (*bag)->order(i);
    if (fmt != IndexFormat::Mdx) o->set_key_type(KeyType((ctl >> 5) & 3));
    Cursor c;
    int steps = 0;
    for (Status st = o->first(c); st.is_ok() && c.valid() && steps < 3000; st = o->next(c), ++steps) {
      (void)o->key_at(c);
      (void)o->recno_at(c);
    }
    steps = 0;
    for (Status st = o->last(c); st.is_ok() && c.valid() && steps < 3000; st = o->prev(c), ++steps) {
    }
    (void)o->key_count();
    (void)o->check();
    const size_t kl = o->keydef().length;
    std::vector<uint8_t> key(kl, ' ');
    for (size_t k = 0; k < kl && 1 + k < size; ++k) key[k] = data[size - 1 - k];
    bool found = false;
    (void)o->seek(std::span<const uint8_t>(key.data(), std::min<size_t>(kl, size % (kl + 1))), c, found);
    if (!opt.read_only && !o->read_only()) {
      for (uint32_t r = 1; r <= 40; ++r) {
        key[r % kl] = uint8_t(r * 37);
        (void)o->insert(key, r);
      }
      (void)o->remove(key, 40);
      (void)o->check();
      if (ctl & 0x80) {
        std::vector<uint8_t> keys(kl * 50);
        std::vector<uint32_t> recs(50);
        for (size_t r = 0; r < 50; ++r) {
          recs[r] = uint32_t(r + 1);
          for (size_t k = 0; k < kl; ++k) keys[r * kl + k] = uint8_t(data[(r + k) % size]);
        }
        (void)o->build(std::move(keys), std::move(recs));
        (void)o->check();
      }
    }
  }
  (void)(*bag)->flush();
  return 0;
}
