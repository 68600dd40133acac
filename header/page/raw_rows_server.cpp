#include "header/page/raw_rows_server.h"

namespace mv {
namespace {

constexpr uint32_t kChunkRows = 64;

}  // namespace

RawRowsServer::RawRowsServer(FileSystem& fs, header::RawLayout layout, bool records, bool hex, CodePage cp,
                             QObject* parent)
    : grid::GRIDSERVER(parent), fs_(fs), layout_(std::move(layout)), records_(records), hex_(hex), cp_(cp) {}

int RawRowsServer::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(layout_.rows); }

QString RawRowsServer::field_name(int pos) const {
  if (records_) {
    switch (pos) {
      case 1: return QStringLiteral("RecNo");
      case 2: return QStringLiteral("DEL");
      default: return QStringLiteral("Datensatz");
    }
  }
  return pos == 1 ? QStringLiteral("Block") : QStringLiteral("Datensatz");
}

QString RawRowsServer::render(const uint8_t* bytes, size_t n) const {
  if (hex_) return QString::fromStdString(header::hex_form(std::span<const uint8_t>(bytes, n)));
  std::string text(reinterpret_cast<const char*>(bytes), n);
  // A NUL would end the text on the screen; it is shown as a blank.
  for (char& c : text)
    if (c == '\0') c = ' ';
  return QString::fromStdString(cp_to_utf8(cp_, text));
}

QVariant RawRowsServer::field_value(int row, int pos) const {
  if (row < 0 || uint32_t(row) >= layout_.rows) return {};
  if (pos == 1) return QVariant(qulonglong(row + 1));
  const uint32_t r = uint32_t(row);
  if (cache_rows_ == 0 || r < cache_first_ || r >= cache_first_ + cache_rows_) {
    const uint32_t first = r - r % kChunkRows;
    auto bytes = header::read_raw_rows(fs_, layout_, first, kChunkRows);
    cache_.clear();
    cache_rows_ = 0;
    if (!bytes) return {};
    cache_ = std::move(bytes).value();
    cache_first_ = first;
    cache_rows_ = cache_.size() / layout_.row_length;
    if (r >= cache_first_ + cache_rows_) return {};
  }
  const uint8_t* rec = cache_.data() + size_t(r - cache_first_) * layout_.row_length;
  if (records_) {
    if (pos == 2) return render(rec, 1);
    return render(rec + 1, layout_.row_length - 1);
  }
  return render(rec, layout_.row_length);
}

}  // namespace mv
