#pragma once
// Entry points of the three families, used by IndexBag's factories. Internal.
#include <memory>
#include <string>

#include "platform/base/text.h"
#include "platform/table/index/index_bag.h"

namespace mv::index {

Result<std::unique_ptr<IndexBag>> open_ntx(FileSystem& fs, const std::string& path, const BagOptions& opt);
Result<std::unique_ptr<IndexBag>> create_ntx_file(FileSystem& fs, const std::string& path, const OrderInfo& info,
                                                  const BagOptions& opt);
Result<std::unique_ptr<IndexBag>> open_cdx(FileSystem& fs, const std::string& path, const BagOptions& opt);
Result<std::unique_ptr<IndexBag>> create_cdx(FileSystem& fs, const std::string& path, const BagOptions& opt);
Result<std::unique_ptr<IndexBag>> open_mdx(FileSystem& fs, const std::string& path, const BagOptions& opt);
Result<std::unique_ptr<IndexBag>> create_mdx(FileSystem& fs, const std::string& path, const BagOptions& opt);

std::string trim_name(const uint8_t* p, size_t n);  // cut at NUL, trailing blanks removed

}  // namespace mv::index
