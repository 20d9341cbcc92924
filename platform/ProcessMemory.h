#pragma once

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace platform {

// Tunes the C library's allocator of this process for the workbook engine's jobs, which
// allocate and free their buffers (the file, the workbook stream, a chart's records: megabytes
// for a long list) in one burst. By default glibc gives every block from 128 KB up a mapping of
// its own and hands a freed heap top of more than 128 KB back to the kernel, so each job would
// fault in and zero its pages afresh. Blocks up to 32 MB then come from the heap, and up to
// 128 MB of freed heap stays with the process for the next job; peak memory is unchanged.
// A policy of the program that hosts the engine, set once at its start; the engine never sets
// it. Does nothing on other C libraries.
inline void keepFreedMemoryForReuse() {
#ifdef __GLIBC__
    ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
    ::mallopt(M_TRIM_THRESHOLD, 128 << 20);
#endif
}

}  // namespace platform
