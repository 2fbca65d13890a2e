#include "UnpackFolder.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "ToolOutput.h"

namespace Zynpac {

namespace {

bool IsLink(int folder, const std::string& name) {
    struct stat st;
    return fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

// Closes the descriptors of a folder chain however the member ends.
struct ChainCloser {
    std::vector<int>& chain;
    ~ChainCloser() {
        for (int fd : chain) close(fd);
    }
};

}  // namespace

UnpackFolder::~UnpackFolder() {
    if (m_Fd >= 0) close(m_Fd);
}

bool UnpackFolder::Open(const std::string& path) {
    m_Path = path;
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec) {
        ZynTool::Error("cannot create folder %s: %s", path.c_str(), ec.message().c_str());
        return false;
    }
    m_Fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_Fd < 0) {
        ZynTool::Error("cannot open folder %s: %s", path.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

std::string UnpackFolder::Shown(const std::vector<std::string>& parts, size_t count) const {
    std::string s = m_Path;
    for (size_t i = 0; i < count; ++i) s += "/" + parts[i];
    return s;
}

int UnpackFolder::OpenFolders(const std::string& member, const std::vector<std::string>& parts,
                              std::vector<int>& chain, std::vector<size_t>& made) {
    const size_t folders = parts.size() - 1;
    if (folders == 0) return m_Fd;
    if (m_bHasOpenat2) {
        std::string path = parts[0];
        for (size_t i = 1; i < folders; ++i) path += "/" + parts[i];
        open_how how = {};
        how.flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS;
        const long fd = syscall(SYS_openat2, m_Fd, path.c_str(), &how, sizeof how);
        if (fd >= 0) {
            chain.push_back(int(fd));
            return int(fd);
        }
        if (errno == ENOSYS) m_bHasOpenat2 = false;
        // Otherwise a folder is missing or something is in the way: the walk
        // below makes what is missing and names what is in the way.
    }
    int parent = m_Fd;
    for (size_t i = 0; i < folders; ++i) {
        const char* name = parts[i].c_str();
        if (mkdirat(parent, name, 0777) == 0) {
            made.push_back(i);
        } else if (errno != EEXIST) {
            ZynTool::Error("cannot unpack \"%s\": cannot create folder %s: %s", Printable(member).c_str(),
                           Printable(Shown(parts, i + 1)).c_str(), std::strerror(errno));
            return -1;
        }
        const int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            if (IsLink(parent, parts[i])) {
                ZynTool::Error("refusing to unpack \"%s\": %s is a symbolic link", Printable(member).c_str(),
                               Printable(Shown(parts, i + 1)).c_str());
            } else {
                ZynTool::Error("cannot unpack \"%s\": cannot open folder %s: %s", Printable(member).c_str(),
                               Printable(Shown(parts, i + 1)).c_str(), std::strerror(error));
            }
            return -1;
        }
        chain.push_back(fd);
        parent = fd;
    }
    return parent;
}

bool UnpackFolder::WriteFile(const std::string& member, const std::vector<std::string>& parts,
                             const std::function<CopyResult(int fd)>& fill) {
    std::vector<int> chain;
    ChainCloser closer{chain};
    std::vector<size_t> made;
    const int parent = OpenFolders(member, parts, chain, made);
    bool ok = parent >= 0;
    const std::string& leaf = parts.back();
    const std::string shown = Printable(Shown(parts, parts.size()));
    if (ok && IsLink(parent, leaf)) {
        ZynTool::Error("refusing to unpack \"%s\": %s is a symbolic link", Printable(member).c_str(),
                       shown.c_str());
        ok = false;
    }
    std::string temp;
    int fd = -1;
    while (ok && fd < 0) {
        temp = ".zynpac-" + std::to_string(getpid()) + "-" + std::to_string(m_TempCount++);
        // O_EXCL never follows a link, and never opens what was there before.
        fd = openat(parent, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            ZynTool::Error("cannot write %s: %s", shown.c_str(), std::strerror(errno));
            ok = false;
        }
    }
    if (ok) {
        const CopyResult copied = fill(fd);
        const int writeError = errno;
        if (copied == CopyResult::kWriteFailed) {
            ZynTool::Error("cannot write %s: %s", shown.c_str(), std::strerror(writeError));
            ok = false;
        } else if (copied == CopyResult::kReadFailed) {
            ZynTool::Error("could not unpack \"%s\" completely", Printable(member).c_str());
            ok = false;
        }
    }
    if (fd >= 0 && close(fd) != 0 && ok) {
        ZynTool::Error("cannot write %s: %s", shown.c_str(), std::strerror(errno));
        ok = false;
    }
    if (ok && renameat(parent, temp.c_str(), parent, leaf.c_str()) != 0) {
        ZynTool::Error("cannot write %s: %s", shown.c_str(), std::strerror(errno));
        ok = false;
    }
    if (ok) return true;
    if (fd >= 0) unlinkat(parent, temp.c_str(), 0);
    // Folders made for this member go too; one that meanwhile holds something stays.
    for (size_t k = made.size(); k-- > 0;) {
        const size_t i = made[k];
        unlinkat(i == 0 ? m_Fd : chain[i - 1], parts[i].c_str(), AT_REMOVEDIR);
    }
    return false;
}

}  // namespace Zynpac
