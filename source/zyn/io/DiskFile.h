// A File over one disk file, opened by the constructor and closed by the
// destructor. Test IsOpen first: on a failed open every operation is a safe
// no-op (reads and writes return 0, IsEnd is true).
#pragma once

#include <zyn/io/File.h>
#include <zyn/io/SimpleFile.h>

namespace Zyn {

class DiskFile : public File {
public:
    /// Opens path with a stdio mode ("rb", "wb", ...).
    DiskFile(const char* path, const char* mode);

    unsigned int Read(void* buffer, unsigned int size) override;
    unsigned int Write(const void* buffer, unsigned int size) override;
    unsigned int Seek(int offset, int origin) override;
    bool IsEnd() override;

    bool IsOpen() const { return m_File.IsOpen(); }

private:
    SimpleFile m_File;
};

}  // namespace Zyn
