// Packages over a pack file read from disk on demand, and the writers that
// make pack files. The object name is the pack file's path. The directory is
// read once by the constructor, which keeps the pack open: every stream reads
// through that one handle at explicit positions, so members may be read on
// different threads at once, and a pack replaced on disk after mounting is
// not mixed with the directory read from the old one.
#pragma once

#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <zyn/io/File.h>
#include <zyn/io/Package.h>
#include <zyn/io/PacFormat.h>
#include <zyn/io/SimpleFile.h>

namespace Zyn {

class PacPackage : public Package {
    ZYN_DECLARE_CLASS(PacPackage)

public:
    struct file_entry {
        u32 offset;  // first byte, from the start of the pack file (or of a PacMemPackage's buffer)
        u32 size;
    };
    /// Plain byte-wise order: lookups are exact and case-sensitive.
    struct less_str {
        bool operator()(const std::string& a, const std::string& b) const { return a < b; }
    };
    typedef std::map<std::string, file_entry, less_str> Directory;

    /// The stream of one member read from disk; complements as it reads.
    class PacFile : public File {
    public:
        /// Opens its own handle on the pack; logs an error when it cannot.
        PacFile(const char* packPath, u32 offset, u32 size);
        /// Reads through a handle shared with the package and its other streams.
        PacFile(std::shared_ptr<SimpleFile> pack, u32 offset, u32 size);
        bool IsOpen() const { return m_Descriptor >= 0; }

        /// At most the bytes left in the member.
        unsigned int Read(void* buffer, unsigned int size) override;
        /// Positions are inside the member; returns the old one. Unknown origin: 0.
        unsigned int Seek(int offset, int origin) override;
        bool IsEnd() override;

    private:
        // Reads the member's bytes at m_Position into out, complemented; the count that arrived.
        unsigned int ReadAt(unsigned char* out, unsigned int size);
        // Refills the window from m_Position; false when nothing arrived.
        bool FillWindow();

        // Read only at explicit positions (pread), never through stdio: no
        // seek, no stdio buffer, and the handle's own position is never used,
        // which is what lets streams share it.
        std::shared_ptr<SimpleFile> m_pPack;
        int m_Descriptor = -1;
        u32 m_Offset;
        u32 m_Size;
        u32 m_Position = 0;
        // Small reads are served from a window of decoded bytes; allocated by the first one.
        std::unique_ptr<unsigned char[]> m_pWindow;
        u32 m_WindowStart = 0;  // member position of m_pWindow[0]
        u32 m_WindowLength = 0;
    };

    /// One member to write: its name in the pack and the disk file holding its bytes.
    struct Source {
        std::string name;
        std::string path;
    };

    /// Reads the directory of the pack at path. A missing pack leaves an empty
    /// package whose name ends in " (!)"; members lying past the end of the file
    /// are logged and left out.
    explicit PacPackage(const char* path = "");
    ZYN_STATIC_CREATE(PacPackage)

    /// New PacFile owned by the caller, or null.
    File* OpenFile(const char* name) override;
    const Directory& GetDirectory() const { return m_Directory; }

    /// Writes a pack of the files at the given paths, each named exactly by its
    /// path. Empty, unreadable and over-long-named files are logged and left
    /// out. False, with no pack left behind, when nothing could be packed or
    /// any read or write failed.
    static bool CreatePacPackage(std::list<std::string>& files, const char* packPath);
    /// The same with member names chosen apart from the disk paths.
    static bool CreatePacPackage(const std::vector<Source>& sources, const char* packPath);
    /// Repacks files found through Root::OpenFile under the same names.
    static bool CreatePacPackageFromPacPackages(std::list<std::string>& names, const char* packPath);

    /// Puts into out the entries lying wholly inside a file of fileSize bytes
    /// (a name stored twice: the later entry wins); logs and drops the others.
    static void FillDirectory(const std::vector<PacDirectoryEntry>& entries, u32 fileSize, const char* owner,
                              const char* path, Directory& out);
    /// The pack at path opened for reading, to be shared by its streams; null when it cannot be.
    static std::shared_ptr<SimpleFile> OpenPackFile(const char* path);
    /// Size of the open pack, clamped to 32 bits; the position is put back at the start.
    static u32 GetPackFileSize(SimpleFile& file);

private:
    Directory m_Directory;
    // Open from mounting on; null when the pack could not be opened.
    std::shared_ptr<SimpleFile> m_pPack;
};

/// Writers of complemented bytes: each byte b of data, in memory order, is
/// written as 255 - b. The _u16 and _u32 forms take a count of 2- and 4-byte
/// values. True when every byte was written.
[[nodiscard]] bool WriteCoded(SimpleFile& file, const void* data, unsigned int count);
[[nodiscard]] bool WriteCoded_u16(SimpleFile& file, const void* data, unsigned int count);
[[nodiscard]] bool WriteCoded_u32(SimpleFile& file, const void* data, unsigned int count);

}  // namespace Zyn
