#include "platform/table/dbf_header.h"

#include "platform/base/text.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "platform/base/bytes.h"

namespace mv {

namespace {

std::string name_from(const uint8_t* p, size_t n) {
  size_t len = 0;
  while (len < n && p[len] != 0) ++len;
  return std::string(reinterpret_cast<const char*>(p), len);
}


}  // namespace

Result<HeaderInfo> parse_dbf_header(std::span<const uint8_t> b, const std::string& name) {
  using namespace dbf;
  if (b.size() < kHeaderSize)
    return Status::corrupt(name + ": Header unvollständig (" + std::to_string(b.size()) +
                           " von 32 Bytes)");
  HeaderInfo h;
  h.version = b[kOffVersion];
  h.year_byte = b[kOffYear];
  h.month = b[kOffMonth];
  h.day = b[kOffDay];
  h.record_count = get_le32(&b[kOffRecordCount]);
  h.header_length = get_le16(&b[kOffHeaderLength]);
  h.record_length = get_le16(&b[kOffRecordLength]);
  h.table_flags = b[kOffTableFlags];
  h.language = b[kOffLanguage];
  h.level7 = is_level7(h.version);

  const size_t first = h.level7 ? kLevel7HeaderSize : kHeaderSize;
  const size_t dsize = h.level7 ? kLevel7DescriptorSize : kDescriptorSize;
  if (h.header_length < first + 1)
    return Status::corrupt(name + ": Headerlänge " + std::to_string(h.header_length) +
                           " ist zu klein");
  if (b.size() < h.header_length)
    return Status::corrupt(name + ": Datei endet im Header (Headerlänge " +
                           std::to_string(h.header_length) + ", Dateigröße " + std::to_string(b.size()) +
                           ")");
  if (h.record_length < 2)
    return Status::corrupt(name + ": Satzlänge " + std::to_string(h.record_length) + " ist ungültig");
  if (h.level7) h.language_driver_name = name_from(&b[kLevel7LanguageName], 32);

  size_t off = first;
  for (; off + dsize <= h.header_length; off += dsize) {
    const uint8_t* d = &b[off];
    if (d[0] == kTerminator) break;
    FieldInfo f;
    if (h.level7) {
      f.name = name_from(d + kLevel7DescName, kLevel7DescNameSize);
      f.type = char(d[kLevel7DescType]);
      f.length = effective_length(f.type, d[kLevel7DescLength], 0);
      f.decimals = d[kLevel7DescDecimals];
    } else {
      f.name = name_from(d + kDescName, kDescNameSize);
      f.type = char(d[kDescType]);
      f.length = effective_length(f.type, d[kDescLength], d[kDescDecimals]);
      f.decimals = effective_decimals(f.type, d[kDescDecimals]);
      f.flags = d[kDescFlags];
    }
    h.fields.push_back(std::move(f));
  }
  h.has_terminator = off < h.header_length && b[off] == kTerminator;
  if (!h.has_terminator)
    h.warnings.push_back(name + ": Ende der Feldbeschreibungen (0x0D) fehlt");
  if (h.fields.empty()) return Status::corrupt(name + ": keine Feldbeschreibungen im Header");

  uint32_t pos = 1;
  int next_bit = 0;
  for (size_t i = 0; i < h.fields.size(); ++i) {
    FieldInfo& f = h.fields[i];
    f.offset = pos;
    pos += f.length;
    if (f.type == '0' && upper_ascii(f.name) == "_NULLFLAGS") {
      h.null_flags_field = int(i);
      continue;
    }
    if (is_vfp(h.version)) {
      if (f.type == 'V' || f.type == 'Q') f.varlen_bit = next_bit++;
      if (f.flags & kFieldNullable) f.null_bit = next_bit++;
    }
  }
  if (pos > h.record_length)
    return Status::corrupt(name + ": die Felder (" + std::to_string(pos) +
                           " Bytes mit Löschkennzeichen) passen nicht in die Satzlänge " +
                           std::to_string(h.record_length));
  if (pos < h.record_length)
    h.warnings.push_back(name + ": Satzlänge " + std::to_string(h.record_length) +
                         " ist größer als die Summe der Feldlängen " + std::to_string(pos));
  return h;
}

Date dbf_header_date(uint8_t year_byte, uint8_t month, uint8_t day, int epoch) {
  int year = year_byte;
  if (year >= 100) {
    year += 1900;
  } else {
    int century = epoch / 100 * 100;
    year += century;
    if (year < epoch) year += 100;
  }
  return Date::from_ymd(year, month, day);
}

uint8_t dbf_year_byte(uint8_t version, int year) {
  if (dbf::is_foxpro_family(version)) return uint8_t(((year % 100) + 100) % 100);
  int b = year - 1900;
  return uint8_t(std::clamp(b, 0, 255));
}

uint32_t layout_fields(std::vector<FieldInfo>& fields) {
  uint32_t pos = 1;
  for (auto& f : fields) {
    f.offset = pos;
    pos += f.length;
  }
  return pos > 65535 ? 0 : pos;
}

std::vector<uint8_t> build_dbf_header(const std::vector<FieldInfo>& fields, const CreateLayout& layout,
                                      uint32_t record_count) {
  using namespace dbf;
  size_t hl = kHeaderSize + kDescriptorSize * fields.size() + 1;
  if (layout.pad_after_terminator) hl += 1;
  if (layout.vfp_backlink) hl += kVfpBacklinkSize;
  std::vector<uint8_t> out(hl, 0);
  uint32_t rl = 1;
  for (const auto& f : fields) rl += f.length;
  out[kOffVersion] = layout.version;
  Date d = layout.date.empty() ? Date::today() : layout.date;
  out[kOffYear] = dbf_year_byte(layout.version, d.year());
  out[kOffMonth] = uint8_t(d.month());
  out[kOffDay] = uint8_t(d.day());
  put_le32(&out[kOffRecordCount], record_count);
  put_le16(&out[kOffHeaderLength], uint16_t(hl));
  put_le16(&out[kOffRecordLength], uint16_t(rl));
  out[kOffTableFlags] = layout.table_flags;
  out[kOffLanguage] = layout.language;
  size_t off = kHeaderSize;
  for (const auto& f : fields) {
    uint8_t* p = &out[off];
    std::copy_n(f.name.begin(), std::min(f.name.size(), kMaxFieldNameLength), p + kDescName);
    p[kDescType] = uint8_t(f.type);
    if (is_foxpro_family(layout.version)) put_le32(p + kDescReserved1, f.offset);
    if (f.type == 'C') {
      p[kDescLength] = uint8_t(f.length & 0xFF);
      p[kDescDecimals] = uint8_t(f.length >> 8);
    } else {
      p[kDescLength] = uint8_t(f.length);
      p[kDescDecimals] = f.decimals;
    }
    p[kDescFlags] = f.flags;
    off += kDescriptorSize;
  }
  out[off] = kTerminator;
  return out;
}

Status check_field_list(const std::vector<StructRow>& rows, bool allow_memo) {
  if (rows.empty()) return Status::invalid_argument("Die Tabelle hat keine Felder");
  std::set<std::string> seen;
  uint32_t total = 1;
  for (const auto& r : rows) {
    const std::string label = "Feld \"" + r.name + "\": ";
    if (r.name.empty() || r.name.size() > dbf::kMaxFieldNameLength)
      return Status::invalid_argument(label + "der Name muss 1 bis 10 Zeichen lang sein");
    if (!std::isalpha(static_cast<unsigned char>(r.name[0])))
      return Status::invalid_argument(label + "der Name muss mit einem Buchstaben beginnen");
    for (char c : r.name)
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_')
        return Status::invalid_argument(label + "der Name enthält ein ungültiges Zeichen");
    if (!seen.insert(upper_ascii(r.name)).second)
      return Status::invalid_argument(label + "der Name ist doppelt vorhanden");
    switch (r.type) {
      case 'C':
        if (r.length < 1 || r.length > dbf::kMaxCharLength)
          return Status::invalid_argument(label + "Länge 1 bis 65535 erwartet");
        break;
      case 'N':
      case 'F':
        if (r.length < 1 || r.length > 20)
          return Status::invalid_argument(label + "Länge 1 bis 20 erwartet");
        if (r.decimals > 0 && (r.decimals > 15 || uint32_t(r.decimals) + 2 > r.length))
          return Status::invalid_argument(label + "zu viele Dezimalstellen für die Länge");
        break;
      case 'D':
        if (r.length != 8) return Status::invalid_argument(label + "ein Datumsfeld hat die Länge 8");
        break;
      case 'L':
        if (r.length != 1) return Status::invalid_argument(label + "ein logisches Feld hat die Länge 1");
        break;
      case 'M':
        if (!allow_memo) return Status::not_supported(label + "Memofelder sind hier nicht möglich");
        if (r.length != 10) return Status::invalid_argument(label + "ein Memofeld hat die Länge 10");
        break;
      case 'O':
        if (!allow_memo) return Status::not_supported(label + "OLE-Felder sind hier nicht möglich");
        if (r.length != 10) return Status::invalid_argument(label + "ein OLE-Feld hat die Länge 10");
        break;
      default:
        return Status::not_supported(label + "Feldtyp \"" + std::string(1, r.type) +
                                     "\" kann nicht angelegt werden");
    }
    total += r.length;
  }
  if (total > 65535) return Status::invalid_argument("Die Satzlänge übersteigt 65535 Bytes");
  return Status::ok();
}

}  // namespace mv
