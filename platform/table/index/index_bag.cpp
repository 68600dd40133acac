#include "platform/table/index/index_bag.h"

#include <algorithm>
#include <cctype>

#include "platform/table/index/index_formats.h"

namespace mv::index {

std::string trim_name(const uint8_t* p, size_t n) {
  size_t len = 0;
  while (len < n && p[len]) ++len;
  while (len > 0 && p[len - 1] == ' ') --len;
  return std::string(reinterpret_cast<const char*>(p), len);
}

Result<std::unique_ptr<IndexBag>> IndexBag::open(FileSystem& fs, const std::string& path, IndexFormat format,
                                                 const BagOptions& opt) {
  switch (format) {
    case IndexFormat::Ntx: return open_ntx(fs, path, opt);
    case IndexFormat::Cdx: return open_cdx(fs, path, opt);
    case IndexFormat::Mdx: return open_mdx(fs, path, opt);
  }
  return Status::invalid_argument("unbekanntes Indexformat");
}

Result<std::unique_ptr<IndexBag>> IndexBag::create_bag(FileSystem& fs, const std::string& path, IndexFormat format,
                                                       const BagOptions& opt) {
  if (opt.read_only) return Status::read_only(path + ": schreibgeschützt");
  switch (format) {
    case IndexFormat::Cdx: return create_cdx(fs, path, opt);
    case IndexFormat::Mdx: return create_mdx(fs, path, opt);
    case IndexFormat::Ntx: break;
  }
  return Status::invalid_argument(path + ": eine NTX-Datei enthält genau einen Index");
}

Result<std::unique_ptr<IndexBag>> IndexBag::create_ntx(FileSystem& fs, const std::string& path,
                                                       const OrderInfo& info, const BagOptions& opt) {
  if (opt.read_only) return Status::read_only(path + ": schreibgeschützt");
  return create_ntx_file(fs, path, info, opt);
}

TreeOrder* IndexBag::find(const std::string& name) {
  const std::string want = upper_ascii(name);
  for (auto& o : orders_)
    if (upper_ascii(o->info().name) == want) return o.get();
  return nullptr;
}

Result<TreeOrder*> IndexBag::add_tag(const OrderInfo&) {
  return Status::not_supported(path_ + ": eine NTX-Datei enthält genau einen Index");
}

Status IndexBag::drop_tag(const std::string&) {
  return Status::not_supported(path_ + ": eine NTX-Datei enthält genau einen Index");
}

Status check_order_limits(IndexFormat f, const OrderInfo& info, size_t existing_tags) {
  const size_t kl = info.keydef.length;
  const char* fmt = format_name(f);
  auto too = [&](const std::string& what) {
    return Status::invalid_argument(std::string(fmt) + ": " + what);
  };
  if (kl == 0) return too("Schlüssellänge 0");
  size_t max_key = f == IndexFormat::Ntx ? kNtxMaxKeyLength : f == IndexFormat::Cdx ? kCdxMaxKeyLength : kMdxMaxKeyLength;
  if (kl > max_key)
    return too("Schlüssel ist " + std::to_string(kl) + " Bytes lang, erlaubt sind höchstens " + std::to_string(max_key));
  if (info.key_expr.empty()) return too("Indexausdruck fehlt");
  if (info.key_expr.size() > kMaxExpressionLength || info.for_expr.size() > kMaxExpressionLength)
    return too("Ausdruck ist länger als " + std::to_string(kMaxExpressionLength) + " Zeichen");
  if (f != IndexFormat::Ntx) {
    size_t max_name = f == IndexFormat::Cdx ? kCdxMaxTagName : kMdxMaxTagName;
    if (info.name.empty()) return too("Name des Tags fehlt");
    if (info.name.size() > max_name)
      return too("Name des Tags " + info.name + " ist länger als " + std::to_string(max_name) + " Zeichen");
    for (char c : info.name)
      if (!(std::isalnum(uint8_t(c)) || c == '_')) return too("Name des Tags " + info.name + " enthält unerlaubte Zeichen");
  }
  if (f == IndexFormat::Mdx && existing_tags >= kMdxMaxTags)
    return too("höchstens " + std::to_string(kMdxMaxTags) + " Tags in einer MDX-Datei");
  return Status::ok();
}

}  // namespace mv::index
