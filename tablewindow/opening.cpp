#include "tablewindow/opening.h"

#include "platform/table/file_ops.h"

#include "tablewindow/orders.h"

namespace mv {
namespace {

FileSystem& fs_or_posix(FileSystem* fs) { return fs ? *fs : FileSystem::posix(); }

// Byte 0 of the table file; nothing when it cannot be read.
std::optional<uint8_t> version_byte(FileSystem& fs, const std::string& path) {
  auto f = fs.open(path, OpenMode::Read);
  if (!f) return std::nullopt;
  uint8_t b = 0;
  auto got = (*f)->read_at(0, &b, 1);
  if (!got || *got != 1) return std::nullopt;
  return b;
}

// The version byte as the companion test reads it (0x87 is the CDX driver with DBT memo).
QString driver_of_version_with_dbt(uint8_t v) {
  switch (v) {
    case 0x03: return QStringLiteral("DBFCDX");
    case 0x07: return QStringLiteral("DBFNTX");
    case 0x83: return QStringLiteral("DBFNTX");
    case 0x87: return QStringLiteral("_DBFCDX");
    case 0x8B: return QStringLiteral("DBFMDX");
    case 0xF5: return QStringLiteral("DBFCDX");
    default: return {};
  }
}

QString driver_of_version(uint8_t v) { return v == 0x87 ? QString() : driver_of_version_with_dbt(v); }

// The header's record count against the records the file holds.
bool count_disagrees(Table& t) {
  auto f = t.fs().open(t.path(), OpenMode::Read);
  if (!f) return false;
  auto size = (*f)->size();
  if (!size || t.record_length() == 0) return false;
  const uint64_t hl = t.header_length();
  const uint64_t in_file = *size > hl ? (*size - hl) / t.record_length() : 0;
  return in_file != t.header_info().record_count;
}

}  // namespace

std::optional<CodePage> code_page_of_mark(uint8_t mark) {
  switch (mark) {
    case 0x01:  // 437 US
    case 0x0F:  // 437 German
      return CodePage::Cp437;
    case 0x02:  // 850 international
    case 0x10:  // 850 German
    case 0x37:  // 850 English US
      return CodePage::Cp850;
    case 0x03:  // Windows ANSI
    case 0x57:  // the Windows ANSI page of the writer (1252 for Western tables)
    case 0x58:  // 1252 Western European
      return CodePage::Windows1252;
    default:
      return std::nullopt;
  }
}

QString DRIVERERKENNUNG(const QString& cDBF, FileSystem* fsp) {
  if (cDBF.size() < 4 || cDBF.right(4).toUpper() != QLatin1String(".DBF")) return {};
  FileSystem& fs = fs_or_posix(fsp);
  const std::string path = cDBF.toStdString();
  auto has = [&](const char* ext) { return find_companion(fs, path, ext).has_value(); };
  if (has(".mdx")) return QStringLiteral("DBFMDX");
  if (has(".cdx")) return has(".dbt") ? QStringLiteral("_DBFCDX") : QStringLiteral("DBFCDX");
  if (has(".ntx")) return QStringLiteral("DBFNTX");
  if (has(".fpt")) return QStringLiteral("DBFCDX");
  if (has(".dbt")) {
    auto v = version_byte(fs, path);
    return v ? driver_of_version_with_dbt(*v) : QString();
  }
  return {};
}

QString GETRDD(const QString& cDBF, FileSystem* fsp) {
  if (cDBF.isEmpty()) return {};
  auto v = version_byte(fs_or_posix(fsp), cDBF.toStdString());
  return v ? driver_of_version(*v) : QString();
}

QByteArray LESEHEADER(const QString& cDBF, FileSystem* fsp) {
  if (cDBF.isEmpty()) return {};
  auto f = fs_or_posix(fsp).open(cDBF.toStdString(), OpenMode::Read);
  if (!f) return {};
  QByteArray head(32, '\0');
  auto got = (*f)->read_at(0, head.data(), 32);
  if (!got || *got != 32) return {};
  return head;
}

std::array<QString, 4> FILLARRAYDRIVER(const QString& cDriver) {
  const QString cdx = QStringLiteral("DBFCDX"), ucdx = QStringLiteral("_DBFCDX"),
                mdx = QStringLiteral("DBFMDX"), ntx = QStringLiteral("DBFNTX");
  if (cDriver == cdx) return {cdx, ucdx, mdx, ntx};
  if (cDriver == ucdx) return {ucdx, cdx, mdx, ntx};
  if (cDriver == mdx) return {mdx, cdx, ucdx, ntx};
  if (cDriver == ntx) return {ntx, cdx, ucdx, mdx};
  return {cDriver, QString(), QString(), QString()};
}

QString first_driver(const QString& cDBF, const QString& default_driver, FileSystem* fs, const QString& made_with) {
  if (!made_with.isEmpty()) {
    // Tables without memo share one version byte, and a DBT alone names no driver.
    FileSystem& f = fs_or_posix(fs);
    const std::string p = cDBF.toStdString();
    bool named = false;
    for (const char* ext : {".mdx", ".cdx", ".ntx", ".fpt"}) named = named || find_companion(f, p, ext).has_value();
    const QString d = named ? DRIVERERKENNUNG(cDBF, fs) : QString();
    return d.isEmpty() ? made_with : d;
  }
  QString d = DRIVERERKENNUNG(cDBF, fs);
  if (d.isEmpty()) d = GETRDD(cDBF, fs);
  if (d.isEmpty()) d = default_driver;
  return d;
}

grid::GRIDBROWSER::RowMode row_mode_for(const QString& rdd, int index_ord, uint64_t keys) {
  uint64_t limit = 0;
  if (index_ord > 0) {
    if (rdd == QLatin1String("DBFNTX") && keys > 10000) limit = 10000;
    else if (rdd == QLatin1String("DBFCDX") && keys > 40000) limit = 40000;
  }
  return limit == 0 ? grid::GRIDBROWSER::RowMode::RELATIVE : grid::GRIDBROWSER::RowMode::ABSOLUTE;
}

OpenOutcome open_with_fallback(const QString& path, bool share, bool read_only, bool ansi,
                               const QString& default_driver, FileSystem* fs, const QString& made_with) {
  OpenOutcome out;
  // A replace of the table's files cut off by a killed writer is settled first: until then
  // the header and the companions that decide driver and code page may be the old ones,
  // the new ones or missing. A failure here is told by the opening itself.
  recover_interrupted_replace(fs ? *fs : FileSystem::posix(), path.toStdString()).ignore();
  const std::array<QString, 4> tries = FILLARRAYDRIVER(first_driver(path, default_driver, fs, made_with));
  OpenOptions o;
  o.shared = share;
  o.read_only = read_only;
  // A table that names its code page is read in it, however it was opened.
  const QByteArray head = LESEHEADER(path, fs);
  const std::optional<CodePage> marked = head.size() >= 32 ? code_page_of_mark(uint8_t(head[29])) : std::nullopt;
  o.code_page = marked ? *marked : code_page_for(ansi);
  o.fs = fs;
  for (const QString& driver : tries) {
    out.driver = driver;
    out.attempts << driver;
    o.driver = driver.toStdString();
    auto r = Table::open(path.toStdString(), o);
    if (r) {
      out.table = std::move(r).value();
      break;
    }
    out.error_text = QString::fromStdString(r.status().message());
    // A sharing conflict is told by the kind of the failure, never by an older error.
    if (r.status().kind() == StatusKind::Locked) {
      out.sharing = true;
      return out;
    }
  }
  if (!out.table) return out;
  out.error_text.clear();
  AttachedOrders a;
  auto reopen_read_only = [&]() {
    a.orders.reset();
    out.table->close().ignore();
    out.table.reset();
    o.read_only = true;
    auto r = Table::open(path.toStdString(), o);
    if (!r) {
      out.error_text = QString::fromStdString(r.status().message());
      out.sharing = r.status().kind() == StatusKind::Locked;
      return false;
    }
    out.table = std::move(r).value();
    return true;
  };
  // A count beyond the file's end would let the next append write over the partial
  // record; a count short of it would hide records. Until the header is repaired, read.
  if (!out.table->read_only() && count_disagrees(*out.table)) {
    out.count_disagrees = true;
    if (!reopen_read_only()) return out;
  }
  a = attach_orders(*out.table);
  if (!a.unmaintained_bag.empty() && !out.table->read_only()) {
    // Every write would leave the bag behind the table: read only, then.
    out.unmaintained_bag = QString::fromStdString(a.unmaintained_bag);
    out.unmaintained_reason = QString::fromStdString(a.reason);
    if (!reopen_read_only()) return out;
    a = attach_orders(*out.table);
  }
  out.orders = std::move(a.orders);
  for (const std::string& w : out.table->warnings()) out.warnings << QString::fromStdString(w);
  return out;
}

}  // namespace mv
