// The program's modes: live (a daemon's window, the root window or a preview
// window of our own) and headless export. Each returns the exit status:
// 0 done, 1 failed. One mode per process: the scene starts once.
#pragma once

#include <string>
#include <vector>

#include <screensaver/ZynMain.h>

#include "HostOptions.h"

namespace ZynHost {

const char* const kPackName = kScenePackName;

int RunLive(const HostOptions& options);
int RunHeadless(const HostOptions& options);

/// $XDG_STATE_HOME/zyn-screensaver when that is absolute, else
/// ~/.local/state/zyn-screensaver; empty when no home folder is known.
std::string GetStateFolder();

/// The log file for these options: --log as an absolute path, nothing for
/// --no-log or under a daemon (which keeps the hack's stderr, and may run
/// one hack per screen), else log.txt in the state folder, which is
/// created. Empty means no log file.
std::string ChooseLogFile(const HostOptions& options);

/// `path` made absolute against the current directory (the view moves to
/// the data folder before files are opened).
std::string AbsolutePath(const std::string& path);

/// Frames shown on the contact sheet of a run of `frameCount` frames: at
/// most kMaxSheetTiles, evenly spread, first and last included, ascending.
const int kMaxSheetTiles = 36;
std::vector<int> ContactSheetFrames(int frameCount);

}  // namespace ZynHost
