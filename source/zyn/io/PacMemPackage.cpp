#include <zyn/io/PacMemPackage.h>

#include <cstdint>
#include <cstdio>
#include <new>

#include <zyn/core/Log.h>
#include <zyn/io/MemoryFile.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS(PacMemPackage, "PacMemPackage", &PacMemPackage::StaticCreate, nullptr, nullptr, Package)

PacMemPackage::PacMemPackage(const char* path) : Package(path ? path : "") {
    // Kept open while members are streamed, as PacPackage keeps its pack.
    const std::shared_ptr<SimpleFile> pack = PacPackage::OpenPackFile(m_Name.c_str());
    if (!pack) {
        LogSend(kLogWarning, "PacPackage -> package definition file not found (%s)", m_Name.c_str());
        m_Name += " (!)";
        return;
    }
    SimpleFile& file = *pack;
    const u32 fileSize = PacPackage::GetPackFileSize(file);
    const std::vector<PacDirectoryEntry> entries =
        ReadPacDirectory(file, fileSize, "PacMemPackage", m_Name.c_str());
    u32 first = 0xFFFFFFFFu;
    uint64_t last = 0;
    for (const PacDirectoryEntry& e : entries) {
        if (e.offset < first) first = e.offset;
        if (uint64_t(e.offset) + e.size > last) last = uint64_t(e.offset) + e.size;
    }
    // The members beyond the end are dropped here, after the extent above has
    // told whether the whole data region is present.
    PacPackage::FillDirectory(entries, fileSize, "PacMemPackage", m_Name.c_str(), m_Directory);
    if (m_Directory.empty()) return;
    m_pPack = pack;

    if (fileSize < last) {
        LogSend(kLogError, "Could not read pac file into memory (too small size): %s", m_Name.c_str());
        return;
    }
    const u32 dataSize = u32(last - first);
    LogSend(kLogInfo, "Reading pac file into memory (%d bytes): %s", int(dataSize), m_Name.c_str());
    // new[0] is valid; an all-empty region still gets a (zero-length) buffer.
    unsigned char* data = new (std::nothrow) unsigned char[dataSize ? dataSize : 1];
    if (!data) {
        LogSend(kLogWarning, " -> Not enough memory! Package will be streamed from hdd");
        return;
    }
    FILE* f = file.GetHandle();
    const bool read = fseeko(f, off_t(first), SEEK_SET) == 0 && std::fread(data, 1, dataSize, f) == dataSize;
    if (!read) {
        LogSend(kLogWarning, " -> Error loading file. Package will be streamed from hdd");
        delete[] data;
        return;
    }
    ComplementBytes(data, dataSize);
    for (auto& entry : m_Directory) entry.second.offset -= first;
    m_pData = data;
    m_pPack.reset();
}

PacMemPackage::~PacMemPackage() { delete[] m_pData; }

File* PacMemPackage::OpenFile(const char* name) {
    if (!name) return nullptr;
    auto it = m_Directory.find(name);
    if (it == m_Directory.end()) return nullptr;
    if (m_pData)
        return new MemoryFile(static_cast<const unsigned char*>(m_pData) + it->second.offset,
                              it->second.size);
    return new PacPackage::PacFile(m_pPack, it->second.offset, it->second.size);
}

}  // namespace Zyn
