#include <zyn/io/MemoryFile.h>

#include <cstring>

namespace Zyn {

MemoryFile::MemoryFile(unsigned char* data, unsigned int size)
    : m_pData(data), m_Size(data ? size : 0), m_bReadOnly(false) {}

// The const is kept by m_bReadOnly: no write ever reaches the data.
MemoryFile::MemoryFile(const unsigned char* data, unsigned int size)
    : m_pData(const_cast<unsigned char*>(data)), m_Size(data ? size : 0), m_bReadOnly(true) {}

MemoryFile::~MemoryFile() { m_pData = nullptr; }

unsigned int MemoryFile::Read(void* buffer, unsigned int size) {
    if (!m_pData || !buffer || m_Position >= m_Size) return 0;
    const unsigned int left = m_Size - m_Position;
    const unsigned int n = size < left ? size : left;
    if (n == 0) return 0;
    std::memcpy(buffer, m_pData + m_Position, n);
    m_Position += n;
    return n;
}

unsigned int MemoryFile::Write(const void* buffer, unsigned int size) {
    if (m_bReadOnly || !m_pData || !buffer || m_Position >= m_Size) return 0;
    const unsigned int left = m_Size - m_Position;
    const unsigned int n = size < left ? size : left;
    if (n == 0) return 0;
    std::memcpy(m_pData + m_Position, buffer, n);
    m_Position += n;
    return n;
}

unsigned int MemoryFile::Seek(int offset, int origin) {
    if (!m_pData) return 0;
    const unsigned int old = m_Position;
    // Unsigned arithmetic: a move before the start lands far past the end,
    // where Read and Write return 0.
    switch (origin) {
        case 0:
            m_Position = unsigned(offset);
            break;
        case 1:
            m_Position = m_Position + unsigned(offset);
            break;
        case 2:
            m_Position = m_Size + unsigned(offset);
            break;
        default:
            return 0;
    }
    return old;
}

bool MemoryFile::IsEnd() { return m_pData && m_Position >= m_Size; }

}  // namespace Zyn
