#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <zyn/core/Root.h>
#include <zyn/io/DiskFile.h>
#include <zyn/io/MemoryFile.h>
#include <zyn/io/SimpleFile.h>
#include <zyn/io/VectorFile.h>

#include "io/IoTestUtil.h"
#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;

namespace {

std::vector<unsigned char> Text(const std::string& s) {
    return std::vector<unsigned char>(s.begin(), s.end());
}

std::string NextLine(File& f, unsigned int size, unsigned int* count = nullptr) {
    std::vector<char> buffer(size + 1, 'Z');
    const unsigned int n = f.ReadLine(buffer.data(), size);
    if (count) *count = n;
    EXPECT_EQ(std::strlen(buffer.data()), n);
    return buffer.data();
}

}  // namespace

TEST(FileReadLine, EndsLinesAtLfCrLfAndLoneCr) {
    VectorFile f(Text("a\r\nb\rc\n\nd"));
    unsigned int n = 99;
    EXPECT_EQ(NextLine(f, 64, &n), "a");
    EXPECT_EQ(NextLine(f, 64), "b");
    EXPECT_EQ(NextLine(f, 64), "c");
    EXPECT_EQ(NextLine(f, 64, &n), "");
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(f.IsEnd());
    EXPECT_EQ(NextLine(f, 64), "d");
    EXPECT_EQ(NextLine(f, 64, &n), "");
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(f.IsEnd());
}

TEST(FileReadLine, SplitsLinesLongerThanTheBuffer) {
    VectorFile f(Text("abcdef\nxy"));
    unsigned int n = 0;
    EXPECT_EQ(NextLine(f, 4, &n), "abc");
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(NextLine(f, 4, &n), "def");
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(NextLine(f, 4, &n), "");
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(NextLine(f, 4, &n), "xy");
    EXPECT_EQ(n, 2u);
}

TEST(FileReadLine, CrAtTheEndMovesNothingBack) {
    VectorFile f(Text("ab\r"));
    EXPECT_EQ(NextLine(f, 16), "ab");
    EXPECT_TRUE(f.IsEnd());
    EXPECT_EQ(f.Seek(0, 1), 3u);
}

TEST(FileReadLine, LoneCrOnDiskStartsTheNextLineWithTheFollowingByte) {
    TempDir dir;
    WriteText(dir / "lines.txt", "one\rtwo\r\nthree");
    DiskFile f((dir / "lines.txt").c_str(), "rb");
    ASSERT_TRUE(f.IsOpen());
    EXPECT_EQ(NextLine(f, 16), "one");
    EXPECT_EQ(NextLine(f, 16), "two");
    EXPECT_EQ(NextLine(f, 16), "three");
}

TEST(FileReadLine, TinyBuffersConsumeNothing) {
    VectorFile f(Text("abc"));
    char zero[1] = {'Z'};
    EXPECT_EQ(f.ReadLine(zero, 0), 0u);
    EXPECT_EQ(zero[0], 'Z');
    EXPECT_EQ(f.ReadLine(nullptr, 8), 0u);
    char one[1] = {'Z'};
    EXPECT_EQ(f.ReadLine(one, 1), 0u);
    EXPECT_EQ(one[0], '\0');
    EXPECT_EQ(f.Seek(0, 1), 0u);
    EXPECT_EQ(NextLine(f, 2), "a");
}

TEST(FileSkipWhiteSpaces, StopsBeforeTheFirstOtherByte) {
    VectorFile f(Text(" \t\r\nx "));
    EXPECT_EQ(f.SkipWhiteSpaces(), 4u);
    char c = 0;
    ASSERT_EQ(f.Read(&c, 1), 1u);
    EXPECT_EQ(c, 'x');
    EXPECT_EQ(f.SkipWhiteSpaces(), 1u);
    EXPECT_TRUE(f.IsEnd());
    EXPECT_EQ(f.Seek(0, 1), 6u);
}

TEST(FilePrintf, WritesWithoutTerminatorAndCutsAt1023) {
    VectorFile f;
    EXPECT_TRUE(f.printf("%d-%s", 42, "x"));
    EXPECT_EQ(f.GetVector(), Text("42-x"));

    VectorFile big;
    const std::string longText(2000, 'q');
    EXPECT_TRUE(big.printf("%s!", longText.c_str()));
    EXPECT_EQ(big.GetVector().size(), 1023u);
    EXPECT_EQ(big.GetVector().back(), 'q');

    const unsigned char data[4] = {0, 0, 0, 0};
    MemoryFile readOnly(data, 4);
    EXPECT_FALSE(readOnly.printf("abc"));
}

TEST(FileElements, CountsWholeElementsOnly) {
    VectorFile f;
    const uint16_t shorts[3] = {0x0102, 0x0304, 0x0506};
    const uint32_t word = 0xA1B2C3D4;
    const uint64_t wide = 0x1122334455667788ull;
    EXPECT_EQ(f.Write16(shorts, 3), 3u);
    EXPECT_EQ(f.Write32(&word, 1), 1u);
    EXPECT_EQ(f.Write64(&wide, 1), 1u);
    ASSERT_EQ(f.GetVector().size(), 18u);
    EXPECT_EQ(f.GetVector()[0], 0x02);  // little-endian
    EXPECT_EQ(f.GetVector()[6], 0xD4);

    f.Seek(0, 0);
    uint16_t s[3] = {};
    uint32_t w = 0;
    uint64_t d = 0;
    EXPECT_EQ(f.Read16(s, 3), 3u);
    EXPECT_EQ(f.Read32(&w, 1), 1u);
    EXPECT_EQ(f.Read64(&d, 1), 1u);
    EXPECT_EQ(s[2], 0x0506);
    EXPECT_EQ(w, word);
    EXPECT_EQ(d, wide);

    // Ten bytes hold two whole 4-byte elements.
    VectorFile ten(std::vector<unsigned char>(10, 1));
    uint32_t four[4] = {};
    EXPECT_EQ(ten.Read32(four, 4), 2u);
    EXPECT_TRUE(ten.IsEnd());
}

TEST(FileString, RoundTripsEmptyShortAndLongStrings) {
    VectorFile f;
    const std::string longText(300, 'L');
    EXPECT_TRUE(f.WriteString(""));
    EXPECT_EQ(f.GetVector(), std::vector<unsigned char>(4, 0));
    EXPECT_TRUE(f.WriteString("hello"));
    EXPECT_TRUE(f.WriteString(longText));
    EXPECT_EQ(f.GetVector().size(), 4u + 9u + 304u);

    f.Seek(0, 0);
    std::string s = "untouched";
    EXPECT_TRUE(f.ReadString(s));
    EXPECT_EQ(s, "");
    EXPECT_TRUE(f.ReadString(s));
    EXPECT_EQ(s, "hello");
    EXPECT_TRUE(f.ReadString(s));
    EXPECT_EQ(s, longText);
    EXPECT_TRUE(f.IsEnd());
    s = "untouched";
    EXPECT_FALSE(f.ReadString(s));
    EXPECT_EQ(s, "untouched");
}

TEST(FileString, EndsAtAnEmbeddedNulAndReportsShortData) {
    RawPack raw;
    raw.U32(5).Str(std::string("ab\0cd", 5)).U32(10).Str("xyz");
    VectorFile f(raw.Plain());
    std::string s;
    EXPECT_TRUE(f.ReadString(s));
    EXPECT_EQ(s, "ab");
    EXPECT_FALSE(f.ReadString(s));
    EXPECT_EQ(s, "xyz");
}

TEST(FileString, HugeLengthPrefixAllocatesOnlyWhatTheStreamHolds) {
    // Under the sanitizers an allocation of the claimed 4 GiB would abort the test.
    for (uint32_t claimed : {0xFFFFFFF0u, 0x80000000u, 1000u}) {
        RawPack raw;
        raw.U32(claimed).Str("tail!");
        std::vector<unsigned char> bytes = raw.Plain();
        MemoryFile f(bytes.data(), unsigned(bytes.size()));
        std::string s;
        EXPECT_FALSE(f.ReadString(s)) << claimed;
        EXPECT_EQ(s, "tail!");
        EXPECT_TRUE(f.IsEnd());
    }
}

TEST(FileGetFileSize, KeepsThePosition) {
    unsigned char data[10] = {};
    MemoryFile m(data, 10);
    m.Seek(3, 0);
    EXPECT_EQ(m.GetFileSize(), 10u);
    EXPECT_EQ(m.Seek(0, 1), 3u);

    VectorFile v(std::vector<unsigned char>(7, 0));
    v.Seek(5, 0);
    EXPECT_EQ(v.GetFileSize(), 7u);
    EXPECT_EQ(v.Seek(0, 1), 5u);

    TempDir dir;
    WriteBytes(dir / "f.bin", Pattern(1234, 1));
    DiskFile d((dir / "f.bin").c_str(), "rb");
    d.Seek(100, 0);
    EXPECT_EQ(d.GetFileSize(), 1234u);
    EXPECT_EQ(d.Seek(0, 1), 100u);
    EXPECT_EQ(SimpleFile::GetFileSize((dir / "f.bin").c_str()), 1234u);
    EXPECT_EQ(SimpleFile::GetFileSize((dir / "missing").c_str()), 0u);
    EXPECT_TRUE(SimpleFile::DoesFileExist((dir / "f.bin").c_str()));
    EXPECT_FALSE(SimpleFile::DoesFileExist((dir / "missing").c_str()));
}

TEST(MemoryFile, SeekIsNotClampedAndReadsStopAtTheEnd) {
    unsigned char data[4] = {1, 2, 3, 4};
    MemoryFile f(data, 4);
    unsigned char out[8] = {};
    EXPECT_EQ(f.Read(out, 3), 3u);
    EXPECT_EQ(f.Seek(10, 0), 3u);
    EXPECT_EQ(f.Read(out, 1), 0u);
    EXPECT_EQ(f.Write(out, 1), 0u);
    EXPECT_TRUE(f.IsEnd());
    EXPECT_EQ(f.Seek(-10, 1), 10u);
    EXPECT_EQ(f.Seek(0, 7), 0u);
    EXPECT_EQ(f.Seek(0, 1), 0u);
    EXPECT_EQ(f.Read(out, 8), 4u);
    EXPECT_EQ(f.Seek(-2, 2), 4u);
    EXPECT_EQ(f.Read(out, 8), 2u);
    EXPECT_EQ(out[0], 3);

    MemoryFile empty(static_cast<unsigned char*>(nullptr), 5);
    EXPECT_EQ(empty.Seek(2, 0), 0u);
    EXPECT_EQ(empty.Read(out, 1), 0u);
    EXPECT_FALSE(empty.IsEnd());
}

TEST(MemoryFile, WritesInPlaceWithinTheBufferUnlessReadOnly) {
    unsigned char data[4] = {0, 0, 0, 0};
    MemoryFile f(data, 4);
    f.Seek(2, 0);
    EXPECT_EQ(f.Write("xyz", 3), 2u);
    EXPECT_EQ(data[2], 'x');
    EXPECT_EQ(data[3], 'y');

    MemoryFile readOnly(static_cast<const unsigned char*>(data), 4);
    EXPECT_EQ(readOnly.Write("q", 1), 0u);
    EXPECT_EQ(data[0], 0);
    unsigned char out[4] = {};
    EXPECT_EQ(readOnly.Read(out, 4), 4u);
    EXPECT_EQ(out[3], 'y');
}

TEST(VectorFile, WriteBeyondTheEndGrowsWithZeros) {
    VectorFile f;
    EXPECT_EQ(f.Seek(4, 0), 0u);
    EXPECT_EQ(f.Write("abcdefgh", 8), 8u);
    ASSERT_EQ(f.GetVector().size(), 12u);
    EXPECT_EQ(f.GetVector()[0], 0);
    EXPECT_EQ(f.GetVector()[3], 0);
    EXPECT_EQ(f.GetVector()[4], 'a');
    EXPECT_TRUE(f.IsEnd());
    // Overwrite inside, no growth.
    f.Seek(0, 0);
    EXPECT_EQ(f.Write("ZZ", 2), 2u);
    EXPECT_EQ(f.GetVector().size(), 12u);
    EXPECT_EQ(f.Seek(0, 9), 0u);
    EXPECT_EQ(f.Seek(0, 1), 2u);
}

TEST(VectorFile, RefusesWritesPastThe32BitRange) {
    VectorFile f;
    f.Seek(-16, 0);
    EXPECT_EQ(f.Write("0123456789abcdefXYZ", 19), 0u);
    EXPECT_TRUE(f.GetVector().empty());
}

TEST(DiskFile, EveryOperationIsASafeNoOpAfterAFailedOpen) {
    TempDir dir;
    DiskFile f((dir / "absent/file").c_str(), "rb");
    EXPECT_FALSE(f.IsOpen());
    char buffer[8] = {'Z'};
    EXPECT_EQ(f.Read(buffer, 8), 0u);
    EXPECT_EQ(f.Write("abc", 3), 0u);
    EXPECT_EQ(f.Seek(4, 0), 0u);
    EXPECT_TRUE(f.IsEnd());
    EXPECT_EQ(f.ReadLine(buffer, 8), 0u);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(f.GetFileSize(), 0u);
    std::string s = "kept";
    EXPECT_FALSE(f.ReadString(s));
    EXPECT_EQ(s, "kept");
    EXPECT_FALSE(f.WriteString("x"));
    EXPECT_FALSE(f.printf("x"));
}

TEST(DiskFile, WritesAndReadsBackThroughTheSameOperations) {
    TempDir dir;
    const std::string path = dir / "out.bin";
    {
        DiskFile out(path.c_str(), "wb");
        ASSERT_TRUE(out.IsOpen());
        EXPECT_TRUE(out.WriteString("name"));
        EXPECT_TRUE(out.printf("line %d\n", 7));
    }
    DiskFile in(path.c_str(), "rb");
    std::string s;
    EXPECT_TRUE(in.ReadString(s));
    EXPECT_EQ(s, "name");
    EXPECT_EQ(NextLine(in, 32), "line 7");
    char c;
    EXPECT_EQ(in.Read(&c, 1), 0u);
    EXPECT_TRUE(in.IsEnd());
}

TEST(SimpleFile, LogsOpenAndCloseAtDebugLevelOnce) {
    Root* root = Singleton<Root>::Get();
    const int level = root->m_LogLevel;
    root->m_LogLevel = kLogDebug;
    TempDir dir;
    const std::string path = dir / "s.txt";
    {
        ScopedLogCapture log;
        SimpleFile f;
        ASSERT_TRUE(f.Open(path.c_str(), "w"));
        EXPECT_EQ(f.Write("abc", 3), 3u);
        f.Close();
        f.Close();
        EXPECT_TRUE(log->Contains(" D. Zyn::File opened: " + path));
        EXPECT_EQ(log->Count("Zyn::File closed"), 1);
        EXPECT_EQ(f.Read(nullptr, 0), 0u);
        EXPECT_TRUE(f.IsEnd());
        ASSERT_TRUE(f.Open(path.c_str(), "rb"));
        char buffer[4] = {};
        EXPECT_EQ(f.Read(buffer, 4), 3u);
        EXPECT_TRUE(f.IsEnd());
    }
    root->m_LogLevel = level;
}
