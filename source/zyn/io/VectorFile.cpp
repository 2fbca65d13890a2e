#include <zyn/io/VectorFile.h>

#include <cstring>
#include <new>
#include <stdexcept>

namespace Zyn {

VectorFile::VectorFile(std::vector<unsigned char> data) : m_Data(std::move(data)) {}

unsigned int VectorFile::Read(void* buffer, unsigned int size) {
    const size_t length = m_Data.size();
    if (!buffer || m_Position >= length) return 0;
    const size_t left = length - m_Position;
    const unsigned int n = size < left ? size : unsigned(left);
    if (n == 0) return 0;
    std::memcpy(buffer, m_Data.data() + m_Position, n);
    m_Position += n;
    return n;
}

unsigned int VectorFile::Write(const void* buffer, unsigned int size) {
    if (!buffer || size == 0) return 0;
    // Positions are 32-bit: a write that would end beyond them is refused.
    if (size > 0xFFFFFFFFu - m_Position) return 0;
    const size_t end = size_t(m_Position) + size;
    if (m_Data.size() < end) {
        try {
            m_Data.resize(end, 0);
        } catch (const std::bad_alloc&) {
            return 0;
        } catch (const std::length_error&) {
            return 0;
        }
    }
    std::memcpy(m_Data.data() + m_Position, buffer, size);
    m_Position += size;
    return size;
}

unsigned int VectorFile::Seek(int offset, int origin) {
    const unsigned int old = m_Position;
    switch (origin) {
        case 0:
            m_Position = unsigned(offset);
            break;
        case 1:
            m_Position = m_Position + unsigned(offset);
            break;
        case 2:
            m_Position = unsigned(m_Data.size()) + unsigned(offset);
            break;
        default:
            return 0;
    }
    return old;
}

bool VectorFile::IsEnd() { return m_Position >= m_Data.size(); }

}  // namespace Zyn
