#pragma once
// Knowing cheaply whether another process changed an index file: a few header bytes
// that every writer changes (the "stamp"), read through a read-only mapping of the
// file's first page, so that the check costs no system call. Internal to
// platform/table/index.
#include <cstddef>
#include <cstdint>

namespace mv::index {

// Copies n bytes from a mapping of a file. Answers false, with nothing copied that can
// be trusted, when the mapped bytes are no longer backed by the file (another program
// truncated it): the read then faults, and the fault is caught here instead of ending
// the process. Any other fault goes on to the handler that was there before.
bool guarded_copy(void* dst, const uint8_t* mapped, size_t n);

}  // namespace mv::index
