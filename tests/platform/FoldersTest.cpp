#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <zyn/platform/Folders.h>

using namespace Zyn;
namespace fs = std::filesystem;

namespace {

/// Sets or clears an environment variable for the scope, then restores it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_Name(name) {
        const char* old = std::getenv(name);
        m_bHad = old != nullptr;
        if (old) m_Old = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (m_bHad)
            setenv(m_Name.c_str(), m_Old.c_str(), 1);
        else
            unsetenv(m_Name.c_str());
    }

private:
    std::string m_Name;
    std::string m_Old;
    bool m_bHad = false;
};

class FoldersFixture : public ::testing::Test {
protected:
    void SetUp() override { TearDown(); }
    void TearDown() override {
        Folders::SetDataFolderOverride("");
        Folders::SetBuildTreeDataFolder("");
        Folders::SetApplicationName("");
    }
};

}  // namespace

TEST_F(FoldersFixture, DataFolderFollowsCommandLineThenEnvironmentThenInstallThenBuildTree) {
    const fs::path exe = Folders::GetExecutablePath();
    ASSERT_EQ(exe.filename(), "zyn_platform_tests");
    const fs::path installed = exe.parent_path() / ".." / "share" / "some-game";
    ASSERT_FALSE(fs::exists(installed));
    Folders::SetApplicationName("some-game");

    ScopedEnv env("ZYN_DATA_DIR", nullptr);
    Folders::SetBuildTreeDataFolder("/build/tree/data/");
    EXPECT_EQ(Folders::GetDataFolder(), "/build/tree/data");

    fs::create_directories(installed);
    EXPECT_EQ(Folders::GetDataFolder(), installed.string());
    {
        ScopedEnv set("ZYN_DATA_DIR", "/from/env");
        EXPECT_EQ(Folders::GetDataFolder(), "/from/env");
        Folders::SetDataFolderOverride("/from/args/");
        EXPECT_EQ(Folders::GetDataFolder(), "/from/args");
    }
    fs::remove_all(exe.parent_path() / ".." / "share");

    // Nothing found: the installed place all the same, so messages name it.
    Folders::SetDataFolderOverride("");
    Folders::SetBuildTreeDataFolder("");
    EXPECT_EQ(Folders::GetDataFolder(), installed.string());

    // The framework names no program of its own.
    Folders::SetApplicationName("");
    EXPECT_EQ(Folders::GetDataFolder(), "");
    Folders::SetBuildTreeDataFolder("/build/tree/data");
    EXPECT_EQ(Folders::GetDataFolder(), "/build/tree/data");
    Folders::SetApplicationName("../elsewhere");
    EXPECT_EQ(Folders::GetApplicationName(), "");
}

TEST_F(FoldersFixture, PreferencesFolderFromXdgOrHome) {
    ScopedEnv home("HOME", "/home/someone");
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "/xdg/config/");
        EXPECT_EQ(Folders::GetPreferencesFolder(), "/xdg/config");
    }
    {
        // Relative values do not count.
        ScopedEnv xdg("XDG_CONFIG_HOME", "relative/config");
        EXPECT_EQ(Folders::GetPreferencesFolder(), "/home/someone/.config");
    }
    ScopedEnv xdg("XDG_CONFIG_HOME", "");
    EXPECT_EQ(Folders::GetPreferencesFolder(), "/home/someone/.config");
    ScopedEnv noHome("HOME", nullptr);
    // The password database still knows where home is.
    const std::string prefs = Folders::GetPreferencesFolder();
    EXPECT_FALSE(prefs.empty());
    EXPECT_EQ(fs::path(prefs).filename(), ".config");
}

TEST(Folders, CacheFollowsXdgCacheHomeElseDotCache) {
    ScopedEnv home("HOME", "/home/someone");
    const struct {
        const char* xdg;
        const char* expected;
    } cases[] = {{"/xdg/cache/", "/xdg/cache"}, {"relative/cache", "/home/someone/.cache"}, {"", "/home/someone/.cache"}};
    for (const auto& c : cases) {
        ScopedEnv xdg("XDG_CACHE_HOME", c.xdg);
        EXPECT_EQ(Folders::GetCacheFolder(), c.expected) << c.xdg;
    }
}
