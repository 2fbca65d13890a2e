// Test entry point: runs the suite, then tears the Root down so that leak
// checking sees only what the tests themselves leaked.
#include <gtest/gtest.h>

#include <cstdlib>

#include <zyn/core/Root.h>

int main(int argc, char** argv) {
#ifdef __SANITIZE_ADDRESS__
    // LeakSanitizer can die at exit on the thread-local block that llvmpipe's
    // LLVM allocates; softpipe draws the same pixels without LLVM.
    setenv("GALLIUM_DRIVER", "softpipe", 0);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    Zyn::Singleton<Zyn::Root>::Get()->Release();
    return result;
}
