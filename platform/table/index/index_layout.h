#pragma once
// The index file layouts in one place, as dbf_format.h is for tables: header and page
// offsets of NTX, CDX and MDX files and the lock bytes of each family. Internal to
// platform/table/index; byte order is noted where it is not little-endian.
#include <cstddef>
#include <cstdint>

namespace mv::index {

namespace ntx {
inline constexpr uint32_t kPage = 1024;                    // header and every node
inline constexpr uint64_t kLockOffset = 1000000000ull;     // held while the tree changes
// Header (page 0).
inline constexpr size_t kSignature = 0;    // uint16: 6, or 7 with a FOR condition
inline constexpr size_t kCounter = 2;      // uint16: grows with every update
inline constexpr size_t kRoot = 4;         // uint32: file offset of the root page
inline constexpr size_t kFreeList = 8;     // uint32: first free page, 0 = none
inline constexpr size_t kItemSize = 12;    // uint16: key length + 8
inline constexpr size_t kKeySize = 14;     // uint16
inline constexpr size_t kKeyDecimals = 16; // uint16
inline constexpr size_t kMaxKeys = 18;     // uint16: keys per page
inline constexpr size_t kHalfPage = 20;    // uint16: the minimum fill
inline constexpr size_t kKeyExpr = 22;     // NUL-terminated, 256 bytes
inline constexpr size_t kExprSize = 256;
inline constexpr size_t kUnique = 278;     // 1 = unique
inline constexpr size_t kDescending = 280; // 1 = descending
inline constexpr size_t kForExpr = 282;    // NUL-terminated, 256 bytes
// Node: key count, then max keys + 1 offsets of the items (child, record, key).
inline constexpr size_t kNodeCount = 0;    // uint16
inline constexpr size_t kNodeOffsets = 2;  // uint16 each
}  // namespace ntx

namespace cdx {
inline constexpr uint32_t kPage = 512;
inline constexpr uint32_t kTagHeader = 1024;
inline constexpr uint64_t kLockOffset = 0x7FFFFFFEull;
// Tag header (the directory's at offset 0, each tag's where the directory says).
inline constexpr size_t kRoot = 0;         // uint32: file offset of the root node
inline constexpr size_t kFreeList = 4;     // uint32: the directory's free page list, 0 or ~0 = none
inline constexpr size_t kCounter = 8;      // uint32: change counter
inline constexpr size_t kKeyLength = 12;   // uint16
inline constexpr size_t kOptions = 14;     // 0x01 unique, 0x08 FOR, 0x20 compact, 0x40 compound, 0x80 directory
inline constexpr size_t kSignature = 15;   // 1
inline constexpr size_t kObserved = 16;    // 00 04 00 02 in every file seen: written back as found
inline constexpr size_t kOrder = 502;      // uint16: 0 ascending, 1 descending
inline constexpr size_t kKeyExprLengthCopy = 504;  // uint16, as kKeyExprLength
inline constexpr size_t kForExprLength = 506;      // uint16, NUL included; 1 = none
inline constexpr size_t kKeyExprLength = 510;      // uint16, NUL included
inline constexpr size_t kExprPoolAt = 512;         // key expression, then the FOR expression
inline constexpr size_t kExprPool = 512;           // its size
inline constexpr uint8_t kOptUnique = 0x01;
inline constexpr uint8_t kOptFor = 0x08;
inline constexpr uint8_t kOptCompact = 0x20;
inline constexpr uint8_t kOptCompound = 0x40;
inline constexpr uint8_t kOptDirectory = 0x80;
// Node.
inline constexpr size_t kNodeAttributes = 0;  // uint16: 0 interior, 1 root, 2 leaf
inline constexpr size_t kNodeCount = 2;       // uint16
inline constexpr size_t kNodeLeft = 4;        // uint32, ~0 = none
inline constexpr size_t kNodeRight = 8;       // uint32, ~0 = none
inline constexpr size_t kInteriorItems = 12;  // key, record (BE), child (BE)
inline constexpr size_t kLeafFreeSpace = 12;  // uint16
inline constexpr size_t kLeafRecordMask = 14; // uint32
inline constexpr size_t kLeafDupMask = 18;
inline constexpr size_t kLeafTrailMask = 19;
inline constexpr size_t kLeafRecordBits = 20;
inline constexpr size_t kLeafDupBits = 21;
inline constexpr size_t kLeafTrailBits = 22;
inline constexpr size_t kLeafEntryBytes = 23;
inline constexpr size_t kLeafEntries = 24;
inline constexpr size_t kLeafData = kPage - kLeafEntries;
}  // namespace cdx

namespace mdx {
inline constexpr uint32_t kPage = 512;
inline constexpr uint32_t kBlockPages = 2;
inline constexpr uint32_t kBlock = 1024;
inline constexpr uint32_t kFirstTagPage = 4;  // the file header takes 2048 bytes
inline constexpr uint64_t kLockOffset = 0x7FFFFFFEull;
// File header.
inline constexpr size_t kVersion = 0;         // 2
inline constexpr size_t kCreated = 1;         // YY MM DD
inline constexpr size_t kTableName = 4;       // NUL-padded, 16 bytes
inline constexpr size_t kBlockSizePages = 20; // uint16
inline constexpr size_t kBlockSizeBytes = 22; // uint16
inline constexpr size_t kProduction = 24;     // 1 = production bag
inline constexpr size_t kTagSlots = 25;       // 48
inline constexpr size_t kTagEntryLength = 26; // 32
inline constexpr size_t kTagsInUse = 28;      // uint16
inline constexpr size_t kLanguage = 31;       // as DBF byte 29
inline constexpr size_t kPagesInFile = 32;    // uint32
inline constexpr size_t kFirstFreePage = 36;  // uint32
inline constexpr size_t kFreeBlocks = 40;     // uint32
inline constexpr size_t kUpdated = 44;        // YY MM DD
// Reserved bytes where our writers count their changes (the format keeps no counter).
inline constexpr size_t kOurCounter = 48;     // uint32
inline constexpr size_t kObserved = 529;      // 0x01 in every file seen
inline constexpr size_t kTagTable = 544;
inline constexpr size_t kTagEntry = 32;
inline constexpr size_t kTagSlotCount = 48;
// Tag table entry.
inline constexpr size_t kEntryPage = 0;       // uint32: the tag header's page
inline constexpr size_t kEntryName = 4;       // NUL-padded, 11 bytes
inline constexpr size_t kEntryFieldKey = 15;  // 0x10: the key is a single field name
inline constexpr size_t kEntryLeft = 16;
inline constexpr size_t kEntryRight = 17;
inline constexpr size_t kEntryParent = 18;
inline constexpr size_t kEntryObserved = 19;  // 0x02 in every file seen
inline constexpr size_t kEntryKeyType = 20;   // 'C', 'N' or 'D'
// Tag header.
inline constexpr size_t kTagRoot = 0;         // uint32: page of the root node
inline constexpr size_t kTagPages = 4;        // uint32
inline constexpr size_t kTagFormat = 8;       // 0x10 character, 0x08 descending, 0x40 unique
inline constexpr size_t kTagKeyType = 9;
inline constexpr size_t kTagKeyLength = 12;   // uint16
inline constexpr size_t kTagMaxKeys = 14;     // uint16: keys per node
inline constexpr size_t kTagDateKey = 16;     // uint16: 1 for date keys
inline constexpr size_t kTagItemLength = 18;  // uint16: key length + 4, aligned
inline constexpr size_t kTagReserved = 20;    // 02 00 00 in every file seen
inline constexpr size_t kTagUnique = 23;      // 1 = unique
inline constexpr size_t kTagKeyExpr = 24;     // NUL-terminated, 220 bytes
inline constexpr size_t kTagKeyExprSize = 220;
inline constexpr size_t kTagHasFor = 245;     // non-zero: a FOR condition follows
inline constexpr size_t kTagObserved = 246;   // 0x01 in every file seen
inline constexpr uint8_t kFormatDescending = 0x08;
inline constexpr uint8_t kFormatCharacter = 0x10;
inline constexpr uint8_t kFormatUnique = 0x40;
// Node: key count, four reserved bytes, then items of (record or child, key).
inline constexpr size_t kNodeCount = 0;       // uint32
inline constexpr size_t kNodeItems = 8;
}  // namespace mdx

}  // namespace mv::index
