// Test entry point: runs the suite, then tears the Root down so that leak
// checking sees only what the tests themselves leaked.
#include <gtest/gtest.h>

#include <zyn/core/Root.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    Zyn::Singleton<Zyn::Root>::Get()->Release();
    return result;
}
