#include <zyn/io/PacPackage.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <zyn/core/Root.h>
#include <zyn/io/DiskFile.h>
#include <zyn/io/PacFormat.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS(PacPackage, "PacPackage", &PacPackage::StaticCreate, nullptr, nullptr, Package)

namespace {

// Members are copied through a bounded buffer whatever their size.
const unsigned int kCopyChunk = 1u << 20;

// Reads below this size go through a PacFile's window: small enough to stay
// in the first-level cache, large enough that byte-wise text reads make few
// system calls.
const unsigned int kWindowBytes = 16384;

struct PendingMember {
    std::string name;
    std::string source;
    u32 size;
};

typedef File* (*OpenSourceFn)(const std::string& source);

File* OpenDiskSource(const std::string& path) {
    DiskFile* f = new DiskFile(path.c_str(), "rb");
    if (f->IsOpen()) return f;
    delete f;
    return nullptr;
}

File* OpenPackagedSource(const std::string& name) {
    return Singleton<Root>::Get()->OpenFile(name.c_str(), true);
}

void PutLE16(std::vector<unsigned char>& out, unsigned int v) {
    out.push_back(static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(v >> 8));
}

void PutLE32(std::vector<unsigned char>& out, u32 v) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<unsigned char>(v >> shift));
}

// Readers keep names in a buffer of kPacMaxNameLength bytes: a longer name
// would make a pack they cannot read.
bool IsNameStorable(const std::string& name) {
    if (name.size() <= kPacMaxNameLength) return true;
    LogSend(kLogWarning, "PacPackage -> member name longer than %u bytes: %s", kPacMaxNameLength,
            name.c_str());
    return false;
}

// Opening the pack for writing truncates it: were it one of its own sources,
// that file would be lost.
bool IsOneOfTheSources(const char* packPath, const std::vector<PendingMember>& members) {
    struct stat pack;
    if (stat(packPath, &pack) != 0) return false;
    for (const PendingMember& m : members) {
        struct stat source;
        if (stat(m.source.c_str(), &source) == 0 && source.st_dev == pack.st_dev &&
            source.st_ino == pack.st_ino)
            return true;
    }
    return false;
}

bool AbandonPack(SimpleFile& pack, const char* packPath) {
    pack.Close();
    std::remove(packPath);
    return false;
}

bool WritePack(const char* packPath, const std::vector<PendingMember>& members, OpenSourceFn open) {
    if (members.empty()) {
        LogSend(kLogWarning, "Failed to create package %s because no files accessible", packPath);
        return false;
    }
    uint64_t end = 4;
    for (const PendingMember& m : members) end += kPacEntryFixedBytes + m.name.size();
    uint64_t offset = end;
    for (const PendingMember& m : members) end += m.size;
    // Offsets and sizes are 32-bit fields.
    if (end > 0xFFFFFFFFull) {
        LogSend(kLogError, "Failed to create package %s - it would exceed 4 GiB", packPath);
        return false;
    }

    SimpleFile pack;
    if (!pack.Open(packPath, "wb")) {
        LogSend(kLogWarning, "Failed to create package - can't create file %s", packPath);
        return false;
    }
    LogSend(kLogInfo, "Creating package %s with %d resources", packPath, int(members.size()));

    std::vector<unsigned char> directory;
    directory.reserve(size_t(offset));
    PutLE32(directory, u32(members.size()));
    for (const PendingMember& m : members) {
        PutLE16(directory, unsigned(m.name.size()));
        directory.insert(directory.end(), m.name.begin(), m.name.end());
        PutLE32(directory, u32(offset));
        PutLE32(directory, m.size);
        offset += m.size;
    }
    // Our own buffers are complemented in place and written in large blocks;
    // small writes would also leave a freshly written pack in small page-cache
    // pieces that read back markedly slower.
    ComplementBytes(directory.data(), directory.size());
    if (pack.Write(directory.data(), int(directory.size())) != directory.size()) {
        LogSend(kLogError, "Failed to create package %s - write failed", packPath);
        return AbandonPack(pack, packPath);
    }

    std::vector<unsigned char> chunk(kCopyChunk);
    for (const PendingMember& m : members) {
        // A member that changed since it was measured would shift every later
        // member: the pack is abandoned instead.
        std::unique_ptr<File> source(open(m.source));
        u32 copied = 0;
        while (source && copied < m.size) {
            const unsigned int want = m.size - copied < kCopyChunk ? m.size - copied : kCopyChunk;
            const unsigned int got = source->Read(chunk.data(), want);
            if (got == 0) break;
            ComplementBytes(chunk.data(), got);
            if (pack.Write(chunk.data(), int(got)) != got) {
                LogSend(kLogError, "Failed to create package %s - write failed", packPath);
                return AbandonPack(pack, packPath);
            }
            copied += got;
        }
        if (copied != m.size) {
            LogSend(kLogError, "Failed to create package %s - %s could no longer be read", packPath,
                    m.source.c_str());
            return AbandonPack(pack, packPath);
        }
    }
    FILE* handle = pack.GetHandle();
    const bool flushed = std::fflush(handle) == 0 && std::ferror(handle) == 0;
    if (!flushed) {
        LogSend(kLogError, "Failed to create package %s - write failed", packPath);
        return AbandonPack(pack, packPath);
    }
    pack.Close();
    return true;
}

}  // namespace

bool WriteCoded(SimpleFile& file, const void* data, unsigned int count) {
    if (count == 0) return true;
    if (!data) return false;
    const unsigned char* p = static_cast<const unsigned char*>(data);
    unsigned char buffer[16384];
    while (count > 0) {
        const unsigned int n = count < sizeof buffer ? count : unsigned(sizeof buffer);
        ComplementCopy(buffer, p, n);
        if (file.Write(buffer, int(n)) != n) return false;
        p += n;
        count -= n;
    }
    return true;
}

// Memory order is little-endian on every platform we build for, which is
// the order the pack format stores.
bool WriteCoded_u16(SimpleFile& file, const void* data, unsigned int count) {
    if (count > 0xFFFFFFFFu / 2) return false;
    return WriteCoded(file, data, count * 2);
}

bool WriteCoded_u32(SimpleFile& file, const void* data, unsigned int count) {
    if (count > 0xFFFFFFFFu / 4) return false;
    return WriteCoded(file, data, count * 4);
}

std::shared_ptr<SimpleFile> PacPackage::OpenPackFile(const char* path) {
    // Close-on-exec: a pack handle has no business in a program this one starts.
    auto pack = std::make_shared<SimpleFile>();
    if (!pack->Open(path, "rbe")) return nullptr;
    return pack;
}

PacPackage::PacFile::PacFile(const char* packPath, u32 offset, u32 size)
    : PacFile(OpenPackFile(packPath), offset, size) {
    if (!IsOpen()) LogSend(kLogError, "Can't open resource (pac) file %s", packPath);
}

PacPackage::PacFile::PacFile(std::shared_ptr<SimpleFile> pack, u32 offset, u32 size)
    : m_pPack(std::move(pack)), m_Offset(offset), m_Size(size) {
    if (m_pPack && m_pPack->IsOpen()) m_Descriptor = fileno(m_pPack->GetHandle());
}

unsigned int PacPackage::PacFile::ReadAt(unsigned char* out, unsigned int size) {
    unsigned int got = 0;
    while (got < size) {
        const ssize_t n =
            pread(m_Descriptor, out + got, size - got, off_t(m_Offset) + off_t(m_Position) + off_t(got));
        if (n < 0 && errno == EINTR) continue;
        // A pack shorter than its directory says ends the member early.
        if (n <= 0) break;
        got += unsigned(n);
    }
    ComplementBytes(out, got);
    return got;
}

bool PacPackage::PacFile::FillWindow() {
    if (!m_pWindow) m_pWindow.reset(new (std::nothrow) unsigned char[kWindowBytes]);
    if (!m_pWindow) return false;
    const unsigned int left = m_Size - m_Position;
    m_WindowStart = m_Position;
    m_WindowLength = ReadAt(m_pWindow.get(), left < kWindowBytes ? left : kWindowBytes);
    return m_WindowLength > 0;
}

unsigned int PacPackage::PacFile::Read(void* buffer, unsigned int size) {
    if (!IsOpen() || !buffer || m_Position >= m_Size) return 0;
    const unsigned int left = m_Size - m_Position;
    const unsigned int want = size < left ? size : left;
    unsigned char* out = static_cast<unsigned char*>(buffer);
    unsigned int done = 0;
    while (done < want) {
        const u32 inWindow = m_Position - m_WindowStart;
        if (m_Position >= m_WindowStart && inWindow < m_WindowLength) {
            const unsigned int n = std::min(m_WindowLength - inWindow, want - done);
            std::memcpy(out + done, m_pWindow.get() + inWindow, n);
            done += n;
            m_Position += n;
        } else if (want - done >= kWindowBytes || !FillWindow()) {
            // Large reads land in the caller's buffer and are decoded there:
            // one system call, no copy. A window that cannot be had sends
            // small reads here too.
            const unsigned int got = ReadAt(out + done, want - done);
            done += got;
            m_Position += got;
            break;
        }
    }
    return done;
}

unsigned int PacPackage::PacFile::Seek(int offset, int origin) {
    const u32 old = m_Position;
    switch (origin) {
        case 0:
            m_Position = u32(offset);
            break;
        case 1:
            m_Position = m_Position + u32(offset);
            break;
        case 2:
            m_Position = m_Size + u32(offset);
            break;
        default:
            return 0;
    }
    return old;
}

bool PacPackage::PacFile::IsEnd() { return m_Position >= m_Size; }

PacPackage::PacPackage(const char* path) : Package(path ? path : ""), m_pPack(OpenPackFile(m_Name.c_str())) {
    if (!m_pPack) {
        LogSend(kLogWarning, "PacPackage -> package definition file not found (%s)", m_Name.c_str());
        m_Name += " (!)";
        return;
    }
    const u32 fileSize = GetPackFileSize(*m_pPack);
    const std::vector<PacDirectoryEntry> entries =
        ReadPacDirectory(*m_pPack, fileSize, "PacPackage", m_Name.c_str());
    FillDirectory(entries, fileSize, "PacPackage", m_Name.c_str(), m_Directory);
}

void PacPackage::FillDirectory(const std::vector<PacDirectoryEntry>& entries, u32 fileSize, const char* owner,
                               const char* path, Directory& out) {
    for (const PacDirectoryEntry& e : entries) {
        if (!IsPacEntryInFile(e, fileSize)) {
            LogSend(kLogError,
                    "%s -> %s: member %s (offset %u, %u bytes) lies beyond the end of the file (%u bytes); "
                    "left out",
                    owner, path, e.name.c_str(), e.offset, e.size, fileSize);
            continue;
        }
        // A name stored twice: the later entry wins.
        out[e.name] = file_entry{e.offset, e.size};
    }
}

u32 PacPackage::GetPackFileSize(SimpleFile& file) {
    FILE* f = file.GetHandle();
    if (!f || std::fseek(f, 0, SEEK_END) != 0) return 0;
    const off_t size = ftello(f);
    std::fseek(f, 0, SEEK_SET);
    if (size < 0) return 0;
    // Only the first 4 GiB can be addressed by the 32-bit fields.
    return uint64_t(size) > 0xFFFFFFFFull ? 0xFFFFFFFFu : u32(size);
}

File* PacPackage::OpenFile(const char* name) {
    if (!name) return nullptr;
    auto it = m_Directory.find(name);
    if (it == m_Directory.end()) return nullptr;
    return new PacFile(m_pPack, it->second.offset, it->second.size);
}

bool PacPackage::CreatePacPackage(std::list<std::string>& files, const char* packPath) {
    std::vector<Source> sources;
    for (const std::string& path : files) sources.push_back(Source{path, path});
    return CreatePacPackage(sources, packPath);
}

bool PacPackage::CreatePacPackage(const std::vector<Source>& sources, const char* packPath) {
    if (!packPath) return false;
    std::vector<PendingMember> members;
    for (const Source& s : sources) {
        const u32 size = SimpleFile::GetFileSize(s.path.c_str());
        if (size == 0 || !IsNameStorable(s.name)) {
            LogSend(kLogWarning, "Could not add file: %s to package", s.path.c_str());
            continue;
        }
        members.push_back(PendingMember{s.name, s.path, size});
    }
    if (IsOneOfTheSources(packPath, members)) {
        LogSend(kLogError, "Failed to create package %s - it is one of the files to pack", packPath);
        return false;
    }
    return WritePack(packPath, members, &OpenDiskSource);
}

bool PacPackage::CreatePacPackageFromPacPackages(std::list<std::string>& names, const char* packPath) {
    if (!packPath) return false;
    std::vector<PendingMember> members;
    for (const std::string& name : names) {
        std::unique_ptr<File> f(Singleton<Root>::Get()->OpenFile(name.c_str(), true));
        u32 size = 0;
        if (f) {
            f->Seek(0, 2);
            size = f->Seek(0, 1);
        }
        if (size == 0 || !IsNameStorable(name)) {
            LogSend(kLogWarning, "Could not add file: %s to package", name.c_str());
            continue;
        }
        members.push_back(PendingMember{name, name, size});
    }
    return WritePack(packPath, members, &OpenPackagedSource);
}

}  // namespace Zyn
