// The pack file ("pac") format shared by the pack readers, the writers and
// the tools: a directory (count, then per member: name length, name, offset,
// size; little-endian) followed by the members' bytes, every byte of the file
// stored complemented (b XOR 0xFF). No magic number, version or checksum, so
// every field read from a pack is outside data and checked against the file.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <zyn/core/Types.h>

namespace Zyn {

class SimpleFile;

/// Longest member name a reader accepts (the readers' name buffer).
const unsigned int kPacMaxNameLength = 128;
/// Bytes of one directory entry besides its name: length, offset, size.
const unsigned int kPacEntryFixedBytes = 10;

/// Complements size bytes in place, word at a time.
void ComplementBytes(void* data, size_t size);
/// Writes the complement of size bytes of src to dst; the ranges must not overlap.
void ComplementCopy(void* dst, const void* src, size_t size);

/// One directory entry as stored; offsets count from the start of the pack file.
struct PacDirectoryEntry {
    std::string name;
    u32 offset = 0;
    u32 size = 0;
};

/// Reads the directory of the pack open in file (positioned at its start), never
/// reading past fileSize. A count the file cannot hold keeps no entry; a
/// directory cut short keeps the entries before the cut; an entry with a name
/// longer than kPacMaxNameLength is skipped. Each fault is logged at level 0
/// with the owner's name and the path. Entries come back in file order and may
/// still point past the end of the file: see IsPacEntryInFile.
std::vector<PacDirectoryEntry> ReadPacDirectory(SimpleFile& file, u32 fileSize, const char* owner,
                                                const char* path);

/// True when the member's bytes lie wholly inside a file of fileSize bytes.
inline bool IsPacEntryInFile(const PacDirectoryEntry& e, u32 fileSize) {
    return uint64_t(e.offset) + e.size <= fileSize;
}

}  // namespace Zyn
