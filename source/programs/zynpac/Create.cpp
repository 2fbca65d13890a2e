// zynpac create: a pack of files and folders, written by the framework's
// writer to a temporary file and renamed into place. Every file is checked
// before anything is written, and the written pack is read back: either
// every file named is stored, or no pack is left (an old one stays as it was).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include <zyn/io/PacFormat.h>
#include <zyn/io/PacPackage.h>
#include <zyn/io/SimpleFile.h>

#include "ToolOutput.h"
#include "ZynpacShared.h"

namespace fs = std::filesystem;

namespace Zynpac {

namespace {

const char* const kCreateHelp =
    "Usage: zynpac create [-C DIR] [-r] [-L] OUT.pac FILE...\n"
    "Writes the files into a new pack, in the order given. Without -C each file\n"
    "argument is named exactly as given.\n"
    "\n"
    "  -C, --relative-to DIR  name members by their path relative to DIR, with\n"
    "                         backslash separators (temple\\temple.jp2); every FILE\n"
    "                         must lie inside DIR\n"
    "  -r, --recursive        add the files of folder arguments, recursively, in\n"
    "                         byte-wise order of their names; without -C they are\n"
    "                         named by the folder argument and their path in it,\n"
    "                         with backslash separators (assets\\fx\\burst.zyn)\n"
    "  -L, --follow           store the targets of symbolic links even when they\n"
    "                         lie outside the tree\n"
    "\n"
    "The tree is DIR with -C, else each folder argument. A symbolic link in it is\n"
    "stored as the file it points to when that file lies inside the tree; a link\n"
    "leading out of it is refused unless -L is given. Links to folders are not\n"
    "followed and are skipped with a warning. Empty files cannot be packed and\n"
    "are skipped with a warning.\n"
    "\n"
    "Absolute names and names with \"..\" parts are refused (extract would refuse\n"
    "them), as are names longer than 128 bytes, files that cannot be read and\n"
    "anything that is not a regular file. Each such file is named and no pack is\n"
    "written; the exit status is 1. The pack is written to a temporary file and\n"
    "renamed into place.\n";

// A file to store, as found on the command line or in a folder.
struct Candidate {
    std::string path;  // on disk, as the user wrote it or as found beneath a folder argument
    std::string name;  // member name
    std::string tree;  // what the file must resolve inside; empty when unconfined
};

class Collector {
public:
    Collector(const std::string& base, bool recursive, bool follow)
        : m_Base(base), m_bRecursive(recursive), m_bFollow(follow) {}

    void AddArgument(const std::string& arg);
    /// The files to store, each checked; empty when a problem was reported.
    std::vector<Zyn::PacPackage::Source> Check();
    int GetProblemCount() const { return m_Problems; }
    /// Bytes of the pack of what Check kept.
    uint64_t GetPackSize() const { return m_PackSize; }

private:
    void Problem(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Walk(const fs::path& folder, const std::string& argument, std::vector<Candidate>& found);
    bool NameRelativeToBase(const std::string& path, std::string& name);
    bool IsStorable(const Candidate& c, uint32_t& size);

    std::string m_Base;
    bool m_bRecursive;
    bool m_bFollow;
    std::vector<Candidate> m_Candidates;
    int m_Problems = 0;
    uint64_t m_PackSize = 4;
};

std::string Backslashed(std::string s) {
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
}

const char* KindOf(mode_t mode) {
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISDIR(mode)) return "a folder";
    return "a special file";
}

// The path with every link resolved, or empty (errno set) when it cannot be.
std::string RealPath(const std::string& path) {
    char* real = realpath(path.c_str(), nullptr);
    if (!real) return "";
    std::string s = real;
    std::free(real);
    return s;
}

bool IsInside(const std::string& path, const std::string& tree) {
    if (tree == "/") return true;
    return path.size() > tree.size() && path.compare(0, tree.size(), tree) == 0 && path[tree.size()] == '/';
}

void Collector::Problem(const char* format, ...) {
    va_list args, again;
    va_start(args, format);
    va_copy(again, args);
    std::vector<char> message(size_t(std::max(0, std::vsnprintf(nullptr, 0, format, args))) + 1);
    std::vsnprintf(message.data(), message.size(), format, again);
    va_end(again);
    va_end(args);
    ZynTool::Error("%s", message.data());
    ++m_Problems;
}

bool Collector::NameRelativeToBase(const std::string& path, std::string& name) {
    std::error_code ec;
    const fs::path absFile = fs::absolute(path, ec).lexically_normal();
    const fs::path absBase = fs::absolute(m_Base, ec).lexically_normal();
    const fs::path rel = absFile.lexically_relative(absBase);
    if (ec || rel.empty() || *rel.begin() == ".." || rel == ".") {
        Problem("%s is not inside %s", path.c_str(), m_Base.c_str());
        return false;
    }
    name = Backslashed(rel.generic_string());
    return true;
}

void Collector::AddArgument(const std::string& arg) {
    struct stat st;
    // A link named on the command line is followed: the user chose it.
    if (stat(arg.c_str(), &st) != 0) {
        Problem("cannot read %s: %s", arg.c_str(), std::strerror(errno));
        return;
    }
    if (S_ISREG(st.st_mode)) {
        Candidate c{arg, arg, m_Base};
        if (!m_Base.empty() && !NameRelativeToBase(arg, c.name)) return;
        m_Candidates.push_back(c);
        return;
    }
    if (!S_ISDIR(st.st_mode)) {
        Problem("cannot store %s: it is %s, not a regular file", arg.c_str(), KindOf(st.st_mode));
        return;
    }
    if (!m_bRecursive) {
        Problem("%s is a folder (use -r to add its files)", arg.c_str());
        return;
    }
    if (!m_Base.empty()) {
        // One message for the folder rather than one for each of its files.
        std::error_code ec;
        const fs::path rel = fs::absolute(arg, ec).lexically_normal().lexically_relative(
            fs::absolute(m_Base, ec).lexically_normal());
        if (ec || rel.empty() || *rel.begin() == "..") {
            Problem("%s is not inside %s", arg.c_str(), m_Base.c_str());
            return;
        }
    }
    std::vector<Candidate> found;
    Walk(arg, arg, found);
    // Directory order is the file system's whim; names give a stable order.
    std::sort(found.begin(), found.end(),
              [](const Candidate& a, const Candidate& b) { return a.name < b.name; });
    m_Candidates.insert(m_Candidates.end(), found.begin(), found.end());
}

void Collector::Walk(const fs::path& folder, const std::string& argument, std::vector<Candidate>& found) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) {
        Problem("cannot read folder %s: %s", folder.string().c_str(), ec.message().c_str());
        return;
    }
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        const fs::path& path = it->path();
        struct stat st;
        if (lstat(path.c_str(), &st) != 0) {
            Problem("cannot read %s: %s", path.c_str(), std::strerror(errno));
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            Walk(path, argument, found);
            continue;
        }
        if (S_ISLNK(st.st_mode)) {
            struct stat target;
            if (stat(path.c_str(), &target) != 0) {
                if (errno == ENOENT)
                    Problem("cannot store %s: it is a symbolic link whose target is missing", path.c_str());
                else
                    Problem("cannot read %s: %s", path.c_str(), std::strerror(errno));
                continue;
            }
            if (S_ISDIR(target.st_mode)) {
                ZynTool::Error("warning: skipping %s (links to folders are not followed)", path.c_str());
                continue;
            }
            st = target;
        }
        if (!S_ISREG(st.st_mode)) {
            Problem("cannot store %s: it is %s, not a regular file", path.c_str(), KindOf(st.st_mode));
            continue;
        }
        Candidate c{path.string(), "", m_Base.empty() ? argument : m_Base};
        if (m_Base.empty()) {
            std::string prefix = fs::path(argument).lexically_normal().generic_string();
            while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
            const std::string rel = Backslashed(path.lexically_relative(argument).generic_string());
            c.name = prefix == "." ? rel : Backslashed(prefix) + "\\" + rel;
        } else if (!NameRelativeToBase(c.path, c.name)) {
            continue;
        }
        found.push_back(c);
    }
    if (ec) Problem("cannot read folder %s: %s", folder.string().c_str(), ec.message().c_str());
}

// Reports and returns false when the file cannot be stored; size 0 means it is
// empty, which is only a warning.
bool Collector::IsStorable(const Candidate& c, uint32_t& size) {
    if (SafeComponents(c.name).empty()) {
        Problem(
            "cannot store %s: member name \"%s\" is absolute or has a \"..\" part, which extract "
            "refuses (name members relative to a folder with -C)",
            c.path.c_str(), Printable(c.name).c_str());
        return false;
    }
    if (c.name.size() > Zyn::kPacMaxNameLength) {
        Problem("cannot store %s: member name \"%s\" is longer than %u bytes", c.path.c_str(),
                Printable(c.name).c_str(), Zyn::kPacMaxNameLength);
        return false;
    }
    if (!c.tree.empty() && !m_bFollow) {
        const std::string real = RealPath(c.path);
        if (real.empty()) {
            Problem("cannot read %s: %s", c.path.c_str(), std::strerror(errno));
            return false;
        }
        const std::string tree = RealPath(c.tree);
        if (tree.empty()) {
            Problem("cannot read %s: %s", c.tree.c_str(), std::strerror(errno));
            return false;
        }
        if (!IsInside(real, tree)) {
            Problem("cannot store %s: it leads to %s, outside %s (use --follow to store it anyway)",
                    c.path.c_str(), real.c_str(), c.tree.c_str());
            return false;
        }
    }
    // Opened as the writer will open it, so that the real cause is named.
    const int fd = open(c.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        Problem("cannot read %s: %s", c.path.c_str(), std::strerror(errno));
        return false;
    }
    struct stat st;
    const int statError = fstat(fd, &st) == 0 ? 0 : errno;
    close(fd);
    if (statError != 0) {
        Problem("cannot read %s: %s", c.path.c_str(), std::strerror(statError));
        return false;
    }
    if (uint64_t(st.st_size) > 0xFFFFFFFFull) {
        Problem("%s is too large for a pack (4 GiB at most)", c.path.c_str());
        return false;
    }
    size = uint32_t(st.st_size);
    return true;
}

std::vector<Zyn::PacPackage::Source> Collector::Check() {
    std::vector<Zyn::PacPackage::Source> kept;
    std::set<std::string> names;
    for (const Candidate& c : m_Candidates) {
        uint32_t size = 0;
        if (!IsStorable(c, size)) continue;
        if (size == 0) {
            ZynTool::Error("warning: skipping empty file %s (a pack cannot hold empty members)",
                           c.path.c_str());
            continue;
        }
        if (!names.insert(c.name).second) {
            Problem("duplicate member name \"%s\"", Printable(c.name).c_str());
            continue;
        }
        kept.push_back(Zyn::PacPackage::Source{c.name, c.path});
        m_PackSize += Zyn::kPacEntryFixedBytes + c.name.size() + size;
    }
    if (m_Problems > 0) return {};
    if (kept.empty()) {
        ZynTool::Error("no file to pack");
        ++m_Problems;
    }
    return kept;
}

/// Creates a temporary file beside path with the permissions a new file gets.
std::string MakeTempBeside(const std::string& path) {
    std::string temp = path + ".tmp-XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) return "";
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);
    return temp;
}

// Claims the pack's bytes on disk before the writer starts: the framework's
// writer only says that a write failed, this says why (a full disk, a file
// size limit). 0, or the errno of the failure.
int Reserve(const std::string& path, uint64_t size) {
    const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    const int error = posix_fallocate(fd, 0, off_t(size));
    close(fd);
    // Other errors (a file system that cannot reserve) leave the verdict to the writer.
    return error == ENOSPC || error == EFBIG || error == EDQUOT ? error : 0;
}

bool SyncFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = fsync(fd) == 0;
    close(fd);
    return ok;
}

// Names every source the written pack lacks: the writer leaves out, with a
// warning only, a file that became unreadable or empty after it was checked.
bool HoldsEverySource(const std::string& packPath, const std::vector<Zyn::PacPackage::Source>& sources) {
    Zyn::SimpleFile file;
    if (!file.Open(packPath.c_str(), "rb")) {
        ZynTool::Error("cannot read back %s: %s", packPath.c_str(), std::strerror(errno));
        return false;
    }
    struct stat st;
    const uint64_t size = fstat(fileno(file.GetHandle()), &st) == 0 ? uint64_t(st.st_size) : 0;
    const Zyn::PacDirectoryScan scan = Zyn::ScanPacDirectory(file, size);
    std::set<std::string> stored;
    for (const Zyn::PacDirectoryEntry& e : scan.entries) stored.insert(e.name);
    bool ok = scan.problems.empty();
    for (const Zyn::PacPackage::Source& s : sources) {
        if (stored.count(s.name) == 0) {
            ZynTool::Error("could not store %s", s.path.c_str());
            ok = false;
        }
    }
    return ok && scan.entries.size() == sources.size();
}

}  // namespace

int Create(int argc, char** argv) {
    const ZynTool::Args a = ZynTool::ParseArgs(
        argc, argv, 2,
        {{"-C", "--relative-to", true}, {"-r", "--recursive", false}, {"-L", "--follow", false}});
    if (a.help) {
        std::fputs(kCreateHelp, stdout);
        return ZynTool::kExitOk;
    }
    if (!a.problem.empty()) return ZynTool::Usage(a.problem, kCreateHelp);
    if (a.positional.size() < 2)
        return ZynTool::Usage("create needs OUT.pac and at least one FILE", kCreateHelp);
    ApplyVerbose(a);
    const std::string out = a.positional[0];
    const std::string base = a.Value("--relative-to");
    if (!base.empty() && !fs::is_directory(base)) {
        ZynTool::Error("%s is not a folder", base.c_str());
        return ZynTool::kExitFailed;
    }

    Collector collector(base, a.Has("--recursive"), a.Has("--follow"));
    for (size_t i = 1; i < a.positional.size(); ++i) collector.AddArgument(a.positional[i]);
    const std::vector<Zyn::PacPackage::Source> sources = collector.Check();
    if (collector.GetProblemCount() > 0) return ZynTool::kExitFailed;

    const std::string temp = MakeTempBeside(out);
    if (temp.empty()) {
        ZynTool::Error("cannot create a file beside %s: %s", out.c_str(), std::strerror(errno));
        return ZynTool::kExitFailed;
    }
    if (const int error = Reserve(temp, collector.GetPackSize())) {
        std::remove(temp.c_str());
        ZynTool::Error("cannot write %s: %s", out.c_str(), std::strerror(error));
        return ZynTool::kExitFailed;
    }
    if (!Zyn::PacPackage::CreatePacPackage(sources, temp.c_str())) {
        std::remove(temp.c_str());
        ZynTool::Error("could not write %s", out.c_str());
        return ZynTool::kExitFailed;
    }
    if (!HoldsEverySource(temp, sources)) {
        std::remove(temp.c_str());
        ZynTool::Error("%s not written: the files above could not be stored", out.c_str());
        return ZynTool::kExitFailed;
    }
    if (!SyncFile(temp)) {
        ZynTool::Error("cannot write %s: %s", out.c_str(), std::strerror(errno));
        std::remove(temp.c_str());
        return ZynTool::kExitFailed;
    }
    if (std::rename(temp.c_str(), out.c_str()) != 0) {
        ZynTool::Error("cannot rename %s to %s: %s", temp.c_str(), out.c_str(), std::strerror(errno));
        std::remove(temp.c_str());
        return ZynTool::kExitFailed;
    }
    if (a.verbose) std::printf("%s: %zu members\n", out.c_str(), sources.size());
    return ZynTool::kExitOk;
}

}  // namespace Zynpac
