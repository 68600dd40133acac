#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <sys/mman.h>

#include "platform/base/bytes.h"
#include "platform/base/codepage.h"
#include "platform/base/filesystem.h"
#include "tests/support/faulty_fs.h"
#include "tests/support/fixtures.h"
#include "platform/base/status.h"
#include "platform/base/text.h"

namespace mv {
namespace {

std::string temp_dir() { return mv::testing::make_scratch_dir("base"); }

TEST(Bytes, LittleAndBigEndianRoundTrip) {
  uint8_t b[8] = {};
  put_le32(b, 0x12345678);
  EXPECT_EQ(b[0], 0x78);
  EXPECT_EQ(get_le32(b), 0x12345678u);
  put_be32(b, 0x12345678);
  EXPECT_EQ(b[0], 0x12);
  EXPECT_EQ(get_be32(b), 0x12345678u);
  put_le16(b, 0xBEEF);
  EXPECT_EQ(get_le16(b), 0xBEEF);
  put_be16(b, 0xBEEF);
  EXPECT_EQ(get_be16(b), 0xBEEF);
  put_le64(b, 0x0102030405060708ull);
  EXPECT_EQ(get_le64(b), 0x0102030405060708ull);
  put_be64(b, 0x0102030405060708ull);
  EXPECT_EQ(b[0], 1);
  EXPECT_EQ(get_be64(b), 0x0102030405060708ull);
}

TEST(CodePage, AllBytesRoundTripInEveryCodePage) {
  for (CodePage cp : {CodePage::Windows1252, CodePage::Cp850, CodePage::Cp437}) {
    SCOPED_TRACE(code_page_name(cp));
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    std::string utf8 = cp_to_utf8(cp, all);
    ASSERT_TRUE(is_valid_utf8(utf8));
    auto back = cp_from_utf8(cp, utf8);
    ASSERT_TRUE(back.is_ok()) << back.status().to_string();
    EXPECT_EQ(*back, all);
  }
}

TEST(CodePage, KnownCharactersAndRefusals) {
  struct Case { CodePage cp; unsigned char byte; char32_t ch; };
  const Case cases[] = {
      {CodePage::Windows1252, 0xE4, U'ä'}, {CodePage::Windows1252, 0xDF, U'ß'},
      {CodePage::Windows1252, 0x80, U'€'}, {CodePage::Cp850, 0x84, U'ä'},
      {CodePage::Cp850, 0x8E, U'Ä'},       {CodePage::Cp850, 0xE1, U'ß'},
      {CodePage::Cp437, 0x81, U'ü'},       {CodePage::Cp850, 0x9A, U'Ü'},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(cp_decode(c.cp, c.byte), c.ch);
    EXPECT_EQ(cp_encode(c.cp, c.ch), c.byte);
  }
  EXPECT_FALSE(cp_encode(CodePage::Cp850, U'€').has_value());
  auto r = cp_from_utf8(CodePage::Cp437, "Preis 5 €");
  ASSERT_FALSE(r.is_ok());
  EXPECT_EQ(r.status().kind(), StatusKind::InvalidArgument);
  EXPECT_NE(r.status().message().find("€"), std::string::npos);
  EXPECT_FALSE(cp_from_utf8(CodePage::Cp850, std::string("\xC3", 1)).is_ok());
}

TEST(Status, LockedTextBeginsWithSharing) {
  Status s = Status::locked("KUNDEN.DBF ist geöffnet");
  EXPECT_EQ(s.kind(), StatusKind::Locked);
  EXPECT_EQ(s.message().rfind("SHARING", 0), 0u);
  Result<int> r = Status::not_found("x");
  EXPECT_FALSE(r.is_ok());
  EXPECT_EQ(r.value_or(7), 7);
}

TEST(FileSystem, CaseInsensitiveLookupPrefersExactSpelling) {
  auto& fs = FileSystem::posix();
  std::string dir = temp_dir();
  std::ofstream(dir + "/KUNDEN.DBF") << "x";
  std::ofstream(dir + "/kunden.cdx") << "x";
  EXPECT_EQ(find_companion(fs, dir + "/KUNDEN.DBF", ".CDX"), dir + "/kunden.cdx");
  EXPECT_EQ(find_file_nocase(fs, dir, "Kunden.Dbf"), dir + "/KUNDEN.DBF");
  EXPECT_FALSE(find_companion(fs, dir + "/KUNDEN.DBF", ".FPT").has_value());
  std::ofstream(dir + "/kunden.dbf") << "y";
  EXPECT_EQ(find_file_nocase(fs, dir, "kunden.dbf"), dir + "/kunden.dbf");
  std::filesystem::remove_all(dir);
}

TEST(FileSystem, PathHelpersTakeBothSeparators) {
  EXPECT_EQ(path_dir("C:\\Daten\\KUNDEN.DBF"), "C:\\Daten\\");
  EXPECT_EQ(path_stem("/a/b/KUNDEN.DBF"), "KUNDEN");
  EXPECT_EQ(path_ext("/a/b.c/KUNDEN"), "");
  EXPECT_EQ(path_ext("/a/KUNDEN.dbf"), ".dbf");
  EXPECT_EQ(path_replace_ext("/a/KUNDEN.DBF", ".CDX"), "/a/KUNDEN.CDX");
  EXPECT_EQ(path_join("/a/", "b"), "/a/b");
  EXPECT_EQ(path_join("/a", "b"), "/a/b");
}

TEST(FileSystem, TwoOpensConflictOnExclusiveLock) {
  auto& fs = FileSystem::posix();
  std::string dir = temp_dir();
  std::string p = dir + "/T.DBF";
  { auto f = fs.open(p, OpenMode::Create); ASSERT_TRUE(f.is_ok()); }
  auto a = fs.open(p, OpenMode::ReadWrite);
  auto b = fs.open(p, OpenMode::ReadWrite);
  ASSERT_TRUE(a.is_ok() && b.is_ok());
  ASSERT_TRUE((*a)->lock(0, 1, LockType::Exclusive).is_ok());
  Status s = (*b)->lock(0, 1, LockType::Shared);
  EXPECT_EQ(s.kind(), StatusKind::Locked);
  ASSERT_TRUE((*a)->unlock(0, 1).is_ok());
  EXPECT_TRUE((*b)->lock(0, 1, LockType::Shared).is_ok());
  std::filesystem::remove_all(dir);
}

// A scan on another thread reads a pinned view while the table maps its grown file anew:
// the pinned view stays readable (and shows writes) until its last pin goes; a view
// without pins goes at once as before.
TEST(FileSystem, PinnedViewOutlivesMappingAnewUntilItsLastPin) {
  auto& fs = FileSystem::posix();
  std::string dir = temp_dir();
  auto opened = fs.open(dir + "/T.DBF", OpenMode::Create);
  ASSERT_TRUE(opened.is_ok());
  File& f = **opened;
  auto mapped = [](const uint8_t* p, size_t n) { return ::msync(const_cast<uint8_t*>(p), n, MS_ASYNC) == 0; };
  EXPECT_EQ(f.pin_map().bytes, nullptr);  // nothing mapped, nothing pinned

  const std::string a(4096, 'a'), b(8192, 'b');
  ASSERT_TRUE(f.write_at(0, a.data(), a.size()).is_ok());
  const uint8_t* first = f.map(4096);
  ASSERT_NE(first, nullptr);
  const File::MapPin pin = f.pin_map();
  EXPECT_EQ(pin.bytes, first);
  EXPECT_EQ(pin.length, 4096u);
  f.pin_map();  // a second scan

  ASSERT_TRUE(f.write_at(4096, b.data(), b.size()).is_ok());
  const uint8_t* second = f.map(12288);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, first);
  EXPECT_TRUE(mapped(first, 4096));
  EXPECT_EQ(first[4095], 'a');
  EXPECT_EQ(second[12287], 'b');
  ASSERT_TRUE(f.write_at(0, "c", 1).is_ok());
  EXPECT_EQ(first[0], 'c');

  f.unpin_map(first);
  EXPECT_TRUE(mapped(first, 4096));  // one pin left
  f.unmap();
  EXPECT_FALSE(mapped(second, 12288));  // never pinned
  f.unpin_map(first);
  EXPECT_FALSE(mapped(first, 4096));

  // The current view pinned, then let go by the table: kept until unpinned.
  const uint8_t* third = f.map(12288);
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(f.pin_map().bytes, third);
  f.unmap();
  EXPECT_TRUE(mapped(third, 12288));
  EXPECT_EQ(third[12287], 'b');
  f.unpin_map(third);
  EXPECT_FALSE(mapped(third, 12288));
  opened->reset();
  std::filesystem::remove_all(dir);
}

TEST(FaultyFileSystem, InjectedFaultsAreReported) {
  auto& real = FileSystem::posix();
  std::string dir = temp_dir();
  std::string p = dir + "/F.DAT";
  {
    FaultyFileSystem fs(real);
    fs.fail_write_at = 1;
    auto f = fs.open(p, OpenMode::Create);
    ASSERT_TRUE(f.is_ok());
    EXPECT_TRUE((*f)->write_at(0, "abc", 3).is_ok());
    Status s = (*f)->write_at(3, "def", 3);
    EXPECT_EQ(s.kind(), StatusKind::IoError);
    EXPECT_EQ((*(*f)->size()), 3u);
  }
  {
    FaultyFileSystem fs(real);
    fs.disk_full_after = 4;
    auto f = fs.open(p, OpenMode::Create);
    ASSERT_TRUE(f.is_ok());
    EXPECT_TRUE((*f)->write_at(0, "abc", 3).is_ok());
    EXPECT_FALSE((*f)->write_at(3, "def", 3).is_ok());
    EXPECT_EQ((*(*f)->size()), 4u);
  }
  {
    FaultyFileSystem fs(real);
    fs.fail_rename_at = 0;
    EXPECT_FALSE(fs.rename(p, p + ".x").is_ok());
    EXPECT_TRUE(real.exists(p));
    fs.refuse_locks = true;
    auto f = fs.open(p, OpenMode::ReadWrite);
    ASSERT_TRUE(f.is_ok());
    EXPECT_EQ((*f)->lock(0, 1, LockType::Shared).kind(), StatusKind::Locked);
    fs.fail_open = [](const std::string&, OpenMode m) { return m == OpenMode::Create; };
    EXPECT_FALSE(fs.open(p, OpenMode::Create).is_ok());
  }
  std::filesystem::remove_all(dir);
}

TEST(Text, AsciiCaseAndBlanksOnly) {
  struct Case {
    const char* a;
    const char* b;
    bool equal;
  };
  for (const Case& c : {Case{"kunden.cdx", "KUNDEN.CDX", true}, Case{"Name", "NAME ", false},
                        Case{"M\x81ller", "M\x81LLER", true},    // a CP850 umlaut stays as it is
                        Case{"\xe4", "\xc4", false},             // ä and Ä of Windows-1252 are not folded
                        Case{"", "", true}, Case{"a", "b", false}}) {
    SCOPED_TRACE(std::string(c.a) + " / " + c.b);
    EXPECT_EQ(iequals(c.a, c.b), c.equal);
  }
  EXPECT_EQ(upper_ascii("Straße 1a\xe4"), "STRAßE 1A\xe4");
  EXPECT_EQ(trim("  a b \t "), "a b \t");
  EXPECT_EQ(ltrim("  x "), "x ");
  EXPECT_EQ(rtrim("  x "), "  x");
  EXPECT_EQ(trim("   "), "");
}

}  // namespace
}  // namespace mv
