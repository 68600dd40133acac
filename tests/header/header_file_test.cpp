// The header test, the descriptor test and the byte-wise repairs on table files damaged
// by the test, through the real and a failing file system.
#include <gtest/gtest.h>

#include <fstream>

#include "header/header_file.h"
#include "platform/runtime/value.h"
#include "platform/table/table.h"
#include "platform/table/transfer.h"
#include "tests/support/faulty_fs.h"
#include "tests/support/fixtures.h"

namespace mv::header {
namespace {

std::string get(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
void put(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
void patch(const std::string& path, size_t offset, std::initializer_list<uint8_t> bytes) {
  std::string s = get(path);
  for (uint8_t b : bytes) s[offset++] = char(b);
  put(path, s);
}

// NAME C(10), NR N(5): record length 16, header length 97, three records, 146 bytes.
std::string make_table(const testing::TempDir& dir) {
  const std::string path = dir.file("T.DBF");
  EXPECT_TRUE(db_create(path, {{"NAME", 'C', 10, 0}, {"NR", 'N', 5, 0}}, "DBFCDX"));
  OpenOptions o;
  o.shared = false;
  o.driver = "DBFCDX";
  auto t = Table::open(path, o);
  EXPECT_TRUE(t);
  for (int i = 1; i <= 3; ++i) {
    EXPECT_TRUE((*t)->append_blank());
    EXPECT_TRUE((*t)->field_put(1, Value::character("Anna")));
  }
  EXPECT_TRUE((*t)->close());
  return path;
}

std::vector<DescriptorRow> rows_of(const std::string& path) {
  std::vector<DescriptorRow> rows;
  const auto found = read_descriptor_slots(FileSystem::posix(), path);
  for (size_t i = 0; i < found.size(); ++i) rows.push_back(descriptor_row(i + 1, found[i]));
  return rows;
}

const std::string kNone = "Es wurden keine Fehler gefunden!";
const std::string kCount = "Die Anzahl der Datensätze oder die Anfangsposition stimmt nicht\r\n";

TEST(HeaderTests, DamagedTablesGiveTheirFindings) {
  struct Case {
    const char* what;
    std::function<void(const std::string&)> damage;
    std::string header_text;
    std::string structure_text;
    size_t descriptors;
  };
  const Date today = Date::today();
  const Case cases[] = {
      {"intact", [](const std::string&) {}, kNone, kNone, 2},
      {"count larger than the file", [](const std::string& p) { patch(p, 4, {5}); }, kCount, kNone, 2},
      {"count smaller than the file", [](const std::string& p) { patch(p, 4, {1}); }, kCount, kNone, 2},
      {"no terminator", [](const std::string& p) { patch(p, 96, {' '}); }, kNone, kNone, 2},
      {"header length 32", [](const std::string& p) { patch(p, 8, {32, 0}); },
       "Die Anfangsposition ist zu klein\r\n" + kCount +
           "keine Übereinstimmung bei der Satzlänge der Strukturdaten 1 <> 16\r\n",
       "keine Übereinstimmung bei der Satzlänge der Strukturdaten 1 <> 16\r\n", 0},
      {"header length past the file", [](const std::string& p) { patch(p, 8, {200, 0}); },
       "Die Anfangsposition ist zu groß\r\n", kNone, 2},
      {"header length one too large", [](const std::string& p) { patch(p, 8, {98, 0}); },
       "Unzulässiges Zeichen an der Pos. 98 der Daten", kNone, 2},
      {"record length 0", [](const std::string& p) { patch(p, 10, {0, 0}); },
       "Die Satzlänge ist zu klein\r\nkeine Übereinstimmung bei der Satzlänge der Strukturdaten 16 <> 0\r\n",
       "keine Übereinstimmung bei der Satzlänge der Strukturdaten 16 <> 0\r\n", 2},
      {"year byte above 99",
       [today](const std::string& p) {
         patch(p, 1, {uint8_t(today.year() - 1900), uint8_t(today.month()), uint8_t(today.day())});
       },
       kNone, kNone, 2},
      {"impossible date", [](const std::string& p) { patch(p, 2, {13}); }, "ungültiges Datum\r\n", kNone, 2},
      {"deleted record and a bad flag",
       [](const std::string& p) { patch(p, 97, {'*'}), patch(p, 113, {'A'}); },
       "Unzulässiges Zeichen an der Pos. 113 der Daten", kNone, 2},
  };
  for (const Case& c : cases) {
    testing::TempDir dir;
    const std::string path = make_table(dir);
    ASSERT_EQ(get(path).size(), 146u);
    c.damage(path);
    const auto rows = rows_of(path);
    EXPECT_EQ(rows.size(), c.descriptors) << c.what;
    const TestOutcome h = test_header(FileSystem::posix(), path, rows, std::nullopt, 1920);
    EXPECT_FALSE(h.open_failed) << c.what;
    EXPECT_EQ(h.text, c.header_text) << c.what;
    EXPECT_EQ(test_structure(FileSystem::posix(), path, rows).text, c.structure_text) << c.what;
  }
}

TEST(HeaderTests, TheBacklinkAreaAfterTheTerminatorHoldsNoDescriptors) {
  testing::TempDir dir;
  const std::string path = make_table(dir);
  std::string s = get(path);
  // 263 bytes of backlink between the terminator and the first record.
  s.insert(97, std::string(263, '\0'));
  const uint16_t hl = 97 + 263;
  s[8] = char(hl & 0xFF), s[9] = char(hl >> 8);
  put(path, s);
  const auto rows = rows_of(path);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].name, "NR");
  EXPECT_EQ(test_header(FileSystem::posix(), path, rows, std::nullopt, 1920).text, kNone);
}

TEST(HeaderTests, TruncatedOrMissingFilesAndTheOpenTable) {
  testing::TempDir dir;
  const std::string path = make_table(dir);
  const auto rows = rows_of(path);
  // Found without regard to case.
  EXPECT_EQ(test_header(FileSystem::posix(), dir.file("t.dbf"), rows, std::nullopt, 1920).text, kNone);
  // What the open table says against the header.
  const TestOutcome facts = test_header(FileSystem::posix(), path, rows, OpenTableFacts{17, 4, 3}, 1920);
  EXPECT_EQ(facts.text,
            "keine Übereinstimmung bei der Satzlänge\r\nkeine Übereinstimmung bei der Anzahl der Datensätze\r\n"
            "keine Übereinstimmung bei der Anzahl der Datenfelder\r\n");

  const TestOutcome missing = test_header(FileSystem::posix(), dir.file("WEG.DBF"), rows, std::nullopt, 1920);
  EXPECT_TRUE(missing.open_failed);
  EXPECT_EQ(missing.text, "FOpen Fehler: Datei nicht gefunden");
  put(path, get(path).substr(0, 20));
  const TestOutcome cut = test_header(FileSystem::posix(), path, rows, std::nullopt, 1920);
  EXPECT_TRUE(cut.open_failed);
  EXPECT_EQ(cut.text, "FRead Fehler: Dateiende vorzeitig erreicht");
  const TestOutcome s = test_structure(FileSystem::posix(), path, rows);
  EXPECT_TRUE(s.open_failed);
  EXPECT_EQ(s.text, path + "\r\nkonnte nicht geöffnet werden!");
}

TEST(HeaderTests, DescriptorFindings) {
  testing::TempDir dir;
  const std::string path = make_table(dir);
  const std::vector<DescriptorRow> rows = {
      {1, "A", 'T', 8, 0}, {2, "B", 'C', 0, 0}, {3, "C", 'L', 2, 1}, {4, "D", 'M', 4, 0}, {5, "E", 'D', 8, 0}};
  EXPECT_EQ(test_structure(FileSystem::posix(), path, rows).text,
            "ungültige Feldtype beim Datenfeld Nr. 1\r\n"
            "Feldlänge beim Datenfeld Nr. 2 nicht definiert\r\n"
            "Decimalwert beim Datenfeld Nr. 3 ist nicht Null\r\n"
            "Feldlänge beim Datenfeld Nr. 3 ist nicht 1\r\n"
            "Feldlänge beim Datenfeld Nr. 4 ist nicht 10\r\n"
            "keine Übereinstimmung bei der Satzlänge der Strukturdaten 23 <> 16\r\n");
}

TEST(HeaderWrites, OnlyChangedBytesInTheirOrderAndNothingWhenAValueIsOutOfRange) {
  HeaderBytes stored{};
  stored[0] = 0x03;
  stored[1] = 126, stored[2] = 5, stored[3] = 20;
  stored[8] = 97, stored[10] = 16;
  HeaderEdit e;
  e.date_text = "05.05.2026";
  e.header_length = 97;
  e.record_length = 16;
  WritePlan p = plan_header_write(stored, e, 1920);
  ASSERT_TRUE(p.error.empty());
  ASSERT_EQ(p.writes.size(), 1u);
  EXPECT_EQ(p.writes[0].offset, 3u);
  EXPECT_EQ(p.writes[0].new_value, 5);
  EXPECT_EQ(write_report_line(p.writes[0]), "Pos. 3: 14 => 05");

  e.date_text = "20.05.2026";
  e.record_count = 70000;
  p = plan_header_write(stored, e, 1920);
  ASSERT_EQ(p.writes.size(), 3u);  // 00 00 00 00 -> 70 11 01 00, the highest byte first; byte 7 stays
  EXPECT_EQ(p.writes[0].offset, 6u);
  EXPECT_EQ(p.writes[0].new_value, 0x01);
  EXPECT_EQ(p.writes[1].offset, 5u);
  EXPECT_EQ(p.writes[1].new_value, 0x11);
  EXPECT_EQ(p.writes[2].offset, 4u);
  EXPECT_EQ(p.writes[2].new_value, 0x70);

  struct Bad {
    std::function<void(HeaderEdit&)> set;
    std::string text;
  };
  const Bad bad[] = {
      {[](HeaderEdit& x) { x.date_text = "31.02.2026"; }, "Fehler beim Datum"},
      {[](HeaderEdit& x) { x.record_count = 4294967296ull; }, "Die Anzahl der Datensätze konnte nicht geändert werden"},
      {[](HeaderEdit& x) { x.record_length = 65536; }, "Die Länge eines Datensatzes konnte nicht geändert werden"},
      {[](HeaderEdit& x) { x.header_length = 70000; },
       "Die Anfangsposition der Datensätze konnte nicht geändert werden"},
  };
  for (const Bad& b : bad) {
    HeaderEdit x = e;
    x.version = 0xF5;  // a valid change before the bad value is not written either
    b.set(x);
    p = plan_header_write(stored, x, 1920);
    EXPECT_EQ(p.error, b.text);
    EXPECT_TRUE(p.writes.empty());
  }
  // A date already empty as stored, left empty: its bytes stay, the rest is written.
  HeaderBytes no_date = stored;
  no_date[1] = no_date[2] = no_date[3] = 0;
  HeaderEdit x = e;
  x.date_text = "  .  .    ";
  x.version = 0xF5;
  p = plan_header_write(no_date, x, 1920);
  EXPECT_TRUE(p.error.empty());
  ASSERT_FALSE(p.writes.empty());
  EXPECT_EQ(p.writes[0].offset, 0u);
  for (const auto& w : p.writes) EXPECT_TRUE(w.offset == 0 || w.offset > 3) << w.offset;
  // Byte 0 stays unless the user picked an entry.
  x.version.reset();
  p = plan_header_write(no_date, x, 1920);
  for (const auto& w : p.writes) EXPECT_NE(w.offset, 0u);
}

TEST(DescriptorWrites, LongCharacterLengthAndRefusals) {
  std::vector<DescriptorBytes> found(2);
  found[0] = encode_descriptor({"NAME", 'C', {}, 10, 0, {}});
  found[1] = encode_descriptor({"NR", 'N', {}, 5, 0, {}});
  DescriptorEdit e{1, 'C', "NAME", 300, 0};
  WritePlan p = plan_descriptor_write(found, 97, e);
  ASSERT_TRUE(p.error.empty());
  ASSERT_EQ(p.writes.size(), 2u);
  EXPECT_EQ(p.writes[0].offset, 32u + 16);
  EXPECT_EQ(p.writes[0].new_value, 0x2C);
  EXPECT_EQ(p.writes[1].offset, 32u + 17);
  EXPECT_EQ(p.writes[1].new_value, 0x01);

  struct Bad {
    DescriptorEdit edit;
    uint16_t header_length;
    std::string text;
  };
  const Bad bad[] = {
      {{0, 'C', "NAME", 10, 0}, 97, "Es wurde kein Datenfeld ausgewählt"},
      {{3, 'C', "NAME", 10, 0}, 97, "Es wurde kein Datenfeld ausgewählt"},
      {{2, 'C', "NAME", 10, 0}, 95, "Es wurde kein Datenfeld ausgewählt"},  // past the header
      {{1, 'X', "NAME", 10, 0}, 97, "Es wurde kein Feldtype ausgewählt"},
      {{1, 'C', "", 10, 0}, 97, "Es wurde kein Name erfasst"},
      {{1, 'C', "NAME", 0, 0}, 97, "Es wurde keine Länge erfasst"},
      {{1, 'D', "NAME", 8, 1}, 97, "Der Dec-Wert ist nicht Null"},
      {{1, 'C', "ELFZEICHEN1", 10, 0}, 97, "Der Name konnte nicht geändert werden"},
      {{1, 'N', "NAME", 300, 0}, 97, "Die Feldlänge konnte nicht geändert werden"},
  };
  for (const Bad& b : bad) {
    p = plan_descriptor_write(found, b.header_length, b.edit);
    EXPECT_EQ(p.error, b.text) << b.edit.number << b.edit.type << b.edit.name_bytes;
    EXPECT_TRUE(p.writes.empty());
  }
  // "T" is written although the test reports it.
  p = plan_descriptor_write(found, 97, {2, 'T', "NR", 8, 0});
  EXPECT_TRUE(p.error.empty());
}

TEST(Repairs, BackupFirstAndEveryFailedWriteLeavesTheFileAsItWas) {
  testing::TempDir dir;
  const std::string path = make_table(dir);
  const std::string before = get(path);
  HeaderEdit e;
  e.date_text = "01.02.2026";
  e.record_count = 70000;
  e.record_length = 16;
  e.header_length = 97;
  // Fail each write in turn: the backup's and the repair's own.
  for (int n = 0;; ++n) {
    FaultyFileSystem faulty(FileSystem::posix());
    faulty.fail_write_at = n;
    const RepairOutcome r = repair_header(faulty, path, e, 1920);
    if (r.error.empty()) {
      EXPECT_GE(n, 4);  // the backup and at least three header bytes came before
      // Every attempt that got past its copy left a backup; a failed copy left none.
      const std::string base = dir.file("T_" + std::to_string(n));
      EXPECT_EQ(r.backup_base, base);
      EXPECT_EQ(get(base + ".DBF"), before);
      const std::string after = get(path);
      EXPECT_EQ(uint8_t(after[4]), 0x70);
      EXPECT_EQ(uint8_t(after[5]), 0x11);
      EXPECT_EQ(uint8_t(after[6]), 0x01);
      EXPECT_EQ(after.substr(12), before.substr(12));
      EXPECT_EQ(repair_report(r).rfind("Es wurde die Sicherungskopie \r\n" + base + ".DBF\r\n erstellt\r\nPos. ", 0),
                0u);
      break;
    }
    EXPECT_EQ(get(path), before) << n;
    const bool copy = r.error.rfind("Die alte Datei\r\n\r\n", 0) == 0;
    EXPECT_TRUE(copy || r.error.find("konnte nicht geändert werden") != std::string::npos) << r.error;
    ASSERT_LT(n, 20);
  }
}

TEST(Repairs, NothingIsWrittenWhileAnotherOpeningHoldsTheTable) {
  testing::TempDir dir;
  const std::string path = make_table(dir);
  const std::string before = get(path);
  OpenOptions o;
  o.shared = true;
  o.driver = "DBFCDX";
  auto other = Table::open(path, o);
  ASSERT_TRUE(other);
  HeaderEdit e;
  e.date_text = "01.02.2026";
  e.record_count = 9;
  e.record_length = 16;
  e.header_length = 97;
  const RepairOutcome r = repair_header(FileSystem::posix(), path, e, 1920);
  EXPECT_EQ(r.error, "Die Datei kann nicht exklusiv geöffnet werden!");
  EXPECT_EQ(get(path), before);
  EXPECT_FALSE(FileSystem::posix().exists(dir.file("T_1.DBF")));
  const RepairOutcome d = repair_descriptor(FileSystem::posix(), path, {1, 'C', "NAME", 12, 0});
  EXPECT_EQ(d.error, "Die Datei kann nicht exklusiv geöffnet werden!");
  EXPECT_TRUE((*other)->close());
  const RepairOutcome ok = repair_descriptor(FileSystem::posix(), dir.file("t.dbf"), {1, 'C', "VORNAME", 12, 0});
  EXPECT_TRUE(ok.error.empty()) << ok.error;
  EXPECT_EQ(get(path).substr(32, 8), std::string("VORNAME\0", 8));
  EXPECT_EQ(uint8_t(get(path)[48]), 12);
}

TEST(RawViews, RecordsAndBlocksAtMost1000CompleteRows) {
  testing::TempDir dir;
  const std::string path = make_table(dir);
  auto rl = record_layout(FileSystem::posix(), path);
  ASSERT_TRUE(rl);
  EXPECT_EQ(rl.value().rows, 3u);
  auto rows = read_raw_rows(FileSystem::posix(), rl.value(), 2, 10);
  ASSERT_TRUE(rows);
  EXPECT_EQ(rows.value().size(), 16u);
  EXPECT_EQ(std::string(rows.value().begin(), rows.value().begin() + 5), " Anna");
  patch(path, 4, {0xE8, 0x03});  // claims 1000 records, the file holds 3
  EXPECT_EQ(record_layout(FileSystem::posix(), path).value().rows, 3u);

  struct Case {
    size_t size;
    uint32_t rows;
  };
  for (const Case c : {Case{1280, 2}, Case{511, 0}, Case{512 * 1500, 1000}}) {
    put(dir.file("T.FPT"), std::string(c.size, 'm'));
    auto bl = block_layout(FileSystem::posix(), dir.file("t.fpt"));
    ASSERT_TRUE(bl);
    EXPECT_EQ(bl.value().rows, c.rows) << c.size;
  }
  EXPECT_FALSE(block_layout(FileSystem::posix(), dir.file("T.CDX")));
  EXPECT_FALSE(record_layout(FileSystem::posix(), dir.file("WEG.DBF")));
}

}  // namespace
}  // namespace mv::header
