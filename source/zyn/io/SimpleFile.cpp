#include <zyn/io/SimpleFile.h>

#include <zyn/core/Log.h>

namespace Zyn {

SimpleFile::~SimpleFile() { Close(); }

bool SimpleFile::Open(const char* path, const char* mode) {
    Close();
    if (!path || !mode) return false;
    LogSend(kLogDebug, "Zyn::File opened: %s", path);
    m_pHandle = std::fopen(path, mode);
    return m_pHandle != nullptr;
}

void SimpleFile::Close() {
    if (!m_pHandle) return;
    LogSend(kLogDebug, "Zyn::File closed");
    std::fclose(m_pHandle);
    m_pHandle = nullptr;
}

unsigned int SimpleFile::Read(void* buffer, unsigned int size) {
    if (!m_pHandle || !buffer || size == 0) return 0;
    return unsigned(std::fread(buffer, 1, size, m_pHandle));
}

unsigned int SimpleFile::Write(const void* buffer, int size) {
    if (!m_pHandle || !buffer || size <= 0) return 0;
    return unsigned(std::fwrite(buffer, 1, size_t(size), m_pHandle));
}

unsigned int SimpleFile::Seek(int offset, int origin) {
    if (!m_pHandle) return 0;
    const long before = std::ftell(m_pHandle);
    std::fseek(m_pHandle, offset, origin);
    return before < 0 ? 0 : unsigned(before);
}

bool SimpleFile::IsEnd() { return !m_pHandle || std::feof(m_pHandle) != 0; }

void SimpleFile::Flush() {
    if (m_pHandle) std::fflush(m_pHandle);
}

bool SimpleFile::DoesFileExist(const char* path) {
    if (!path) return false;
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    std::fclose(f);
    return true;
}

unsigned int SimpleFile::GetFileSize(const char* path) {
    if (!path) return 0;
    FILE* f = std::fopen(path, "rb");
    if (!f) return 0;
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
    std::fclose(f);
    // Positions and sizes are 32-bit throughout; a bigger file cannot be described.
    if (size < 0 || (unsigned long)size > 0xFFFFFFFFul) return 0;
    return unsigned(size);
}

}  // namespace Zyn
