#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "xls/Bytes.h"

// The engine's only calls into the operating system: reading a whole file, and replacing a file
// with new contents in one step. Each has a portable path (the C and C++ standard libraries)
// and, on Linux, a path of system calls (writev, renameat2) that the fast build takes. Both
// throw Error (Io) naming `name` and the fault.
namespace xls::fs {

// The bytes of the file at `path`.
Bytes readFile(const std::string& path, const std::string& name);

// A piece of the new contents, written in order; none is changed.
struct Piece {
    const uint8_t* data;
    size_t size;
};

// Writes `pieces` to a new file beside `path`, then puts it in the place of `path`: a reader
// sees the old file or the whole new one, never a part. A folder at `path` stays as it is, with
// what it holds, and the save fails.
void writeAtomically(const std::string& path, const std::string& name,
                     const std::vector<Piece>& pieces);

}  // namespace xls::fs
