// The resource manager template over a small test resource, and the texture
// manager: sharing by name, failed loads, adoption, reload, release at
// shutdown, and the class records that lead from a class to its manager.
#include <gtest/gtest.h>

#include <list>
#include <string>

#include <zyn/core/Property.h>
#include <zyn/graphics/Texture.h>
#include <zyn/graphics/TextureManager.h>
#include <zyn/resources/ResourceManager.h>

#include "TextureTestUtil.h"
#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;

namespace {

/// Loads the text of its file; text starting with "bad" does not load.
class RmTestResource : public Resource {
    ZYN_DECLARE_CLASS(RmTestResource)

public:
    explicit RmTestResource(const char* name = "") : Resource(name) { ++ms_Alive; }
    ~RmTestResource() override { --ms_Alive; }
    bool LoadFromFile(File& file) override {
        ++m_Loads;
        char buf[64] = {};
        file.Read(buf, sizeof buf - 1);
        if (std::string(buf).rfind("bad", 0) == 0) return false;
        m_Text = buf;
        return true;
    }
    std::string m_Text;
    int m_Loads = 0;
    static inline int ms_Alive = 0;
};

/// Another resource class, for the class checks.
class RmOtherResource : public Resource {
    ZYN_DECLARE_CLASS(RmOtherResource)

public:
    explicit RmOtherResource(const char* name = "") : Resource(name) {}
    bool LoadFromFile(File&) override { return true; }
};

ZYN_IMPLEMENT_CLASS(RmTestResource, "RmTestResource", nullptr, nullptr, nullptr, Resource)
ZYN_IMPLEMENT_CLASS(RmOtherResource, "RmOtherResource", nullptr, nullptr, nullptr, Resource)

typedef ResourceManager<RmTestResource> TestManager;

/// A manager of its own (not in the Root), a package, and debug logging.
class ResourceManagerFixture : public ::testing::Test {
protected:
    void SetUp() override {
        m_pManager = new TestManager;
        m_Package.Add("a", "alpha");
        m_Package.Add("b", "beta");
        m_Package.Add("broken", "bad data");
        Singleton<Root>::Get()->m_LogLevel = kLogDebug;
    }
    void TearDown() override {
        Singleton<Root>::Get()->m_LogLevel = kLogInfo;
        delete m_pManager;
        EXPECT_EQ(RmTestResource::ms_Alive, 0) << "a test leaked resources";
    }
    TestManager* m_pManager = nullptr;
    ScopedPackage m_Package;
};

}  // namespace

TEST_F(ResourceManagerFixture, SameNameSharesOneObjectUntilTheLastRelease) {
    ScopedLogCapture log;
    RmTestResource* first = m_pManager->GetResourceTyped("a");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->m_Text, "alpha");
    EXPECT_EQ(first->GetRefCount(), 1);
    EXPECT_TRUE(log->Contains("GetResourceTyped::Finding resource: a"));
    EXPECT_TRUE(log->Contains("GetResourceTyped::Resource not found: a"));

    RmTestResource* second = m_pManager->GetResourceTyped("a");
    EXPECT_EQ(second, first);
    EXPECT_EQ(first->GetRefCount(), 2);
    EXPECT_EQ(first->m_Loads, 1);
    EXPECT_EQ(m_Package.Opens("a"), 1);
    EXPECT_TRUE(log->Contains("GetResourceTyped::Resource found: a"));
    // The manager's link holds no reference.
    EXPECT_EQ(first->GetObjectParentCount(), 1u);
    EXPECT_EQ(first->FindParent(m_pManager->GetName().c_str(), nullptr), m_pManager);

    EXPECT_EQ(first->Release(), 1);
    EXPECT_EQ(m_pManager->GetResourceCount(), 1u);
    EXPECT_EQ(second->Release(), 0);
    EXPECT_EQ(m_pManager->GetResourceCount(), 0u);
    EXPECT_EQ(RmTestResource::ms_Alive, 0);
}

TEST_F(ResourceManagerFixture, MissingAndFailedLoadsLeaveNoTrace) {
    ScopedLogCapture log;
    EXPECT_EQ(m_pManager->GetResourceTyped("nowhere"), nullptr);
    EXPECT_TRUE(log->Contains(" W. Resource <nowhere> not found..."));
    EXPECT_EQ(m_pManager->GetResource("nowhere", nullptr), nullptr);

    EXPECT_EQ(m_pManager->GetResourceTyped("broken"), nullptr);
    EXPECT_TRUE(log->Contains(" W. Could not load resource <broken>..."));
    EXPECT_EQ(m_pManager->GetResourceCount(), 0u);
    EXPECT_EQ(RmTestResource::ms_Alive, 0) << "the failed object is destroyed";
    // Nothing is remembered: the next request tries the file again.
    EXPECT_EQ(m_pManager->GetResourceTyped("broken"), nullptr);
    EXPECT_EQ(m_Package.Opens("broken"), 2);
    EXPECT_EQ(m_pManager->GetResourceTyped(nullptr), nullptr);
}

TEST_F(ResourceManagerFixture, NamesAreExactKeys) {
    m_Package.Add("dir\\x", "1");
    m_Package.Add("dir/x", "2");
    m_Package.Add("DIR\\x", "3");
    RmTestResource* a = m_pManager->GetResourceTyped("dir\\x");
    RmTestResource* b = m_pManager->GetResourceTyped("dir/x");
    RmTestResource* c = m_pManager->GetResourceTyped("DIR\\x");
    ASSERT_TRUE(a && b && c);
    EXPECT_NE(a, b);
    EXPECT_NE(a, c);
    EXPECT_NE(b, c);
    EXPECT_EQ(a->m_Text + b->m_Text + c->m_Text, "123");

    // Enumeration follows byte-wise key order.
    std::list<Object*> all;
    EXPECT_EQ(m_pManager->EnumObjects(7, all), 3);
    std::list<Object*> expected{c, b, a};  // "DIR\x" < "dir/x" < "dir\x"
    EXPECT_EQ(all, expected);

    a->Release();
    b->Release();
    c->Release();
}

TEST_F(ResourceManagerFixture, FindObjectAnswersManagedNames) {
    RmTestResource* a = m_pManager->GetResourceTyped("a");
    EXPECT_EQ(m_pManager->FindObject("a", nullptr, -3), a);
    EXPECT_EQ(m_pManager->FindObject("a", &RmTestResource::sm_Class, -1), a);
    EXPECT_EQ(m_pManager->FindObject("a", &Resource::sm_Class, 0), a);
    EXPECT_EQ(m_pManager->FindObject("a", &RmOtherResource::sm_Class, -3), nullptr);
    EXPECT_EQ(m_pManager->FindObject("a", nullptr, 1), nullptr);
    EXPECT_EQ(m_pManager->FindObject("b", nullptr, -3), nullptr) << "never requested";
    EXPECT_EQ(a->GetRefCount(), 1) << "a lookup adds no reference";
    a->Release();
}

TEST_F(ResourceManagerFixture, InsertAdoptsWithoutAReference) {
    ScopedLogCapture log;
    RmTestResource* made = new RmTestResource("made");
    made->AddRef();
    EXPECT_EQ(m_pManager->InsertObject(made, -1, 0, nullptr), 0);
    EXPECT_EQ(made->GetRefCount(), 1);
    RmTestResource* again = m_pManager->GetResourceTyped("made");
    EXPECT_EQ(again, made);
    again->Release();

    RmTestResource* twin = new RmTestResource("made");
    EXPECT_EQ(m_pManager->InsertObject(twin, -1, 0, nullptr), -2);
    EXPECT_TRUE(log->Contains(" W. Resource <made> is already managed in RmTestResourceManager"));
    // Removing the unmanaged twin must not evict the managed object.
    EXPECT_EQ(m_pManager->RemoveObject(twin, 0), 0);
    EXPECT_EQ(m_pManager->FindObject("made", nullptr, -3), made);
    twin->Release();

    RmOtherResource* other = new RmOtherResource("other");
    EXPECT_EQ(m_pManager->InsertObject(other, -1, 0, nullptr), -2);
    EXPECT_TRUE(log->Contains(" W. Bad resource class (other, RmTestResourceManager)"));
    other->Release();

    EXPECT_EQ(m_pManager->RemoveObject(made, 0), 1);
    EXPECT_EQ(made->GetObjectParentCount(), 0u);
    EXPECT_EQ(m_pManager->GetResourceCount(), 0u);
    made->Release();
}

TEST_F(ResourceManagerFixture, RenamedResourceStillLeavesTheMapWhenDestroyed) {
    RmTestResource* a = m_pManager->GetResourceTyped("a");
    a->SetName("renamed");
    a->Release();
    EXPECT_EQ(m_pManager->GetResourceCount(), 0u);
    EXPECT_EQ(RmTestResource::ms_Alive, 0);
}

TEST_F(ResourceManagerFixture, ReloadWorksInPlace) {
    ScopedLogCapture log;
    RmTestResource* a = m_pManager->GetResourceTyped("a");
    m_Package.Add("a", "changed");
    EXPECT_TRUE(m_pManager->ReloadResource(a));
    EXPECT_EQ(a->m_Text, "changed");
    EXPECT_EQ(m_pManager->GetResourceTyped("a"), a);
    EXPECT_EQ(a->GetRefCount(), 2);

    m_Package.Add("a", "bad again");
    EXPECT_FALSE(m_pManager->ReloadResource(a));
    EXPECT_TRUE(log->Contains(" W. Reload resource failed for RmTestResource a"));

    RmTestResource* lost = new RmTestResource("lost");
    EXPECT_FALSE(m_pManager->ReloadResource(lost));
    EXPECT_TRUE(log->Contains(" W. Reload resource failed for RmTestResource lost (file not found)"));
    lost->Release();

    RmOtherResource* other = new RmOtherResource("a");
    EXPECT_FALSE(m_pManager->ReloadResource(other));
    other->Release();
    a->Release();
    a->Release();
}

TEST_F(ResourceManagerFixture, DeleteThisReleasesWhatIsStillHeld) {
    ScopedLogCapture log;
    RmTestResource* a = m_pManager->GetResourceTyped("a");
    RmTestResource* b = m_pManager->GetResourceTyped("b");
    m_pManager->GetResourceTyped("b");
    ASSERT_EQ(b->GetRefCount(), 2);
    ASSERT_EQ(RmTestResource::ms_Alive, 2);
    (void)a;

    // As when the Root lets the manager go; the manager object itself stays.
    m_pManager->DeleteThis();
    EXPECT_EQ(RmTestResource::ms_Alive, 0);
    EXPECT_EQ(m_pManager->GetResourceCount(), 0u);
    EXPECT_TRUE(log->Contains(" I. Releasing resource manager for class: RmTestResource"));
    EXPECT_TRUE(log->Contains(" W.  - 2 resources still referenced"));
    EXPECT_TRUE(log->Contains(" W.   - a"));
    EXPECT_TRUE(log->Contains(" W.   - b"));

    // An empty manager only says goodbye.
    log->m_Lines.clear();
    m_pManager->DeleteThis();
    EXPECT_TRUE(log->Contains("Releasing resource manager for class: RmTestResource"));
    EXPECT_FALSE(log->Contains("still referenced"));
}

TEST_F(ResourceManagerFixture, ManagerDestroyedFirstLeavesNoLinksBehind) {
    RmTestResource* a = m_pManager->GetResourceTyped("a");
    delete m_pManager;
    m_pManager = new TestManager;
    EXPECT_EQ(a->GetObjectParentCount(), 0u);
    a->Release();
}

// ---------------------------------------------------------------------------
// The texture manager.

TEST(TextureManager, IsTheRootsFirstResourceManager) {
    TextureManager* mgr = GetCreateTextureManager();
    EXPECT_EQ(mgr, Singleton<TextureManager>::Get());
    EXPECT_EQ(mgr->GetName(), "TextureManager");
    auto& managers = Singleton<Root>::Get()->GetResourceManagerGroup().GetList();
    ASSERT_FALSE(managers.empty());
    bool found = false;
    for (ResourceManagerBase* m : managers) found = found || m == mgr;
    EXPECT_TRUE(found);

    EXPECT_EQ(Class::FindClass("TextureManager"), &TextureManager::sm_Class);
    EXPECT_TRUE(TextureManager::sm_Class.Supports(&ResourceManagerBase::sm_Class));
    EXPECT_EQ(Texture::sm_Class.GetResourceManager(), mgr);
    ASSERT_EQ(TextureManager::sm_Class.GetGroupProps().size(), 1u);
    GroupProperty* textures = TextureManager::sm_Class.GetGroupProps().front();
    EXPECT_EQ(textures->GetName(), "Textures");
    EXPECT_EQ(textures->GetElementClass(), &Texture::sm_Class);
}

TEST(TextureManager, MissingTextureGivesTheNullTextureWithAReference) {
    ScopedLogCapture log;
    TextureManager* mgr = GetCreateTextureManager();
    Texture* null = Texture::GetNullResource();
    const int before = null->GetRefCount();
    Texture* a = mgr->GetResourceTyped("no such texture.jp2");
    Texture* b = ZYN_Cast<Texture, Object>(mgr->GetResource("no such texture.jp2", nullptr));
    EXPECT_EQ(a, null);
    EXPECT_EQ(b, null);
    EXPECT_EQ(null->GetName(), "null_texture");
    EXPECT_EQ(null->GetRefCount(), before + 2);
    EXPECT_EQ(mgr->FindObject("null_texture", nullptr, -3), nullptr) << "the null texture is not managed";
    EXPECT_TRUE(log->Contains("Resource <no such texture.jp2> not found..."));

    // Releasing it to the end never destroys it.
    while (null->Release() > 0) {
    }
    Texture* again = Texture::GetNullResource();
    EXPECT_EQ(again, null);
    EXPECT_EQ(again->GetRefCount(), 1);
    EXPECT_EQ(again->GetSpriteCount(), 1);
    again->Release();
}

TEST(TextureManager, DescriptorWithoutColourImageIsNotLoadable) {
    ScopedLogCapture log;
    ScopedPackage pkg;
    pkg.Add("empty.tex", "a:alpha.tga\r\ns:sprites\r\n");
    pkg.Add("missing.tex", "c:nowhere.tga\r\n");
    TextureManager* mgr = GetCreateTextureManager();
    const unsigned count = mgr->GetResourceCount();
    Texture* t = mgr->GetResourceTyped("empty.tex");
    EXPECT_EQ(t, Texture::GetNullResource());
    t->Release();
    t->Release();
    t = mgr->GetResourceTyped("missing.tex");
    EXPECT_EQ(t->GetName(), "null_texture");
    t->Release();
    EXPECT_EQ(log->Count("Could not load resource <"), 2);
    EXPECT_EQ(mgr->GetResourceCount(), count);
}
