#include <zyn/platform/ProcessSetup.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace Zyn {

namespace ProcessSetupImpl {

std::string HugePageTunables(const char* current, const std::string& thpMode) {
    const std::string value = current ? current : "";
    // The user's choice stays, whatever it is.
    if (value.find("glibc.malloc.hugetlb") != std::string::npos) return std::string();
    // "always" gives huge pages unasked, "never" never does.
    if (thpMode.find("[madvise]") == std::string::npos) return std::string();
    return value.empty() ? "glibc.malloc.hugetlb=1" : value + ":glibc.malloc.hugetlb=1";
}

}  // namespace ProcessSetupImpl

#if defined(__SANITIZE_ADDRESS__)
#define ZYN_OWN_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZYN_OWN_ALLOCATOR 1
#endif
#endif

void PreferHugePagesForLargeBlocks(char** argv) {
#if defined(ZYN_OWN_ALLOCATOR)
    (void)argv;
#else
    if (!argv || !argv[0]) return;
    std::string mode;
    std::ifstream in("/sys/kernel/mm/transparent_hugepage/enabled");
    std::getline(in, mode);
    const char* current = std::getenv("GLIBC_TUNABLES");
    const std::string previous = current ? current : "";
    const std::string wanted = ProcessSetupImpl::HugePageTunables(current, mode);
    if (wanted.empty()) return;
    setenv("GLIBC_TUNABLES", wanted.c_str(), 1);
    execv("/proc/self/exe", argv);
    // Still here: run on as started, leaving the environment as it was.
    if (current)
        setenv("GLIBC_TUNABLES", previous.c_str(), 1);
    else
        unsetenv("GLIBC_TUNABLES");
#endif
}

}  // namespace Zyn
