// zynpac verify: every fault of a pack, one line each on standard output.
// The directory is read by the framework's own parser (ScanPacDirectory and
// CheckPacMembers), which reports what the lenient readers skip; then every
// member is read back through the framework's package.
#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <zyn/core/Root.h>
#include <zyn/io/File.h>
#include <zyn/io/PacFormat.h>
#include <zyn/io/SimpleFile.h>

#include "ToolOutput.h"
#include "ZynpacShared.h"

namespace Zynpac {

namespace {

const char* const kVerifyHelp =
    "Usage: zynpac verify PACK\n"
    "Reads the directory and every member and reports each problem: a directory\n"
    "cut short or claiming more entries than the file holds, over-long names,\n"
    "members beyond the end of the file, members overlapping the directory or\n"
    "each other, duplicate names, members that cannot be read. Exits with 1 when\n"
    "it finds a problem.\n";

class Verifier {
public:
    explicit Verifier(const std::string& path) : m_Path(path) {}

    /// Reports every problem on standard output; returns how many were found,
    /// or -1 after reporting that the file cannot be opened.
    int Run() {
        Zyn::SimpleFile file;
        if (!file.Open(m_Path.c_str(), "rb")) {
            ZynTool::Error("cannot open %s: %s", m_Path.c_str(), std::strerror(errno));
            return -1;
        }
        struct stat st;
        const bool hasStat = fstat(fileno(file.GetHandle()), &st) == 0;
        if (hasStat && S_ISDIR(st.st_mode)) {
            ZynTool::Error("cannot open %s: %s", m_Path.c_str(), std::strerror(EISDIR));
            return -1;
        }
        const uint64_t fileSize = hasStat ? uint64_t(st.st_size) : 0;
        m_Scan = Zyn::ScanPacDirectory(file, fileSize);
        file.Close();
        Zyn::CheckPacMembers(m_Scan, fileSize);
        for (const Zyn::PacProblem& p : m_Scan.problems) Report(p, fileSize);
        if (m_Problems == 0) CheckReadable();
        return m_Problems;
    }
    size_t MemberCount() const { return m_Scan.entries.size(); }

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

    std::string Name(Zyn::u32 entry) const { return Printable(m_Scan.entries[entry].name); }

    void Report(const Zyn::PacProblem& p, uint64_t fileSize) {
        using Kind = Zyn::PacProblemKind;
        const unsigned long long fileBytes = fileSize;
        switch (p.kind) {
            case Kind::kTooShort:
                Problem("file of %llu bytes is too short to hold a directory", fileBytes);
                break;
            case Kind::kCountTooLarge:
                Problem("directory claims %u entries but the file can hold at most %llu", m_Scan.count,
                        (unsigned long long)p.value);
                break;
            case Kind::kEntryMissing:
                Problem("directory cut short: entry %u of %u is missing", p.entry + 1, m_Scan.count);
                break;
            case Kind::kEntryCutShort:
                Problem("directory cut short: entry %u of %u is incomplete", p.entry + 1, m_Scan.count);
                break;
            case Kind::kNameTooLong:
                Problem("entry %u has a %u-byte name (at most %u): \"%s...\"", p.entry + 1, unsigned(p.value),
                        Zyn::kPacMaxNameLength,
                        Printable(m_Scan.entries[p.entry].name.substr(0, 40)).c_str());
                break;
            case Kind::kDuplicateName:
                Problem("duplicate member name \"%s\" (entry %u)", Name(p.entry).c_str(), p.entry + 1);
                break;
            case Kind::kBeyondEnd: {
                const Zyn::PacDirectoryEntry& e = m_Scan.entries[p.entry];
                Problem("member \"%s\" (offset %u, %u bytes) lies beyond the end of the file (%llu bytes)",
                        Name(p.entry).c_str(), e.offset, e.size, fileBytes);
                break;
            }
            case Kind::kOverlapsDirectory:
                Problem("member \"%s\" (offset %u) overlaps the directory (%llu bytes)",
                        Name(p.entry).c_str(), m_Scan.entries[p.entry].offset,
                        (unsigned long long)m_Scan.directoryEnd);
                break;
            case Kind::kOverlapsMember:
                Problem("members \"%s\" and \"%s\" overlap", Name(p.other).c_str(), Name(p.entry).c_str());
                break;
        }
    }

    /// Reads every member through the framework's reader.
    void CheckReadable() {
        OpenedPack pack(m_Path);
        std::vector<unsigned char> buffer(1u << 20);
        for (const Zyn::PacDirectoryEntry& e : m_Scan.entries) {
            std::unique_ptr<Zyn::File> in(pack->OpenFile(e.name.c_str()));
            uint64_t total = 0;
            while (in) {
                const unsigned int n = in->Read(buffer.data(), unsigned(buffer.size()));
                if (n == 0) break;
                total += n;
            }
            if (!in || total != e.size)
                Problem("member \"%s\" cannot be read whole", Printable(e.name).c_str());
        }
    }

    std::string m_Path;
    Zyn::PacDirectoryScan m_Scan;
    int m_Problems = 0;
};

}  // namespace

int Verify(int argc, char** argv) {
    const ZynTool::Args a = ZynTool::ParseArgs(argc, argv, 2, {});
    if (a.help) {
        std::fputs(kVerifyHelp, stdout);
        return ZynTool::kExitOk;
    }
    if (!a.problem.empty()) return ZynTool::Usage(a.problem, kVerifyHelp);
    if (a.positional.size() != 1) return ZynTool::Usage("verify needs exactly one PACK", kVerifyHelp);
    // The problems are reported here; the reader's own lines would repeat them.
    Zyn::Singleton<Zyn::Root>::Get()->m_LogLevel = a.verbose ? Zyn::kLogInfo : -1;
    Verifier v(a.positional[0]);
    const int problems = v.Run();
    if (problems < 0) return ZynTool::kExitFailed;
    if (problems > 0) {
        std::printf("%s: %d problem%s found\n", a.positional[0].c_str(), problems, problems == 1 ? "" : "s");
        return ZynTool::kExitFailed;
    }
    std::printf("%s: OK, %zu members\n", a.positional[0].c_str(), v.MemberCount());
    return ZynTool::kExitOk;
}

}  // namespace Zynpac
