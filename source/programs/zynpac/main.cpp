// zynpac: makes, lists, unpacks and checks pack files. Packs are written by
// the framework's own writer and read through its packages; only `verify`
// decodes the directory itself, to report what the lenient reader hides.
// Exit status: 0 success, 1 failure or a damaged pack, 2 bad usage.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include <zyn/core/Root.h>
#include <zyn/io/File.h>
#include <zyn/io/PacFormat.h>
#include <zyn/io/PacPackage.h>

#include "CommandArgs.h"

namespace fs = std::filesystem;
using Zyn::File;
using Zyn::PacPackage;

using ZynTool::Args;
using ZynTool::ParseArgs;

namespace {

const int kOk = 0;
const int kFailed = 1;
const int kUsage = 2;

const char* const kMainHelp =
    "Usage: zynpac COMMAND [OPTIONS] ARGS...\n"
    "Makes, lists, unpacks and checks pack (.pac) files.\n"
    "\n"
    "Commands:\n"
    "  create   write a pack from files and folders\n"
    "  list     show the members of a pack\n"
    "  extract  unpack members into a folder\n"
    "  cat      write one member's bytes to standard output\n"
    "  verify   check a pack and report every problem\n"
    "\n"
    "Options of every command:\n"
    "  -v, --verbose   show the framework's information lines\n"
    "  -h, --help      show the help of the command\n"
    "\n"
    "Run 'zynpac COMMAND --help' for a command's options.\n";

const char* const kCreateHelp =
    "Usage: zynpac create [-C DIR] [-r] OUT.pac FILE...\n"
    "Writes the files into a new pack, in the order given. Without -C each member\n"
    "is named exactly as its FILE argument.\n"
    "\n"
    "  -C, --relative-to DIR  name members by their path relative to DIR, with\n"
    "                         backslash separators (temple\\temple.jp2); every FILE\n"
    "                         must lie inside DIR\n"
    "  -r, --recursive        add the files of folder arguments, recursively, in\n"
    "                         byte-wise order of their names\n"
    "\n"
    "Empty files cannot be packed and are skipped with a warning. The pack is\n"
    "written to a temporary file and renamed into place.\n";

const char* const kListHelp =
    "Usage: zynpac list [--json] PACK\n"
    "Prints offset, size and name of every member, in file order.\n"
    "\n"
    "  --json   print a JSON array of {\"name\", \"offset\", \"size\"} objects\n";

const char* const kExtractHelp =
    "Usage: zynpac extract [-C DIR] PACK [MEMBER...]\n"
    "Unpacks the named members (all when none is named). Backslashes in member\n"
    "names become folders. Names with \"..\" parts or absolute paths are refused.\n"
    "\n"
    "  -C, --directory DIR  unpack into DIR (default: the current folder)\n";

const char* const kCatHelp =
    "Usage: zynpac cat PACK MEMBER\n"
    "Writes the member's bytes to standard output.\n";

const char* const kVerifyHelp =
    "Usage: zynpac verify PACK\n"
    "Reads the directory and every member and reports each problem: a directory\n"
    "cut short or claiming more entries than the file holds, over-long names,\n"
    "members beyond the end of the file, members overlapping the directory or\n"
    "each other, duplicate names, members that cannot be read. Exits with 1 when\n"
    "it finds a problem.\n";

void Error(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Error(const char* format, ...) {
    std::fputs("zynpac: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

int Usage(const char* help, const char* problem) {
    Error("%s", problem);
    std::fputs(help, stderr);
    return kUsage;
}

/// Counts the framework's error lines, so that commands reading a damaged
/// pack can say so in their exit status.
class ErrorCounter : public Zyn::LogOutput {
public:
    ErrorCounter() : Zyn::LogOutput("zynpac errors") { m_Threshold = Zyn::kLogError; }
    void Receive(const char*) override { ++m_Count; }
    int m_Count = 0;
};

/// The pack's members in file order (then by name), as the framework reads them.
std::vector<std::pair<std::string, PacPackage::file_entry>> MembersInFileOrder(const PacPackage& pack) {
    std::vector<std::pair<std::string, PacPackage::file_entry>> members(pack.GetDirectory().begin(),
                                                                        pack.GetDirectory().end());
    std::stable_sort(members.begin(), members.end(),
                     [](const auto& a, const auto& b) { return a.second.offset < b.second.offset; });
    return members;
}

/// Holds one reference to a pack opened through the framework.
class OpenedPack {
public:
    explicit OpenedPack(const std::string& path) : m_pPack(new PacPackage(path.c_str())) {
        m_pPack->AddRef();
    }
    ~OpenedPack() { m_pPack->Release(); }
    OpenedPack(const OpenedPack&) = delete;
    OpenedPack& operator=(const OpenedPack&) = delete;
    /// False when the pack file could not be opened (the package marks its name).
    bool IsFound() const {
        const std::string& n = m_pPack->GetName();
        return !(n.size() >= 4 && n.compare(n.size() - 4, 4, " (!)") == 0);
    }
    PacPackage* operator->() const { return m_pPack; }
    PacPackage& operator*() const { return *m_pPack; }

private:
    PacPackage* m_pPack;
};

/// Copies a member to an open stdio handle; false on a short read or write.
bool CopyMember(PacPackage& pack, const std::string& name, uint32_t size, FILE* out) {
    std::unique_ptr<File> in(pack.OpenFile(name.c_str()));
    if (!in) return false;
    std::vector<unsigned char> buffer(1u << 20);
    uint32_t copied = 0;
    while (copied < size) {
        const unsigned int n = in->Read(buffer.data(), unsigned(buffer.size()));
        if (n == 0) break;
        if (std::fwrite(buffer.data(), 1, n, out) != n) return false;
        copied += n;
    }
    return copied == size;
}

// --- create ---------------------------------------------------------------

std::string Backslashed(std::string s) {
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
}

/// Member name of a file: relative to base with backslashes when base is set.
bool NameFor(const fs::path& file, const std::string& given, const fs::path& base, std::string& name) {
    if (base.empty()) {
        name = given;
        return true;
    }
    std::error_code ec;
    const fs::path absFile = fs::absolute(file, ec).lexically_normal();
    const fs::path absBase = fs::absolute(base, ec).lexically_normal();
    const fs::path rel = absFile.lexically_relative(absBase);
    if (ec || rel.empty() || *rel.begin() == ".." || rel == ".") {
        Error("%s is not inside %s", file.string().c_str(), base.string().c_str());
        return false;
    }
    name = Backslashed(rel.generic_string());
    return true;
}

bool CollectFolder(const std::string& folder, const fs::path& base, std::vector<PacPackage::Source>& out) {
    std::vector<PacPackage::Source> found;
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        const fs::path rel = it->path().lexically_relative(folder);
        const std::string given = (fs::path(folder) / rel).generic_string();
        PacPackage::Source s;
        if (!NameFor(it->path(), given, base, s.name)) return false;
        s.path = it->path().string();
        found.push_back(s);
    }
    if (ec) {
        Error("cannot read folder %s: %s", folder.c_str(), ec.message().c_str());
        return false;
    }
    // Directory order is the file system's whim; names give a stable order.
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    out.insert(out.end(), found.begin(), found.end());
    return true;
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

bool SyncFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return false;
    const bool ok = fsync(fd) == 0;
    close(fd);
    return ok;
}

int Create(int argc, char** argv) {
    Args a = ParseArgs(argc, argv, 2, {{"-C", "--relative-to", true}, {"-r", "--recursive", false}});
    if (a.help) {
        std::fputs(kCreateHelp, stdout);
        return kOk;
    }
    if (!a.problem.empty()) return Usage(kCreateHelp, a.problem.c_str());
    if (a.positional.size() < 2) return Usage(kCreateHelp, "create needs OUT.pac and at least one FILE");
    if (a.verbose) Zyn::Singleton<Zyn::Root>::Get()->m_LogLevel = Zyn::kLogInfo;
    const std::string out = a.positional[0];
    const fs::path base = a.Value("--relative-to");
    const bool recursive = a.Has("--recursive");
    if (!base.empty() && !fs::is_directory(base)) {
        Error("%s is not a folder", base.string().c_str());
        return kFailed;
    }

    std::vector<PacPackage::Source> sources;
    for (size_t i = 1; i < a.positional.size(); ++i) {
        const std::string& arg = a.positional[i];
        std::error_code ec;
        const fs::file_status st = fs::status(arg, ec);
        if (fs::is_directory(st)) {
            if (!recursive) {
                Error("%s is a folder (use -r to add its files)", arg.c_str());
                return kFailed;
            }
            if (!CollectFolder(arg, base, sources)) return kFailed;
        } else if (fs::is_regular_file(st)) {
            PacPackage::Source s;
            if (!NameFor(arg, arg, base, s.name)) return kFailed;
            s.path = arg;
            sources.push_back(s);
        } else {
            Error("cannot read %s", arg.c_str());
            return kFailed;
        }
    }

    std::vector<PacPackage::Source> kept;
    std::set<std::string> names;
    for (const PacPackage::Source& s : sources) {
        std::error_code ec;
        const uintmax_t size = fs::file_size(s.path, ec);
        if (ec) {
            Error("cannot read %s: %s", s.path.c_str(), ec.message().c_str());
            return kFailed;
        }
        if (size == 0) {
            Error("warning: skipping empty file %s (a pack cannot hold empty members)", s.path.c_str());
            continue;
        }
        if (size > 0xFFFFFFFFull) {
            Error("%s is too large for a pack (4 GiB at most)", s.path.c_str());
            return kFailed;
        }
        if (s.name.empty() || s.name.size() > Zyn::kPacMaxNameLength) {
            Error("member name \"%s\" must be 1 to %u bytes long", s.name.c_str(), Zyn::kPacMaxNameLength);
            return kFailed;
        }
        if (!names.insert(s.name).second) {
            Error("duplicate member name \"%s\"", s.name.c_str());
            return kFailed;
        }
        kept.push_back(s);
    }
    if (kept.empty()) {
        Error("no file to pack");
        return kFailed;
    }

    const std::string temp = MakeTempBeside(out);
    if (temp.empty()) {
        Error("cannot create a file beside %s: %s", out.c_str(), std::strerror(errno));
        return kFailed;
    }
    if (!PacPackage::CreatePacPackage(kept, temp.c_str()) || !SyncFile(temp)) {
        std::remove(temp.c_str());
        Error("could not write %s", out.c_str());
        return kFailed;
    }
    if (std::rename(temp.c_str(), out.c_str()) != 0) {
        Error("cannot rename %s to %s: %s", temp.c_str(), out.c_str(), std::strerror(errno));
        std::remove(temp.c_str());
        return kFailed;
    }
    if (a.verbose) std::printf("%s: %zu members\n", out.c_str(), kept.size());
    return kOk;
}

// --- list, cat, extract ------------------------------------------------------

void PrintJsonString(const std::string& s) {
    std::putchar('"');
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            std::putchar('\\');
            std::putchar(c);
        } else if (c < 0x20) {
            std::printf("\\u%04x", c);
        } else {
            std::putchar(c);
        }
    }
    std::putchar('"');
}

/// Opens the pack through the framework; reports a missing pack.
bool OpenPack(const std::string& path, std::unique_ptr<OpenedPack>& pack, ErrorCounter* errors) {
    Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
    root->InsertObject(errors, Zyn::Root::kLogOutputs, 1, nullptr);
    pack = std::make_unique<OpenedPack>(path);
    if (!pack->IsFound()) {
        Error("cannot open %s", path.c_str());
        return false;
    }
    return true;
}

int List(int argc, char** argv) {
    Args a = ParseArgs(argc, argv, 2, {{nullptr, "--json", false}});
    if (a.help) {
        std::fputs(kListHelp, stdout);
        return kOk;
    }
    if (!a.problem.empty()) return Usage(kListHelp, a.problem.c_str());
    if (a.positional.size() != 1) return Usage(kListHelp, "list needs exactly one PACK");
    if (a.verbose) Zyn::Singleton<Zyn::Root>::Get()->m_LogLevel = Zyn::kLogInfo;
    ErrorCounter* errors = new ErrorCounter;
    std::unique_ptr<OpenedPack> pack;
    if (!OpenPack(a.positional[0], pack, errors)) return kFailed;
    const auto members = MembersInFileOrder(**pack);
    if (a.Has("--json")) {
        std::printf("[");
        for (size_t i = 0; i < members.size(); ++i) {
            std::printf("%s\n  {\"name\": ", i ? "," : "");
            PrintJsonString(members[i].first);
            std::printf(", \"offset\": %u, \"size\": %u}", members[i].second.offset, members[i].second.size);
        }
        std::printf("%s]\n", members.empty() ? "" : "\n");
    } else {
        for (const auto& m : members)
            std::printf("%10u %10u  %s\n", m.second.offset, m.second.size, m.first.c_str());
    }
    if (errors->m_Count > 0) {
        Error("%s is damaged; only its sound members are listed (see 'zynpac verify')",
              a.positional[0].c_str());
        return kFailed;
    }
    return kOk;
}

int Cat(int argc, char** argv) {
    Args a = ParseArgs(argc, argv, 2, {});
    if (a.help) {
        std::fputs(kCatHelp, stdout);
        return kOk;
    }
    if (!a.problem.empty()) return Usage(kCatHelp, a.problem.c_str());
    if (a.positional.size() != 2) return Usage(kCatHelp, "cat needs PACK and MEMBER");
    if (a.verbose) Zyn::Singleton<Zyn::Root>::Get()->m_LogLevel = Zyn::kLogInfo;
    ErrorCounter* errors = new ErrorCounter;
    std::unique_ptr<OpenedPack> pack;
    if (!OpenPack(a.positional[0], pack, errors)) return kFailed;
    const std::string& name = a.positional[1];
    const auto it = (*pack)->GetDirectory().find(name);
    if (it == (*pack)->GetDirectory().end()) {
        Error("%s holds no member \"%s\"", a.positional[0].c_str(), name.c_str());
        return kFailed;
    }
    if (!CopyMember(**pack, name, it->second.size, stdout) || std::fflush(stdout) != 0) {
        Error("could not read all of \"%s\"", name.c_str());
        return kFailed;
    }
    return kOk;
}

/// The relative path a member is unpacked to, or empty when the name is unsafe.
fs::path SafeRelativePath(const std::string& name) {
    if (name.empty() || name.find('\0') != std::string::npos) return {};
    std::string s = name;
    std::replace(s.begin(), s.end(), '\\', '/');
    if (s[0] == '/') return {};
    // A drive prefix ("C:") is absolute where these packs come from.
    if (s.size() >= 2 && s[1] == ':' && std::isalpha(static_cast<unsigned char>(s[0]))) return {};
    fs::path rel;
    size_t start = 0;
    while (start <= s.size()) {
        size_t slash = s.find('/', start);
        if (slash == std::string::npos) slash = s.size();
        const std::string part = s.substr(start, slash - start);
        if (part == "..") return {};
        if (!part.empty() && part != ".") rel /= part;
        start = slash + 1;
    }
    return rel;
}

bool ExtractOne(PacPackage& pack, const std::string& name, uint32_t size, const fs::path& outDir) {
    const fs::path rel = SafeRelativePath(name);
    if (rel.empty()) {
        Error("refusing unsafe member name \"%s\"", name.c_str());
        return false;
    }
    const fs::path target = outDir / rel;
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    if (ec) {
        Error("cannot create folder %s: %s", target.parent_path().string().c_str(), ec.message().c_str());
        return false;
    }
    // Never write through a link planted at the target.
    const int fd = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0666);
    FILE* out = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (!out) {
        if (fd >= 0) close(fd);
        Error("cannot write %s: %s", target.string().c_str(), std::strerror(errno));
        return false;
    }
    bool ok = CopyMember(pack, name, size, out);
    ok = std::fclose(out) == 0 && ok;
    if (!ok) Error("could not unpack \"%s\" completely", name.c_str());
    return ok;
}

int Extract(int argc, char** argv) {
    Args a = ParseArgs(argc, argv, 2, {{"-C", "--directory", true}});
    if (a.help) {
        std::fputs(kExtractHelp, stdout);
        return kOk;
    }
    if (!a.problem.empty()) return Usage(kExtractHelp, a.problem.c_str());
    if (a.positional.empty()) return Usage(kExtractHelp, "extract needs a PACK");
    if (a.verbose) Zyn::Singleton<Zyn::Root>::Get()->m_LogLevel = Zyn::kLogInfo;
    const fs::path outDir = a.Has("--directory") ? fs::path(a.Value("--directory")) : fs::path(".");
    ErrorCounter* errors = new ErrorCounter;
    std::unique_ptr<OpenedPack> pack;
    if (!OpenPack(a.positional[0], pack, errors)) return kFailed;
    const PacPackage::Directory& dir = (*pack)->GetDirectory();
    bool ok = true;
    if (a.positional.size() == 1) {
        for (const auto& m : MembersInFileOrder(**pack))
            ok = ExtractOne(**pack, m.first, m.second.size, outDir) && ok;
    } else {
        for (size_t i = 1; i < a.positional.size(); ++i) {
            const auto it = dir.find(a.positional[i]);
            if (it == dir.end()) {
                Error("%s holds no member \"%s\"", a.positional[0].c_str(), a.positional[i].c_str());
                ok = false;
                continue;
            }
            ok = ExtractOne(**pack, it->first, it->second.size, outDir) && ok;
        }
    }
    if (errors->m_Count > 0) {
        Error("%s is damaged; only its sound members were unpacked (see 'zynpac verify')",
              a.positional[0].c_str());
        ok = false;
    }
    return ok ? kOk : kFailed;
}

// --- verify -------------------------------------------------------------------

struct RawEntry {
    std::string name;
    uint32_t offset;
    uint32_t size;
    uint32_t index;
};

class Verifier {
public:
    explicit Verifier(const std::string& path) : m_Path(path) {}

    /// Reports every problem on standard output; returns how many were found.
    int Run() {
        FILE* f = std::fopen(m_Path.c_str(), "rb");
        if (!f) {
            Error("cannot open %s: %s", m_Path.c_str(), std::strerror(errno));
            return -1;
        }
        struct stat st;
        const bool sized = fstat(fileno(f), &st) == 0;
        m_FileSize = sized ? uint64_t(st.st_size) : 0;
        const uint64_t directoryEnd = ReadDirectory(f);
        std::fclose(f);
        CheckMembers(directoryEnd);
        if (m_Problems == 0) CheckReadable();
        return m_Problems;
    }
    size_t MemberCount() const { return m_Entries.size(); }

private:
    void Problem(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        std::printf("%s: ", m_Path.c_str());
        va_list args;
        va_start(args, format);
        std::vprintf(format, args);
        va_end(args);
        std::putchar('\n');
        ++m_Problems;
    }

    bool ReadPlain(FILE* f, void* out, size_t n) {
        if (std::fread(out, 1, n, f) != n) return false;
        Zyn::ComplementBytes(out, n);
        return true;
    }

    static uint32_t LE32(const unsigned char* b) {
        return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    }

    /// Returns where the directory ends (as far as it could be read).
    uint64_t ReadDirectory(FILE* f) {
        unsigned char word[4];
        if (m_FileSize < 4 || !ReadPlain(f, word, 4)) {
            Problem("file of %llu bytes is too short to hold a directory", (unsigned long long)m_FileSize);
            return m_FileSize;
        }
        const uint32_t count = LE32(word);
        const uint64_t most = (m_FileSize - 4) / Zyn::kPacEntryFixedBytes;
        if (count > most) {
            Problem("directory claims %u entries but the file can hold at most %llu", count,
                    (unsigned long long)most);
            return m_FileSize;
        }
        uint64_t position = 4;
        for (uint32_t i = 0; i < count; ++i) {
            unsigned char lengthBytes[2];
            if (position + 2 > m_FileSize || !ReadPlain(f, lengthBytes, 2)) {
                Problem("directory cut short: entry %u of %u is missing", i + 1, count);
                return m_FileSize;
            }
            const uint32_t length = uint32_t(lengthBytes[0]) | uint32_t(lengthBytes[1]) << 8;
            std::string name(length, '\0');
            unsigned char tail[8];
            if (position + Zyn::kPacEntryFixedBytes + length > m_FileSize ||
                !ReadPlain(f, name.data(), length) || !ReadPlain(f, tail, 8)) {
                Problem("directory cut short: entry %u of %u is incomplete", i + 1, count);
                return m_FileSize;
            }
            position += Zyn::kPacEntryFixedBytes + length;
            if (length > Zyn::kPacMaxNameLength) {
                Problem("entry %u has a %u-byte name (at most %u): \"%.40s...\"", i + 1, length,
                        Zyn::kPacMaxNameLength, name.c_str());
            }
            m_Entries.push_back(RawEntry{name, LE32(tail), LE32(tail + 4), i + 1});
        }
        return position;
    }

    void CheckMembers(uint64_t directoryEnd) {
        std::set<std::string> seen;
        for (const RawEntry& e : m_Entries) {
            if (!seen.insert(e.name).second)
                Problem("duplicate member name \"%s\" (entry %u)", e.name.c_str(), e.index);
            const uint64_t end = uint64_t(e.offset) + e.size;
            if (end > m_FileSize) {
                Problem("member \"%s\" (offset %u, %u bytes) lies beyond the end of the file (%llu bytes)",
                        e.name.c_str(), e.offset, e.size, (unsigned long long)m_FileSize);
            } else if (e.size > 0 && e.offset < directoryEnd) {
                Problem("member \"%s\" (offset %u) overlaps the directory (%llu bytes)", e.name.c_str(),
                        e.offset, (unsigned long long)directoryEnd);
            }
        }
        std::vector<const RawEntry*> byOffset;
        for (const RawEntry& e : m_Entries)
            if (e.size > 0) byOffset.push_back(&e);
        std::stable_sort(byOffset.begin(), byOffset.end(),
                         [](const RawEntry* a, const RawEntry* b) { return a->offset < b->offset; });
        const RawEntry* reach = nullptr;  // the member reaching furthest so far
        for (const RawEntry* e : byOffset) {
            if (reach && uint64_t(reach->offset) + reach->size > e->offset) {
                Problem("members \"%s\" and \"%s\" overlap", reach->name.c_str(), e->name.c_str());
            }
            if (!reach || uint64_t(e->offset) + e->size > uint64_t(reach->offset) + reach->size) reach = e;
        }
    }

    /// Reads every member through the framework's reader.
    void CheckReadable() {
        OpenedPack pack(m_Path);
        for (const RawEntry& e : m_Entries) {
            std::unique_ptr<File> in(pack->OpenFile(e.name.c_str()));
            std::vector<unsigned char> buffer(1u << 20);
            uint64_t total = 0;
            while (in) {
                const unsigned int n = in->Read(buffer.data(), unsigned(buffer.size()));
                if (n == 0) break;
                total += n;
            }
            if (!in || total != e.size) Problem("member \"%s\" cannot be read whole", e.name.c_str());
        }
    }

    std::string m_Path;
    uint64_t m_FileSize = 0;
    std::vector<RawEntry> m_Entries;
    int m_Problems = 0;
};

int Verify(int argc, char** argv) {
    Args a = ParseArgs(argc, argv, 2, {});
    if (a.help) {
        std::fputs(kVerifyHelp, stdout);
        return kOk;
    }
    if (!a.problem.empty()) return Usage(kVerifyHelp, a.problem.c_str());
    if (a.positional.size() != 1) return Usage(kVerifyHelp, "verify needs exactly one PACK");
    // The problems are reported here; the reader's own lines would repeat them.
    Zyn::Singleton<Zyn::Root>::Get()->m_LogLevel = a.verbose ? Zyn::kLogInfo : -1;
    Verifier v(a.positional[0]);
    const int problems = v.Run();
    if (problems < 0) return kFailed;
    if (problems > 0) {
        std::printf("%s: %d problem%s found\n", a.positional[0].c_str(), problems, problems == 1 ? "" : "s");
        return kFailed;
    }
    std::printf("%s: OK, %zu members\n", a.positional[0].c_str(), v.MemberCount());
    return kOk;
}

}  // namespace

int main(int argc, char** argv) {
    // Warnings and errors of the framework reach standard error; -v adds the rest.
    Zyn::Singleton<Zyn::Root>::Get()->m_LogLevel = Zyn::kLogWarning;
    if (argc < 2) return Usage(kMainHelp, "no command given");
    const std::string command = argv[1];
    if (command == "-h" || command == "--help" || command == "help") {
        std::fputs(kMainHelp, stdout);
        return kOk;
    }
    if (command == "create") return Create(argc, argv);
    if (command == "list") return List(argc, argv);
    if (command == "extract") return Extract(argc, argv);
    if (command == "cat") return Cat(argc, argv);
    if (command == "verify") return Verify(argc, argv);
    return Usage(kMainHelp, ("unknown command " + command).c_str());
}
