// A package over a pack file whose data region is read into memory once, at
// construction. Streams it hands out point into that memory: delete them
// before the package. When the pack cannot be held in memory (too short, no
// memory, a failed read) it serves the same members streamed from disk.
#pragma once

#include <memory>

#include <zyn/io/PacPackage.h>

namespace Zyn {

class PacMemPackage : public Package {
    ZYN_DECLARE_CLASS(PacMemPackage)

public:
    explicit PacMemPackage(const char* path = "");
    ~PacMemPackage() override;
    ZYN_STATIC_CREATE(PacMemPackage)

    /// New stream owned by the caller (a read-only MemoryFile, or a PacFile when
    /// streaming), or null.
    File* OpenFile(const char* name) override;
    /// Offsets index the buffer when IsInMemory, the pack file otherwise.
    const PacPackage::Directory& GetDirectory() const { return m_Directory; }
    bool IsInMemory() const { return m_pData != nullptr; }

private:
    PacPackage::Directory m_Directory;
    // The decoded data region; null while streaming. Owned.
    unsigned char* m_pData = nullptr;
    // The pack, open while streaming.
    std::shared_ptr<SimpleFile> m_pPack;
};

}  // namespace Zyn
