// A thin owner of one stdio handle, used directly by writers (the log file,
// the pack writer) and wrapped by DiskFile. Not a File. Every operation on a
// closed SimpleFile is a safe no-op.
#pragma once

#include <cstdio>

namespace Zyn {

class SimpleFile {
public:
    SimpleFile() = default;
    ~SimpleFile();
    SimpleFile(const SimpleFile&) = delete;
    SimpleFile& operator=(const SimpleFile&) = delete;

    /// Opens with a stdio mode ("rb", "wb", "w", ...); closes a previous handle
    /// first. True when a handle was obtained.
    [[nodiscard]] bool Open(const char* path, const char* mode);
    /// Closes when open; a closed file is left alone.
    void Close();
    bool IsOpen() const { return m_pHandle != nullptr; }

    /// Bytes stdio read or wrote; 0 when closed.
    unsigned int Read(void* buffer, unsigned int size);
    unsigned int Write(const void* buffer, int size);
    /// Position before the move; 0 when closed.
    unsigned int Seek(int offset, int origin);
    /// The stdio end-of-file indicator; true when closed.
    bool IsEnd();
    void Flush();
    /// Borrowed; null while closed.
    FILE* GetHandle() { return m_pHandle; }

    /// True when the file can be opened for reading.
    static bool DoesFileExist(const char* path);
    /// Size in bytes; 0 when the file cannot be opened or does not fit 32 bits.
    static unsigned int GetFileSize(const char* path);

private:
    FILE* m_pHandle = nullptr;
};

}  // namespace Zyn
