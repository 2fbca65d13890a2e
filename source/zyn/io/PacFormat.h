// The pack file ("pac") format shared by the pack readers, the writers and
// the tools: a directory (count, then per member: name length, name, offset,
// size; little-endian) followed by the members' bytes, every byte of the file
// stored complemented (b XOR 0xFF). No magic number, version or checksum, so
// every field read from a pack is outside data and checked against the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <zyn/core/Types.h>

namespace Zyn {

class SimpleFile;

/// Longest member name a reader accepts (the readers' name buffer).
const unsigned int kPacMaxNameLength = 128;
/// Bytes of one directory entry besides its name: length, offset, size.
const unsigned int kPacEntryFixedBytes = 10;

/// Complements size bytes in place.
void ComplementBytes(void* data, size_t size);
/// Writes the complement of size bytes of src to dst; the ranges must not overlap.
void ComplementCopy(void* dst, const void* src, size_t size);

/// One directory entry as stored; offsets count from the start of the pack file.
struct PacDirectoryEntry {
    std::string name;
    u32 offset = 0;
    u32 size = 0;
};

/// A fault of a pack's directory or of where it places the members.
enum class PacProblemKind {
    kTooShort,           // the file cannot hold the entry count; no entry is read
    kCountTooLarge,      // more entries claimed than the file can hold (value: that most); none is read
    kEntryMissing,       // the file ends before this entry's name length; no later entry is read
    kEntryCutShort,      // the file ends inside this entry; no later entry is read
    kNameTooLong,        // a name longer than kPacMaxNameLength (value: its length)
    kDuplicateName,      // an earlier entry has the same name
    kBeyondEnd,          // the member's bytes run past the end of the file
    kOverlapsDirectory,  // the member's bytes start inside the directory
    kOverlapsMember,     // the member's bytes overlap those of entry `other`
};

/// One fault, with where it lies in the pack file.
struct PacProblem {
    PacProblemKind kind;
    uint64_t offset = 0;  // first byte of the faulty field: the count, or the entry's name length
    u32 entry = 0;        // index of the entry in the directory, from 0
    u32 other = 0;        // kOverlapsMember: the entry overlapped, which starts first
    uint64_t value = 0;
};

/// Everything read from a directory: each entry read whole, in file order
/// (over-long names included, so entries[i] is directory entry i), and each
/// fault in the order found.
struct PacDirectoryScan {
    u32 count = 0;              // the entries the directory claims
    uint64_t directoryEnd = 0;  // first byte after the directory, as far as it could be read
    std::vector<PacDirectoryEntry> entries;
    std::vector<PacProblem> problems;
};

/// Reads the directory of the pack open in file (positioned at its start),
/// never reading past fileSize, and records every fault of the directory
/// itself. Logs nothing.
PacDirectoryScan ScanPacDirectory(SimpleFile& file, uint64_t fileSize);

/// Appends to scan.problems the faults of the members' placement: duplicate
/// names and members beyond the end (in entry order), members starting in the
/// directory, then members overlapping one another (in order of offset).
/// Readers tolerate these; checkers report them.
void CheckPacMembers(PacDirectoryScan& scan, uint64_t fileSize);

/// The lenient reader over ScanPacDirectory: a count the file cannot hold
/// keeps no entry; a directory cut short keeps the entries before the cut; an
/// entry with a name longer than kPacMaxNameLength is skipped. Each fault is
/// logged at level 0 with the owner's name and the path. Entries come back in
/// file order and may still point past the end of the file: see IsPacEntryInFile.
std::vector<PacDirectoryEntry> ReadPacDirectory(SimpleFile& file, u32 fileSize, const char* owner,
                                                const char* path);

/// True when the member's bytes lie wholly inside a file of fileSize bytes.
inline bool IsPacEntryInFile(const PacDirectoryEntry& e, u32 fileSize) {
    return uint64_t(e.offset) + e.size <= fileSize;
}

}  // namespace Zyn
