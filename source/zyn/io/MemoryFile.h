// A File over a block of memory that the stream does not own: the buffer
// must outlive the stream. The buffer never grows. A stream made over const
// data is read-only: its writes return 0.
#pragma once

#include <zyn/io/File.h>

namespace Zyn {

class MemoryFile : public File {
public:
    /// Readable and writable in place.
    MemoryFile(unsigned char* data, unsigned int size);
    /// Read-only; used for memory shared with other streams (pack buffers,
    /// compiled-in files).
    MemoryFile(const unsigned char* data, unsigned int size);
    ~MemoryFile() override;

    /// Copies min(size, bytes left); 0 once the position is at or past the end.
    unsigned int Read(void* buffer, unsigned int size) override;
    /// Overwrites in place under the same bound as Read.
    unsigned int Write(const void* buffer, unsigned int size) override;
    /// The position is not clamped; without data, or with an unknown origin,
    /// nothing moves and 0 is returned.
    unsigned int Seek(int offset, int origin) override;
    bool IsEnd() override;

private:
    unsigned char* m_pData;
    unsigned int m_Size;
    unsigned int m_Position = 0;
    bool m_bReadOnly;
};

}  // namespace Zyn
