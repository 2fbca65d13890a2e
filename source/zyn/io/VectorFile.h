// A File over a byte vector that it owns and grows on write; used to build
// files in memory (save data, serialized objects) before they go to disk.
#pragma once

#include <vector>

#include <zyn/io/File.h>

namespace Zyn {

class VectorFile : public File {
public:
    VectorFile() = default;
    /// Starts at position 0 over a copy of data.
    explicit VectorFile(std::vector<unsigned char> data);

    unsigned int Read(void* buffer, unsigned int size) override;
    /// Grows the vector with zero bytes when the bytes after the position are
    /// fewer than size; returns size, or 0 when the vector cannot grow.
    unsigned int Write(const void* buffer, unsigned int size) override;
    /// End is the vector's length; an unknown origin moves nothing and returns 0.
    unsigned int Seek(int offset, int origin) override;
    bool IsEnd() override;

    const std::vector<unsigned char>& GetVector() const { return m_Data; }
    std::vector<unsigned char>& GetVector() { return m_Data; }

private:
    std::vector<unsigned char> m_Data;
    unsigned int m_Position = 0;
};

}  // namespace Zyn
