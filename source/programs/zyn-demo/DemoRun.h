// The two ways to run the demo: in an X11 window, and headless into PNG
// frames with a contact sheet. Each returns the exit status (0 done, 1
// failed). One run per process: the framework's Root is set up once.
#pragma once

#include <string>

#include "DemoOptions.h"

namespace Demo {

/// Seconds between the starts of two load tasks: slow enough to watch the bar.
constexpr float kSecondsPerTask = 0.2f;

int RunWindow(const DemoOptions& options);
int RunHeadless(const DemoOptions& options);

/// The folder holding demo.pac for these options: --data as given, else the
/// build tree's data folder for a program inside the build tree, else
/// <exe>/../share/zyn-demo.
std::string ChooseDataFolder(const DemoOptions& options);

/// The headless run's list of stages, beside the recorder's frames and sheet.
inline constexpr const char* kStagesName = "stages.txt";

}  // namespace Demo
