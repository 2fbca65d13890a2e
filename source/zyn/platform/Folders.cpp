#include <zyn/platform/Folders.h>

#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <zyn/core/Log.h>

namespace Zyn {
namespace Folders {

namespace {

std::string g_ApplicationName;
std::string g_DataOverride;
std::string g_BuildTreeData;
std::string g_LogFile = "log.txt";

std::string StripTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

bool IsDirectory(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string InstalledDataFolder() {
    if (g_ApplicationName.empty()) return std::string();
    const std::string exe = GetExecutablePath();
    const std::string::size_type slash = exe.rfind('/');
    if (slash == std::string::npos) return std::string();
    return exe.substr(0, slash) + "/../share/" + g_ApplicationName;
}

std::string HomeFolder() {
    std::string home = Env("HOME");
    if (!home.empty()) return home;
    // No $HOME (a daemon's environment): ask the password database.
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    if (size <= 0 || size > 1 << 20) size = 16384;
    std::vector<char> buffer(static_cast<size_t>(size));
    passwd pw;
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &pw, buffer.data(), buffer.size(), &result) == 0 && result && result->pw_dir)
        return result->pw_dir;
    return std::string();
}

}  // namespace

void SetApplicationName(const std::string& name) {
    // A name, not a path: it is appended to share/.
    if (name.find('/') != std::string::npos || name == "." || name == "..") {
        LogSend(kLogError, "Folders -> bad application name %s", name.c_str());
        g_ApplicationName.clear();
        return;
    }
    g_ApplicationName = name;
}

std::string GetApplicationName() { return g_ApplicationName; }

void SetDataFolderOverride(const std::string& folder) { g_DataOverride = StripTrailingSlashes(folder); }

void SetBuildTreeDataFolder(const std::string& folder) { g_BuildTreeData = StripTrailingSlashes(folder); }

std::string GetDataFolder() {
    if (!g_DataOverride.empty()) return g_DataOverride;
    const std::string env = Env("ZYN_DATA_DIR");
    if (!env.empty()) return StripTrailingSlashes(env);
    const std::string installed = InstalledDataFolder();
    if (IsDirectory(installed)) return installed;
    if (!g_BuildTreeData.empty()) return g_BuildTreeData;
    return installed;  // empty without an application name
}

void SetLogFile(const std::string& path) { g_LogFile = path; }

std::string GetLogFile() { return g_LogFile; }

namespace {
// The XDG base folder named by `variable`, else `~/<fallback>`; empty when
// no home folder is known.
std::string XdgFolder(const char* variable, const char* fallback) {
    // Relative values are to be ignored (XDG base directory rules).
    const std::string xdg = Env(variable);
    if (!xdg.empty() && xdg[0] == '/') return StripTrailingSlashes(xdg);
    const std::string home = HomeFolder();
    if (home.empty()) return std::string();
    return StripTrailingSlashes(home) + "/" + fallback;
}
}  // namespace

std::string GetPreferencesFolder() {
    const std::string folder = XdgFolder("XDG_CONFIG_HOME", ".config");
    if (folder.empty()) LogSend(kLogError, "Folders -> no home folder for the preferences");
    return folder;
}

std::string GetCacheFolder() { return XdgFolder("XDG_CACHE_HOME", ".cache"); }

std::string GetExecutablePath() {
    // Paths longer than this are not worth chasing.
    char buffer[8192];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || size_t(n) >= sizeof buffer) return std::string();
    return std::string(buffer, size_t(n));
}

}  // namespace Folders
}  // namespace Zyn
