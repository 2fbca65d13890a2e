// Byte streams. Callers own the File objects they create or receive and
// delete them through the virtual destructor.
#pragma once

namespace Zyn {

class File {
public:
    virtual ~File() = default;
    /// Bytes actually read.
    virtual unsigned int Read(void* buffer, unsigned int size) = 0;
    /// Bytes actually written; read-only streams write nothing.
    virtual unsigned int Write(const void* buffer, unsigned int size);
    /// Moves the position (origin 0 start, 1 current, 2 end); returns the old position.
    virtual unsigned int Seek(int offset, int origin) = 0;
    virtual bool IsEnd() = 0;
};

}  // namespace Zyn
