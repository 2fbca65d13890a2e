#include <zyn/io/DiskFile.h>

#include <climits>

namespace Zyn {

DiskFile::DiskFile(const char* path, const char* mode) { (void)m_File.Open(path, mode); }

unsigned int DiskFile::Read(void* buffer, unsigned int size) { return m_File.Read(buffer, size); }

unsigned int DiskFile::Write(const void* buffer, unsigned int size) {
    // SimpleFile writes take an int count: split what does not fit.
    const unsigned char* p = static_cast<const unsigned char*>(buffer);
    unsigned int written = 0;
    while (written < size) {
        const unsigned int chunk = size - written < unsigned(INT_MAX) ? size - written : unsigned(INT_MAX);
        const unsigned int n = m_File.Write(p + written, int(chunk));
        written += n;
        if (n != chunk) break;
    }
    return written;
}

unsigned int DiskFile::Seek(int offset, int origin) { return m_File.Seek(offset, origin); }

bool DiskFile::IsEnd() { return m_File.IsEnd(); }

}  // namespace Zyn
