#include <gtest/gtest.h>

#include <cstring>
#include <regex>

#include <zyn/core/ResourceManagerBase.h>
#include <zyn/core/Root.h>
#include <zyn/io/Package.h>

#include "TestClasses.h"
#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;

namespace {

class FakeGraphics : public IGraphicsLayer {
public:
    bool Init(void*, AppSettings& s) override {
        m_Inits++;
        m_Width = s.screenWidth;
        return m_bInitResult;
    }
    bool ReInit(void*, AppSettings& s) override {
        m_ReInits++;
        m_Width = s.screenWidth;
        return m_bReInitResult;
    }
    void ShutDown() override {}
    void ActivateNotify(bool a) override { m_Activations.push_back(a); }
    void TweakMousePos(int& x, int& y) override {
        x *= 2;
        y *= 2;
    }
    int m_Inits = 0;
    int m_ReInits = 0;
    int m_Width = 0;
    bool m_bInitResult = true;
    bool m_bReInitResult = true;
    std::vector<bool> m_Activations;
};

/// Installs the fake graphics layer and restores the Root's state afterwards.
class RootFixture : public ::testing::Test {
protected:
    void SetUp() override {
        m_pRoot = Singleton<Root>::Get();
        Root::SetGraphicsLayer(&m_Graphics);
    }
    void TearDown() override {
        m_pRoot->ProcessSystemEvent(4, 0, 0);
        Root::SetGraphicsLayer(nullptr);
        std::memset(m_pRoot->m_KeyStates, 0, sizeof m_pRoot->m_KeyStates);
        m_pRoot->m_LogLevel = kLogInfo;
    }
    Root* m_pRoot = nullptr;
    FakeGraphics m_Graphics;
};

}  // namespace

TEST_F(RootFixture, DefaultGroupsSortObjectsByClass) {
    StdOutLogOutput* out = new StdOutLogOutput("out");
    out->AddRef();
    CppPackage* pkg = new CppPackage("pkg");
    pkg->AddRef();
    EXPECT_EQ(m_pRoot->InsertObject(out, -1, 1, nullptr), 0);
    EXPECT_EQ(m_pRoot->InsertObject(pkg, -1, 1, nullptr), 1);
    Ticker* t = new Ticker("t");
    EXPECT_EQ(m_pRoot->InsertObject(t, -1, 1, nullptr), 3);
    EXPECT_EQ(t->GetRefCount(), 1);
    m_pRoot->RemoveObject(out, -1);
    m_pRoot->RemoveObject(pkg, -1);
    m_pRoot->RemoveObject(t, -1);
    out->Release();
    pkg->Release();
}

TEST_F(RootFixture, UpdateClampsStepAndOnlyRunsWhileActive) {
    Ticker* t = new Ticker("t");
    t->AddRef();
    m_pRoot->InsertObject(t, Root::kUpdate, 1, nullptr);
    const int frames = m_pRoot->GetFrameCounter();
    m_pRoot->Update(0.1f);
    EXPECT_TRUE(t->m_Ticks.empty());
    m_pRoot->ProcessSystemEvent(4, 1, 0);
    m_pRoot->Update(1.0f);
    m_pRoot->Update(0.1f);
    ASSERT_EQ(t->m_Ticks.size(), 2u);
    EXPECT_FLOAT_EQ(t->m_Ticks[0], 0.25f);
    EXPECT_FLOAT_EQ(t->m_Ticks[1], 0.1f);
    EXPECT_EQ(m_pRoot->GetFrameCounter(), frames + 2);
    m_pRoot->RemoveObject(t, Root::kUpdate);
    t->Release();
}

TEST_F(RootFixture, KeyStatesKeepEdgesForOneActiveFrame) {
    m_pRoot->ProcessSystemEvent(4, 1, 0);
    m_pRoot->ProcessSystemEvent(0, 32, 0);
    EXPECT_EQ(m_pRoot->m_KeyStates[32], 3);
    m_pRoot->ProcessSystemEvent(0, 32, 0);  // auto-repeat changes nothing
    EXPECT_EQ(m_pRoot->m_KeyStates[32], 3);
    m_pRoot->Update(0.01f);
    EXPECT_EQ(m_pRoot->m_KeyStates[32], 1);
    m_pRoot->ProcessSystemEvent(1, 32, 0);
    EXPECT_EQ(m_pRoot->m_KeyStates[32], 4);
    m_pRoot->Update(0.01f);
    EXPECT_EQ(m_pRoot->m_KeyStates[32], 0);

    // Deactivation releases held keys; inactive frames keep the edges.
    m_pRoot->ProcessSystemEvent(0, 27, 0);
    m_pRoot->ProcessSystemEvent(4, 0, 0);
    EXPECT_EQ(m_pRoot->m_KeyStates[27], 4);
    m_pRoot->Update(0.01f);
    EXPECT_EQ(m_pRoot->m_KeyStates[27], 4);
    // Out-of-range key codes are ignored.
    m_pRoot->ProcessSystemEvent(0, 255, 0);
    m_pRoot->ProcessSystemEvent(0, -1, 0);
}

TEST_F(RootFixture, ActivationNotifiesGraphicsOnlyOnChange) {
    m_pRoot->ProcessSystemEvent(4, 1, 0);
    m_pRoot->ProcessSystemEvent(4, 5, 0);
    m_pRoot->ProcessSystemEvent(4, 0, 0);
    ASSERT_EQ(m_Graphics.m_Activations.size(), 2u);
    EXPECT_TRUE(m_Graphics.m_Activations[0]);
    EXPECT_FALSE(m_Graphics.m_Activations[1]);
    m_pRoot->ProcessSystemEvent(3, 10, 20);
    EXPECT_EQ(m_pRoot->m_MouseX, 20);
    EXPECT_EQ(m_pRoot->m_MouseY, 40);
    m_pRoot->ProcessSystemEvent(5, 1, 0);
    EXPECT_TRUE(m_pRoot->m_bMouseVisible);
    m_pRoot->ProcessSystemEvent(5, 0, 0);
    EXPECT_FALSE(m_pRoot->m_bMouseVisible);
}

namespace {
class Receiver : public ICharEventReceiver {
public:
    Receiver(bool result, std::vector<int>* log, int id) : m_Result(result), m_pLog(log), m_Id(id) {}
    Class* GetClass() override { return &ICharEventReceiver::sm_Class; }
    void* CastMeToClass(Class* cls) override { return ICharEventReceiver::sm_Class.DownCast(this, cls); }
    bool ReceiveCharEvent(int) override {
        m_pLog->push_back(m_Id);
        return m_Result;
    }
    bool m_Result;
    std::vector<int>* m_pLog;
    int m_Id;
};
}  // namespace

TEST_F(RootFixture, CharEventsGoNewestFirstUntilRefused) {
    std::vector<int> served;
    Receiver older(true, &served, 1), middle(false, &served, 2), newest(true, &served, 3);
    m_pRoot->SubscribeToCharEvents(&older);
    m_pRoot->SubscribeToCharEvents(&middle);
    m_pRoot->SubscribeToCharEvents(&newest);
    m_pRoot->ProcessSystemEvent(2, 'a', 0);
    EXPECT_EQ(served, (std::vector<int>{3, 2}));
    EXPECT_TRUE(m_pRoot->UnsubscribeFromCharEvents(&middle));
    EXPECT_FALSE(m_pRoot->UnsubscribeFromCharEvents(&middle));
    m_pRoot->UnsubscribeFromCharEvents(&older);
    m_pRoot->UnsubscribeFromCharEvents(&newest);
}

TEST_F(RootFixture, LogLineHasHeaderPrefixAndScopeIndentation) {
    ScopedLogCapture log;
    m_pRoot->m_LogLevel = kLogDebug;
    {
        ScopeUtil scope(kLogDebug, "Outer(%d)", 5);
        LogSend(kLogWarning, "inside %s", "scope");
    }
    LogSend(kLogError, "after");
    LogSend(4, "dropped above the log level");
    ASSERT_EQ(log->m_Lines.size(), 4u);
    const std::regex header(R"(^\d\d:\d\d:\d\d\.\d - )");
    for (const std::string& l : log->m_Lines) EXPECT_TRUE(std::regex_search(l, header)) << l;
    EXPECT_EQ(log->m_Lines[0].substr(12), " D. Outer(5) -> Scope opened");
    EXPECT_EQ(log->m_Lines[1].substr(12), " W.  inside scope");
    EXPECT_EQ(log->m_Lines[2].substr(12), " D. Outer(%d) -> Scope closed");
    EXPECT_EQ(log->m_Lines[3].substr(12), " E. after");
}

TEST_F(RootFixture, LongLogLinesAreCutAtTheBuffer) {
    ScopedLogCapture log;
    std::string huge(5000, 'x');
    LogSend(kLogError, "%s", huge.c_str());
    ASSERT_EQ(log->m_Lines.size(), 1u);
    EXPECT_EQ(log->m_Lines[0].size(), 1023u);
}

TEST_F(RootFixture, OutputThresholdFiltersPerClass) {
    ScopedLogCapture log;
    m_pRoot->LogSetOutputThreshold(kLogError, &StdOutLogOutput::sm_Class);  // not ours
    LogSend(kLogWarning, "kept");
    m_pRoot->LogSetOutputThreshold(kLogError, nullptr);
    LogSend(kLogWarning, "filtered");
    EXPECT_TRUE(log->Contains("kept"));
    EXPECT_FALSE(log->Contains("filtered"));
}

TEST_F(RootFixture, ReInitFailureKeepsPreviousSettings) {
    AppSettings s;
    s.screenWidth = 640;
    s.screenHeight = 480;
    if (!m_pRoot->IsInited()) {
        EXPECT_TRUE(m_pRoot->Init(s));
        EXPECT_EQ(m_Graphics.m_Inits, 1);
    }
    s.screenWidth = 800;
    EXPECT_TRUE(m_pRoot->Init(s));
    EXPECT_EQ(m_pRoot->GetAppSettings()->screenWidth, 800);
    ScopedLogCapture log;
    m_Graphics.m_bReInitResult = false;
    s.screenWidth = 1024;
    EXPECT_FALSE(m_pRoot->Init(s));
    EXPECT_TRUE(log->Contains(" E.  Zyn::Root::ZynInit -> Graphics::ReInit failed"));
    EXPECT_EQ(m_pRoot->GetAppSettings()->screenWidth, 800);
}

namespace {
class OrderedManager : public ResourceManagerBase {
public:
    OrderedManager(int pass, std::vector<int>* released) : m_Pass(pass), m_pReleased(released) {}
    ~OrderedManager() override { m_pReleased->push_back(m_Pass); }
    Object* GetResource(const char*, Class*) override { return nullptr; }
    bool ReloadResource(Object*) override { return false; }
    int GetReleasePass() const override { return m_Pass; }
    int m_Pass;
    std::vector<int>* m_pReleased;
};
}  // namespace

TEST(RootTeardown, ManagersOfSharedResourcesGoLast) {
    // A private Root: the process-wide one must keep its managers.
    Root* root = new Root;
    std::vector<int> released;
    // The later pass is made first and so stands behind in the group.
    root->InsertObject(new OrderedManager(1, &released), Root::kResourceManagers, 0, nullptr);
    root->InsertObject(new OrderedManager(0, &released), Root::kResourceManagers, 1, nullptr);
    root->Release();
    EXPECT_EQ(released, (std::vector<int>{0, 1}));
    delete root;
}
