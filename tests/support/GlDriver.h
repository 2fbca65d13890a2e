// Mesa unloads its GL driver when the last X display using it closes. The
// blocks the driver's globals still point to then look leaked, and the leak
// report cannot even name them. Keeping the driver loaded lets the leak
// checker scan those globals; whatever is truly lost is still reported.
#pragma once

#include <string>

namespace ZynTest {

/// Loads the GL driver for the display and keeps it for the rest of this process.
void KeepGlDriverLoaded(const std::string& displayName);

/// For a program started on such a display under the address sanitizer: an
/// LD_PRELOAD value that loads the GL driver this process uses (after the
/// sanitizer's shared runtime, when there is one), so that the program never
/// unloads the driver either. Empty when this process has no driver loaded or
/// runs without the sanitizer.
std::string GlDriverPreload();

}  // namespace ZynTest
