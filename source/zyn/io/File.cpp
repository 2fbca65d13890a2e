#include <zyn/io/File.h>

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace Zyn {

namespace {

// Formatted text is limited to what one buffer holds; one per thread so that
// loaders on the worker thread cannot garble the frame thread's output.
thread_local char t_PrintfBuffer[1024];

// Strings this short need no allocation.
const unsigned int kShortString = 255;

// Elements that fit in one 32-bit byte count.
unsigned int ClampCount(unsigned int count, unsigned int elementSize) {
    const unsigned int most = 0xFFFFFFFFu / elementSize;
    return count < most ? count : most;
}

}  // namespace

unsigned int File::Write(const void*, unsigned int) { return 0; }

unsigned int File::ReadLine(char* buffer, unsigned int size) {
    if (!buffer || size == 0) return 0;
    unsigned int count = 0;
    while (count < size - 1) {
        unsigned char c = 0;
        if (Read(&c, 1) != 1 || c == '\n') break;
        if (c == '\r') {
            unsigned char next = 0;
            // A lone CR ends a line too; the byte after it starts the next one.
            if (Read(&next, 1) == 1 && next != '\n') Seek(-1, 1);
            break;
        }
        buffer[count++] = char(c);
    }
    buffer[count] = '\0';
    return count;
}

unsigned int File::SkipWhiteSpaces() {
    unsigned int skipped = 0;
    unsigned char c = 0;
    while (Read(&c, 1) == 1) {
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
            Seek(-1, 1);
            break;
        }
        ++skipped;
    }
    return skipped;
}

bool File::printf(const char* format, ...) {
    if (!format) return false;
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(t_PrintfBuffer, sizeof t_PrintfBuffer, format, args);
    va_end(args);
    if (n < 0) return false;
    const unsigned int length = unsigned(n) < sizeof t_PrintfBuffer ? unsigned(n) : sizeof t_PrintfBuffer - 1;
    return Write(t_PrintfBuffer, length) != 0;
}

unsigned int File::Read16(void* buffer, unsigned int count) {
    return Read(buffer, ClampCount(count, 2) * 2) / 2;
}
unsigned int File::Read32(void* buffer, unsigned int count) {
    return Read(buffer, ClampCount(count, 4) * 4) / 4;
}
unsigned int File::Read64(void* buffer, unsigned int count) {
    return Read(buffer, ClampCount(count, 8) * 8) / 8;
}

unsigned int File::Write16(const void* buffer, unsigned int count) {
    return Write(buffer, ClampCount(count, 2) * 2) / 2;
}
unsigned int File::Write32(const void* buffer, unsigned int count) {
    return Write(buffer, ClampCount(count, 4) * 4) / 4;
}
unsigned int File::Write64(const void* buffer, unsigned int count) {
    return Write(buffer, ClampCount(count, 8) * 8) / 8;
}

bool File::WriteString(const std::string& s) {
    if (s.size() > 0xFFFFFFFFu) return false;
    const unsigned int length = unsigned(s.size());
    if (Write32(&length, 1) != 1) return false;
    return length == 0 || Write(s.data(), length) == length;
}

bool File::ReadString(std::string& s) {
    unsigned int length = 0;
    if (Read32(&length, 1) != 1) return false;
    if (length <= kShortString) {
        char small[kShortString + 1];
        const unsigned int got = length ? Read(small, length) : 0;
        small[got] = '\0';
        s.assign(small);
        return got == length;
    }
    // The length comes from outside data: never allocate more than the
    // stream can still deliver.
    const unsigned int position = Seek(0, 1);
    const unsigned int size = GetFileSize();
    const unsigned int remaining = size > position ? size - position : 0;
    const unsigned int wanted = length < remaining ? length : remaining;
    std::vector<char> buffer(size_t(wanted) + 1);
    const unsigned int got = wanted ? Read(buffer.data(), wanted) : 0;
    buffer[got] = '\0';
    s.assign(buffer.data());
    return got == length;
}

unsigned int File::GetFileSize() {
    const unsigned int position = Seek(0, 2);
    return Seek(int(position), 0);
}

}  // namespace Zyn
