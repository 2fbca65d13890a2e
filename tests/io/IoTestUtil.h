// Helpers for the io tests: a temporary folder removed at the end of the
// test, whole-file byte access, and an encoder of raw pack bytes that does
// not share code with the framework's writer.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace ZynTest {

typedef std::vector<unsigned char> Bytes;

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zyn-io-XXXXXX").string();
        if (mkdtemp(pattern.data())) m_Path = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        if (!m_Path.empty()) std::filesystem::remove_all(m_Path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    /// Path of name inside the folder.
    std::string operator/(const std::string& name) const { return m_Path + "/" + name; }
    const std::string& Path() const { return m_Path; }

private:
    std::string m_Path;
};

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline void WriteText(const std::string& path, const std::string& text) {
    WriteBytes(path, Bytes(text.begin(), text.end()));
}

inline Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// Bytes 0, 1, 2, ... of a given length, shifted by seed so members differ.
inline Bytes Pattern(size_t size, unsigned seed) {
    Bytes b(size);
    for (size_t i = 0; i < size; ++i) b[i] = static_cast<unsigned char>(i * 7 + seed);
    return b;
}

/// Builds pack bytes field by field in plain form; Coded() complements them.
class RawPack {
public:
    RawPack& U32(uint32_t v) {
        for (int s = 0; s < 32; s += 8) m_Bytes.push_back(static_cast<unsigned char>(v >> s));
        return *this;
    }
    RawPack& U16(uint16_t v) {
        m_Bytes.push_back(static_cast<unsigned char>(v));
        m_Bytes.push_back(static_cast<unsigned char>(v >> 8));
        return *this;
    }
    RawPack& Str(const std::string& s) {
        m_Bytes.insert(m_Bytes.end(), s.begin(), s.end());
        return *this;
    }
    /// Name length, name, offset, size.
    RawPack& Entry(const std::string& name, uint32_t offset, uint32_t size) {
        return U16(uint16_t(name.size())).Str(name).U32(offset).U32(size);
    }
    RawPack& Data(const Bytes& b) {
        m_Bytes.insert(m_Bytes.end(), b.begin(), b.end());
        return *this;
    }
    size_t Size() const { return m_Bytes.size(); }
    const Bytes& Plain() const { return m_Bytes; }
    Bytes Coded() const {
        Bytes out(m_Bytes);
        for (unsigned char& c : out) c = static_cast<unsigned char>(~c);
        return out;
    }

private:
    Bytes m_Bytes;
};

}  // namespace ZynTest
