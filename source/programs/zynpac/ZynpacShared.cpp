#include "ZynpacShared.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <zyn/core/Root.h>
#include <zyn/io/File.h>

#include "ToolOutput.h"

namespace Zynpac {

void ApplyVerbose(const ZynTool::Args& args) {
    if (args.verbose) Zyn::Singleton<Zyn::Root>::Get()->m_LogLevel = Zyn::kLogInfo;
}

OpenedPack::OpenedPack(const std::string& path) : m_pPack(new Zyn::PacPackage(path.c_str())) {
    m_pPack->AddRef();
}

OpenedPack::~OpenedPack() { m_pPack->Release(); }

std::unique_ptr<OpenedPack> OpenPack(const std::string& path) {
    // The framework only says "not found" whatever the cause: ask the system
    // first, so that the message names the real one.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        ZynTool::Error("cannot open %s: %s", path.c_str(), std::strerror(errno));
        return nullptr;
    }
    struct stat st;
    const bool isFolder = fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
    close(fd);
    if (isFolder) {
        ZynTool::Error("cannot open %s: %s", path.c_str(), std::strerror(EISDIR));
        return nullptr;
    }
    return std::make_unique<OpenedPack>(path);
}

MemberList MembersInFileOrder(const Zyn::PacPackage& pack) {
    MemberList members(pack.GetDirectory().begin(), pack.GetDirectory().end());
    std::stable_sort(members.begin(), members.end(),
                     [](const auto& a, const auto& b) { return a.second.offset < b.second.offset; });
    return members;
}

CopyResult CopyMember(Zyn::PacPackage& pack, const std::string& name, uint32_t size, int fd) {
    std::unique_ptr<Zyn::File> in(pack.OpenFile(name.c_str()));
    if (!in) return CopyResult::kReadFailed;
    std::vector<unsigned char> buffer(1u << 20);
    uint32_t copied = 0;
    while (copied < size) {
        const unsigned int n = in->Read(buffer.data(), unsigned(buffer.size()));
        if (n == 0) break;
        for (unsigned int done = 0; done < n;) {
            const ssize_t w = write(fd, buffer.data() + done, n - done);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                if (w == 0) errno = EIO;
                return CopyResult::kWriteFailed;
            }
            done += unsigned(w);
        }
        copied += n;
    }
    return copied == size ? CopyResult::kOk : CopyResult::kReadFailed;
}

std::vector<std::string> SafeComponents(const std::string& name) {
    if (name.empty() || name.find('\0') != std::string::npos) return {};
    if (name[0] == '/' || name[0] == '\\') return {};
    // A drive prefix ("C:") is absolute where these packs come from.
    if (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0]))) return {};
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("/\\", start);
        if (end == std::string::npos) end = name.size();
        const std::string part = name.substr(start, end - start);
        if (part == "..") return {};
        if (!part.empty() && part != ".") parts.push_back(part);
        start = end + 1;
    }
    return parts;
}

namespace {

// Length of the UTF-8 sequence starting at s[i] and its code point, or 0
// when the bytes there are no well-formed sequence.
size_t DecodeUtf8(const std::string& s, size_t i, uint32_t& code) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t length;
    uint32_t least;
    if (c < 0x80) {
        code = c;
        return 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
        length = 2, code = c & 0x1F, least = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3, code = c & 0x0F, least = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4, code = c & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (i + length > s.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        const unsigned char t = static_cast<unsigned char>(s[i + k]);
        if ((t & 0xC0) != 0x80) return 0;
        code = code << 6 | (t & 0x3F);
    }
    // Overlong forms, surrogates and values past Unicode are not UTF-8.
    if (code < least || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
    return length;
}

}  // namespace

std::string Printable(const std::string& name) {
    std::string out;
    out.reserve(name.size());
    for (size_t i = 0; i < name.size();) {
        uint32_t code = 0;
        size_t length = DecodeUtf8(name, i, code);
        const bool control = code < 0x20 || (code >= 0x7F && code <= 0x9F);
        if (length > 0 && !control) {
            out.append(name, i, length);
            i += length;
            continue;
        }
        if (length == 0) length = 1;
        for (size_t k = 0; k < length; ++k) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(name[i + k]));
            out += hex;
        }
        i += length;
    }
    return out;
}

}  // namespace Zynpac
