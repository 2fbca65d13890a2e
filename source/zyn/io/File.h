// Byte streams: every byte the framework reads or writes passes through File.
// Callers own the File objects they create or receive and delete them through
// the virtual destructor. Multi-byte values are in the machine's byte order
// (little-endian on every platform we build for). A stream is used by one
// thread at a time.
#pragma once

#include <string>

namespace Zyn {

class File {
public:
    virtual ~File() = default;
    /// Bytes actually read; 0 at the end or on failure.
    virtual unsigned int Read(void* buffer, unsigned int size) = 0;
    /// Bytes actually written; read-only streams keep this default and write nothing.
    virtual unsigned int Write(const void* buffer, unsigned int size);
    /// Moves the position (origin 0 start, 1 current, 2 end); returns the old position.
    /// An unknown origin moves nothing and returns 0.
    virtual unsigned int Seek(int offset, int origin) = 0;
    /// True once the position stands at (or past) the end.
    virtual bool IsEnd() = 0;

    /// Reads one line without its line end (LF, CR LF or a lone CR) into buffer,
    /// NUL-terminated. Returns the characters stored: at most size - 1, the rest
    /// of a longer line comes back from the next call. 0 at the end of the stream
    /// as for an empty line; tell them apart with IsEnd. Size 0 stores nothing.
    unsigned int ReadLine(char* buffer, unsigned int size);
    /// Passes space, TAB, LF and CR; returns how many bytes were passed.
    unsigned int SkipWhiteSpaces();
    /// Writes formatted text without its terminator; text beyond 1023 characters
    /// is cut. True when something was written.
    bool printf(const char* format, ...) __attribute__((format(printf, 2, 3)));

    /// Number of whole 2-, 4- or 8-byte elements read or written.
    unsigned int Read16(void* buffer, unsigned int count);
    unsigned int Read32(void* buffer, unsigned int count);
    unsigned int Read64(void* buffer, unsigned int count);
    unsigned int Write16(const void* buffer, unsigned int count);
    unsigned int Write32(const void* buffer, unsigned int count);
    unsigned int Write64(const void* buffer, unsigned int count);

    /// 32-bit length, then the characters without terminator. False on a short write.
    bool WriteString(const std::string& s);
    /// Reads what WriteString wrote. The string ends at the first NUL of the
    /// data. False (with whatever arrived assigned) when the stream held fewer
    /// bytes than the length; false and s untouched when no length could be read.
    bool ReadString(std::string& s);
    /// Size of the stream; the position is left where it was.
    unsigned int GetFileSize();
};

}  // namespace Zyn
