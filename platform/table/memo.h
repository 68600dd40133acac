#pragma once
// Memo files: the DBF holds a block number, the memo file the text.
//   DBT, dBASE III: 512-byte blocks, text ended by 0x1A (0x1A 0x1A written).
//   DBT, dBASE IV:  block size from the header, blocks FF FF 08 00 + length (with these
//                   8 bytes) + text; freed runs are chained and reused.
//   FPT:            block size from the header, big-endian type + length + data.
// Every pointer and length is checked against the file before it is followed.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/base/filesystem.h"
#include "platform/base/status.h"

namespace mv {

enum class MemoKind { Dbt3, Dbt4, Fpt };

const char* memo_kind_name(MemoKind kind);
// ".DBT" or ".FPT".
const char* memo_extension(MemoKind kind);

class MemoFile {
 public:
  virtual ~MemoFile() = default;

  // Opens an existing memo file; `writable` opens it for reading and writing.
  static Result<std::unique_ptr<MemoFile>> open(FileSystem& fs, const std::string& path, MemoKind kind,
                                                bool writable);
  // Writes a new, empty memo file (header only). Block size 0 takes the kind's default
  // (512 for DBT, 64 for FPT).
  static Status create(FileSystem& fs, const std::string& path, MemoKind kind, uint32_t block_size = 0);
  // The bytes of an empty memo file of this kind (for building a new file beside an old one).
  static std::string empty_file(MemoKind kind, uint32_t block_size = 0);

  virtual MemoKind kind() const = 0;
  virtual uint32_t block_size() const = 0;
  // The first block that can hold data (the header occupies the blocks before it).
  virtual uint32_t first_data_block() const = 0;
  // The memo at `block`; block 0 is "no memo" and gives "". A pointer past the end, a
  // damaged block or a length beyond the file gives Corrupt.
  virtual Result<std::string> read(uint32_t block) = 0;
  // Stores `data` and answers its block (0 for an empty text). `old_block` is the block
  // the field pointed to before (0 for none): the memo is rewritten in place when it
  // still fits there; otherwise the old blocks are released where the format allows it.
  // The data is written before the header's next-free pointer.
  virtual Result<uint32_t> write(std::string_view data, uint32_t old_block) = 0;
  virtual Status flush() = 0;
  virtual File& file() = 0;
};

}  // namespace mv
