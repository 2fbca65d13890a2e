// Resource tasks through the manager of their class: load keeps a reference,
// release gives it back, reload reloads in place; every refusal.
#include <gtest/gtest.h>

#include <thread>

#include <zyn/core/Class.h>
#include <zyn/resources/ResourceTask.h>

#include "LoaderTestResource.h"
#include "graphics/TextureTestUtil.h"
#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;

namespace {

class ResourceTaskFixture : public ::testing::Test {
protected:
    void SetUp() override {
        m_Package.Add("res/a", "alpha");
        m_Package.Add("res/broken", "bad data");
    }
    void TearDown() override { EXPECT_EQ(LoaderTestResource::ms_Alive, 0) << "a test leaked resources"; }

    LoaderTestResource* Held(const char* name) {
        return static_cast<LoaderTestResource*>(m_Manager->FindObject(name, nullptr, -3));
    }
    static bool Run(const char* name, ResourceAction action) {
        ResourceTask task(name, &LoaderTestResource::sm_Class, action);
        return task.Execute();
    }

    ScopedLoaderTestManager m_Manager;
    ScopedPackage m_Package;
};

}  // namespace

TEST_F(ResourceTaskFixture, LoadKeepsOneReferencePerTask) {
    EXPECT_TRUE(Run("res/a", RA_Load));
    LoaderTestResource* res = Held("res/a");
    ASSERT_NE(res, nullptr);
    EXPECT_EQ(res->m_Text, "alpha");
    EXPECT_EQ(res->GetRefCount(), 1);
    EXPECT_TRUE(Run("res/a", RA_Load));
    EXPECT_EQ(Held("res/a"), res) << "a second load shares the first";
    EXPECT_EQ(res->GetRefCount(), 2);
    EXPECT_EQ(res->m_Loads, 1);
    EXPECT_TRUE(Run("res/a", RA_Release));
    EXPECT_TRUE(Run("res/a", RA_Release));
}

TEST_F(ResourceTaskFixture, LoadFailsForMissingAndBrokenFiles) {
    ScopedLogCapture log;
    EXPECT_FALSE(Run("res/none", RA_Load));
    EXPECT_FALSE(Run("res/broken", RA_Load));
    EXPECT_TRUE(log->Contains("Could not load resource <res/broken>..."));
    EXPECT_EQ(m_Manager->GetResourceCount(), 0u);
}

TEST_F(ResourceTaskFixture, ReleaseDestroysTheResourceWithItsLastReference) {
    ASSERT_TRUE(Run("res/a", RA_Load));
    ASSERT_EQ(LoaderTestResource::ms_Alive, 1);
    EXPECT_TRUE(Run("res/a", RA_Release));
    EXPECT_EQ(LoaderTestResource::ms_Alive, 0);
    EXPECT_EQ(m_Manager->GetResourceCount(), 0u);
    EXPECT_FALSE(Run("res/a", RA_Release)) << "nothing left to release";
}

TEST_F(ResourceTaskFixture, ReloadLoadsAgainInPlace) {
    ASSERT_TRUE(Run("res/a", RA_Load));
    LoaderTestResource* res = Held("res/a");
    ASSERT_NE(res, nullptr);
    m_Package.Add("res/a", "changed");
    EXPECT_TRUE(Run("res/a", RA_Reload));
    EXPECT_EQ(Held("res/a"), res);
    EXPECT_EQ(res->m_Text, "changed");
    EXPECT_EQ(res->m_Loads, 2);
    EXPECT_EQ(res->GetRefCount(), 1);

    // The manager's own failure is logged; the task only needed to find the resource.
    ScopedLogCapture log;
    m_Package.Add("res/a", "bad now");
    EXPECT_TRUE(Run("res/a", RA_Reload));
    EXPECT_TRUE(log->Contains("Reload resource failed for LoaderTestResource res/a"));
    EXPECT_FALSE(Run("res/other", RA_Reload));
    EXPECT_TRUE(Run("res/a", RA_Release));
}

TEST_F(ResourceTaskFixture, RefusesWhatCannotBeDone) {
    EXPECT_FALSE(Run("", RA_Load));
    EXPECT_FALSE(Run(nullptr, RA_Load));
    EXPECT_FALSE(Run("res/a", ResourceAction(0)));
    EXPECT_FALSE(Run("res/a", ResourceAction(7)));
    EXPECT_FALSE(ResourceTask("res/a", nullptr, RA_Load).Execute());
    EXPECT_FALSE(ResourceTask("res/a", Class::FindClass("AppObject"), RA_Load).Execute())
        << "a class without a manager";
    EXPECT_EQ(m_Manager->GetResourceCount(), 0u);
}

TEST_F(ResourceTaskFixture, TheManagerIsReachedFirstOnTheThreadThatMakesTheTask) {
    // Managers enter the Root when created; that must not happen on a worker.
    ResourceTask task("res/a", &LoaderTestResource::sm_Class, RA_Load);
    EXPECT_EQ(ScopedLoaderTestManager::FirstAsker(), std::this_thread::get_id());
    bool loaded = false;
    std::thread worker([&] { loaded = task.Execute(); });
    worker.join();
    EXPECT_TRUE(loaded);
    EXPECT_TRUE(Run("res/a", RA_Release));
}
