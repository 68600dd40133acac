#pragma once
// The memo file layouts in one place: the header fields and block heads of dBASE III and
// dBASE IV memo files (DBT, little-endian) and FoxPro memo files (FPT, big-endian).
#include <cstddef>
#include <cstdint>

namespace mv::memo {

inline constexpr uint32_t kHeaderSize = 512;  // block 0, or the blocks it fills
inline constexpr uint8_t kEof = 0x1A;         // ends a dBASE III text (written twice)

namespace dbt {
inline constexpr uint32_t kBlock = 512;         // dBASE III: always; dBASE IV: the default
// Header.
inline constexpr size_t kNextFree = 0;          // uint32 LE: next free block (IV: head of the free chain)
inline constexpr size_t kBlockSizeCopy = 4;     // uint32 LE: some writers store the block size here
inline constexpr size_t kBlockSize = 20;        // uint16 LE: dBASE IV block size
// dBASE IV block head.
inline constexpr uint8_t kUsedSignature[4] = {0xFF, 0xFF, 0x08, 0x00};
inline constexpr size_t kBlockSignature = 0;
inline constexpr size_t kBlockLength = 4;       // uint32 LE: text length plus this 8-byte head
inline constexpr size_t kBlockHead = 8;
// dBASE IV free run: the next free run and the number of blocks in this one.
inline constexpr size_t kFreeNext = 0;          // uint32 LE
inline constexpr size_t kFreeBlocks = 4;        // uint32 LE
}  // namespace dbt

namespace fpt {
inline constexpr uint32_t kDefaultBlock = 64;
// Header.
inline constexpr size_t kNextFree = 0;          // uint32 BE
inline constexpr size_t kBlockSize = 6;         // uint16 BE
// Block head.
inline constexpr size_t kBlockType = 0;         // uint32 BE: 0 picture, 1 text, 2 object
inline constexpr size_t kBlockLength = 4;       // uint32 BE: data length
inline constexpr size_t kBlockHead = 8;
inline constexpr uint32_t kTypeText = 1;
}  // namespace fpt

}  // namespace mv::memo
