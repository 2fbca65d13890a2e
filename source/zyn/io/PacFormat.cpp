#include <zyn/io/PacFormat.h>

#include <cstdint>
#include <cstring>

#include <zyn/core/Log.h>
#include <zyn/io/SimpleFile.h>

namespace Zyn {

void ComplementBytes(void* data, size_t size) {
    unsigned char* p = static_cast<unsigned char*>(data);
    size_t i = 0;
    // Four words per step: the compiler keeps them in vector registers.
    for (; i + 32 <= size; i += 32) {
        uint64_t w[4];
        std::memcpy(w, p + i, sizeof w);
        w[0] = ~w[0];
        w[1] = ~w[1];
        w[2] = ~w[2];
        w[3] = ~w[3];
        std::memcpy(p + i, w, sizeof w);
    }
    for (; i < size; ++i) p[i] = static_cast<unsigned char>(~p[i]);
}

void ComplementCopy(void* dst, const void* src, size_t size) {
    unsigned char* d = static_cast<unsigned char*>(dst);
    const unsigned char* s = static_cast<const unsigned char*>(src);
    size_t i = 0;
    for (; i + 32 <= size; i += 32) {
        uint64_t w[4];
        std::memcpy(w, s + i, sizeof w);
        w[0] = ~w[0];
        w[1] = ~w[1];
        w[2] = ~w[2];
        w[3] = ~w[3];
        std::memcpy(d + i, w, sizeof w);
    }
    for (; i < size; ++i) d[i] = static_cast<unsigned char>(~s[i]);
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

std::vector<PacDirectoryEntry> ReadPacDirectory(SimpleFile& file, u32 fileSize, const char* owner,
                                                const char* path) {
    std::vector<PacDirectoryEntry> entries;
    unsigned char word[4];
    if (fileSize < 4 || !ReadPlain(file, word, 4)) {
        LogSend(kLogError, "%s -> %s is too short to hold a pack directory (%u bytes)", owner, path,
                fileSize);
        return entries;
    }
    const u32 count = LoadLE32(word);
    // Every entry takes at least its fixed bytes: a larger count is not a
    // pack (or a damaged one), and nothing after it can be trusted.
    const u32 most = (fileSize - 4) / kPacEntryFixedBytes;
    if (count > most) {
        LogSend(kLogError, "%s -> %s claims %u directory entries but can hold at most %u; no member is used",
                owner, path, count, most);
        return entries;
    }
    entries.reserve(count);
    uint64_t position = 4;
    for (u32 i = 0; i < count; ++i) {
        unsigned char lengthBytes[2];
        unsigned char name[kPacMaxNameLength];
        unsigned char tail[8];
        bool complete = position + 2 <= fileSize && ReadPlain(file, lengthBytes, 2);
        const unsigned int length = complete ? (unsigned(lengthBytes[0]) | unsigned(lengthBytes[1]) << 8) : 0;
        complete = complete && position + kPacEntryFixedBytes + length <= fileSize;
        if (complete && length > kPacMaxNameLength) {
            LogSend(kLogError, "%s -> %s: directory entry %u has a %u-byte name (at most %u); entry skipped",
                    owner, path, i, length, kPacMaxNameLength);
            // The entry's extent is known, so the entries after it stay readable.
            const uint64_t next = position + kPacEntryFixedBytes + length;
            if (std::fseek(file.GetHandle(), long(next), SEEK_SET) != 0) break;
            position = next;
            continue;
        }
        complete = complete && ReadPlain(file, name, length) && ReadPlain(file, tail, 8);
        if (!complete) {
            LogSend(kLogError, "%s -> %s: directory cut short after %u of %u entries", owner, path, i, count);
            break;
        }
        PacDirectoryEntry e;
        e.name.assign(reinterpret_cast<const char*>(name), length);
        e.offset = LoadLE32(tail);
        e.size = LoadLE32(tail + 4);
        entries.push_back(std::move(e));
        position += kPacEntryFixedBytes + length;
    }
    return entries;
}

}  // namespace Zyn
