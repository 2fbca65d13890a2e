// Settings a long-running drawing program takes for its whole process, made
// first thing in main, before any thread starts.
#pragma once

#include <string>

namespace Zyn {

/// Has malloc put its large blocks on transparent huge pages where the
/// kernel gives them on request ("madvise" mode) and the user has not chosen
/// otherwise (glibc.malloc.hugetlb in GLIBC_TUNABLES). A software-rendered
/// start touches tens of megabytes of fresh memory (the rasteriser's buffers,
/// the textures, the art's pixels); each first touch of a 4 KB page traps,
/// which on a virtual machine costs several microseconds, and huge pages
/// trap 512 times less. glibc reads the setting only when a program starts,
/// so this starts the program again in the same process (same id, same
/// arguments) and does not return. It returns when there is nothing to do,
/// in builds whose allocator is not glibc's (the sanitizers), and when the
/// restart fails.
void PreferHugePagesForLargeBlocks(char** argv);

namespace ProcessSetupImpl {
/// The GLIBC_TUNABLES value that asks for huge pages, from the current
/// value (null: unset) and the kernel's transparent_hugepage/enabled line;
/// empty when nothing is to change.
std::string HugePageTunables(const char* current, const std::string& thpMode);
}  // namespace ProcessSetupImpl

}  // namespace Zyn
