#include <zyn/io/PacFormat.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>

#include <zyn/core/Log.h>
#include <zyn/io/SimpleFile.h>

namespace Zyn {

namespace {

// Reading a member costs one kernel copy plus this pass, so the pass runs in
// the widest registers the processor has: on x86-64 a 256-bit version is
// built beside the baseline one and picked when the program loads.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define ZYN_WIDEST_REGISTERS __attribute__((target_clones("avx2", "default")))
#else
#define ZYN_WIDEST_REGISTERS
#endif

// Unaligned and free to alias the caller's bytes.
typedef uint64_t Block __attribute__((vector_size(32), aligned(1), may_alias));

// dst may equal src; other overlaps are not allowed.
ZYN_WIDEST_REGISTERS void Complement(unsigned char* dst, const unsigned char* src, size_t size) {
    size_t i = 0;
    for (; i + 4 * sizeof(Block) <= size; i += 4 * sizeof(Block)) {
        const Block* in = reinterpret_cast<const Block*>(src + i);
        Block* out = reinterpret_cast<Block*>(dst + i);
        out[0] = ~in[0];
        out[1] = ~in[1];
        out[2] = ~in[2];
        out[3] = ~in[3];
    }
    for (; i < size; ++i) dst[i] = static_cast<unsigned char>(~src[i]);
}

}  // namespace

void ComplementBytes(void* data, size_t size) {
    Complement(static_cast<unsigned char*>(data), static_cast<const unsigned char*>(data), size);
}

void ComplementCopy(void* dst, const void* src, size_t size) {
    Complement(static_cast<unsigned char*>(dst), static_cast<const unsigned char*>(src), size);
}

namespace {

// Reads n bytes of the directory and decodes them; false on a short read.
bool ReadPlain(SimpleFile& file, void* out, unsigned int n) {
    if (file.Read(out, n) != n) return false;
    ComplementBytes(out, n);
    return true;
}

u32 LoadLE32(const unsigned char* b) {
    return u32(b[0]) | u32(b[1]) << 8 | u32(b[2]) << 16 | u32(b[3]) << 24;
}

}  // namespace

PacDirectoryScan ScanPacDirectory(SimpleFile& file, uint64_t fileSize) {
    PacDirectoryScan scan;
    unsigned char word[4];
    if (fileSize < 4 || !ReadPlain(file, word, 4)) {
        scan.problems.push_back(PacProblem{PacProblemKind::kTooShort, 0, 0, 0, fileSize});
        scan.directoryEnd = fileSize;
        return scan;
    }
    scan.count = LoadLE32(word);
    // Every entry takes at least its fixed bytes: a larger count is not a
    // pack (or a damaged one), and nothing after it can be trusted.
    const uint64_t most = (fileSize - 4) / kPacEntryFixedBytes;
    if (scan.count > most) {
        scan.problems.push_back(PacProblem{PacProblemKind::kCountTooLarge, 0, 0, 0, most});
        scan.directoryEnd = fileSize;
        return scan;
    }
    scan.entries.reserve(scan.count);
    uint64_t position = 4;
    for (u32 i = 0; i < scan.count; ++i) {
        unsigned char lengthBytes[2];
        if (position + 2 > fileSize || !ReadPlain(file, lengthBytes, 2)) {
            scan.problems.push_back(PacProblem{PacProblemKind::kEntryMissing, position, i, 0, 0});
            scan.directoryEnd = fileSize;
            return scan;
        }
        const unsigned int length = unsigned(lengthBytes[0]) | unsigned(lengthBytes[1]) << 8;
        PacDirectoryEntry e;
        e.name.resize(length);
        unsigned char tail[8];
        if (position + kPacEntryFixedBytes + length > fileSize || !ReadPlain(file, e.name.data(), length) ||
            !ReadPlain(file, tail, 8)) {
            scan.problems.push_back(PacProblem{PacProblemKind::kEntryCutShort, position, i, 0, length});
            scan.directoryEnd = fileSize;
            return scan;
        }
        if (length > kPacMaxNameLength)
            scan.problems.push_back(PacProblem{PacProblemKind::kNameTooLong, position, i, 0, length});
        e.offset = LoadLE32(tail);
        e.size = LoadLE32(tail + 4);
        scan.entries.push_back(std::move(e));
        position += kPacEntryFixedBytes + length;
    }
    scan.directoryEnd = position;
    return scan;
}

void CheckPacMembers(PacDirectoryScan& scan, uint64_t fileSize) {
    // Where each entry starts in the directory, for the problems' offsets.
    std::vector<uint64_t> at(scan.entries.size());
    uint64_t position = 4;
    for (size_t i = 0; i < scan.entries.size(); ++i) {
        at[i] = position;
        position += kPacEntryFixedBytes + scan.entries[i].name.size();
    }
    std::set<std::string> seen;
    for (u32 i = 0; i < u32(scan.entries.size()); ++i) {
        const PacDirectoryEntry& e = scan.entries[i];
        if (!seen.insert(e.name).second)
            scan.problems.push_back(PacProblem{PacProblemKind::kDuplicateName, at[i], i, 0, 0});
        if (uint64_t(e.offset) + e.size > fileSize)
            scan.problems.push_back(PacProblem{PacProblemKind::kBeyondEnd, at[i], i, 0, 0});
        else if (e.size > 0 && e.offset < scan.directoryEnd)
            scan.problems.push_back(PacProblem{PacProblemKind::kOverlapsDirectory, at[i], i, 0, 0});
    }
    std::vector<u32> byOffset;
    for (u32 i = 0; i < u32(scan.entries.size()); ++i)
        if (scan.entries[i].size > 0) byOffset.push_back(i);
    std::stable_sort(byOffset.begin(), byOffset.end(),
                     [&](u32 a, u32 b) { return scan.entries[a].offset < scan.entries[b].offset; });
    auto end = [&](u32 i) { return uint64_t(scan.entries[i].offset) + scan.entries[i].size; };
    // Comparing with the member reaching furthest so far finds every member
    // that starts inside an earlier one, with one problem each.
    bool hasReach = false;
    u32 reach = 0;
    for (u32 i : byOffset) {
        if (hasReach && end(reach) > scan.entries[i].offset)
            scan.problems.push_back(PacProblem{PacProblemKind::kOverlapsMember, at[i], i, reach, 0});
        if (!hasReach || end(i) > end(reach)) {
            reach = i;
            hasReach = true;
        }
    }
}

std::vector<PacDirectoryEntry> ReadPacDirectory(SimpleFile& file, u32 fileSize, const char* owner,
                                                const char* path) {
    PacDirectoryScan scan = ScanPacDirectory(file, fileSize);
    for (const PacProblem& p : scan.problems) {
        switch (p.kind) {
            case PacProblemKind::kTooShort:
                LogSend(kLogError, "%s -> %s is too short to hold a pack directory (%u bytes)", owner, path,
                        fileSize);
                break;
            case PacProblemKind::kCountTooLarge:
                LogSend(kLogError,
                        "%s -> %s claims %u directory entries but can hold at most %u; no member is used",
                        owner, path, scan.count, u32(p.value));
                break;
            case PacProblemKind::kEntryMissing:
            case PacProblemKind::kEntryCutShort:
                LogSend(kLogError, "%s -> %s: directory cut short after %u of %u entries", owner, path,
                        p.entry, scan.count);
                break;
            case PacProblemKind::kNameTooLong:
                // The entry's extent is known, so the entries after it stay readable.
                LogSend(kLogError,
                        "%s -> %s: directory entry %u has a %u-byte name (at most %u); entry skipped", owner,
                        path, p.entry, u32(p.value), kPacMaxNameLength);
                break;
            default:
                // Members' placement is the callers' concern (see CheckPacMembers).
                break;
        }
    }
    std::vector<PacDirectoryEntry> entries;
    entries.reserve(scan.entries.size());
    for (PacDirectoryEntry& e : scan.entries)
        if (e.name.size() <= kPacMaxNameLength) entries.push_back(std::move(e));
    return entries;
}

}  // namespace Zyn
