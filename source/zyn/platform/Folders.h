// Where the program finds its data and keeps the user's preferences. Paths
// are returned without a trailing slash.
#pragma once

#include <string>

namespace Zyn {
namespace Folders {

/// The program's name as its data folder is named under share/ (for
/// example "zyn-screensaver"); the framework bakes in none. A name holding
/// '/' is refused (logged) and clears it.
void SetApplicationName(const std::string& name);
std::string GetApplicationName();

/// The folder named by the command line (`--data DIR`); empty clears it.
void SetDataFolderOverride(const std::string& folder);
/// The data folder of a build tree, used when nothing else names one
/// (programs pass their compile-time build folder); empty clears it.
void SetBuildTreeDataFolder(const std::string& folder);

/// The data folder: the override, else $ZYN_DATA_DIR, else
/// `<exe>/../share/<application name>` when it exists, else the build
/// tree's folder when set, else `<exe>/../share/<application name>` all the
/// same (empty when no application name is set).
std::string GetDataFolder();

/// The log file the first view opens once it is in the data folder:
/// "log.txt" there unless the host named another path; empty means none.
void SetLogFile(const std::string& path);
std::string GetLogFile();

/// $XDG_CONFIG_HOME when it is an absolute path, else `~/.config`; empty
/// when no home folder is known.
std::string GetPreferencesFolder();

/// $XDG_CACHE_HOME when it is an absolute path, else `~/.cache`; empty when
/// no home folder is known.
std::string GetCacheFolder();

/// The running executable's absolute path from /proc/self/exe; empty on
/// failure.
std::string GetExecutablePath();

}  // namespace Folders
}  // namespace Zyn
