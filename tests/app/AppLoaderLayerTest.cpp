// The background loader on an offscreen surface: textures listed in a
// resource list load on the worker while frames are drawn, and the frame
// thread draws them afterwards; the progress bar's pixels; finishing on a
// press of key code 1; cancellation by destruction; release and reload tasks
// on the worker; the worker leaving the renderer's state alone.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <thread>

#include <zyn/app/App.h>
#include <zyn/app/AppLoaderLayer.h>
#include <zyn/core/Root.h>
#include <zyn/graphics/Graphics.h>
#include <zyn/graphics/Texture.h>
#include <zyn/graphics/TextureManager.h>
#include <zyn/resources/ResourceTask.h>

#include "graphics/TextureTestUtil.h"
#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;
namespace G = Zyn::Graphics;

namespace {

const int kLeftButton = 1;

/// Counts executions and deletions of the tasks of one test.
struct TaskJournal {
    std::atomic<int> executed{0};
    std::atomic<int> deleted{0};
};

class CountTask : public ITask {
public:
    explicit CountTask(TaskJournal* journal) : m_pJournal(journal) {}
    ~CountTask() override { ++m_pJournal->deleted; }
    bool Execute() override {
        ++m_pJournal->executed;
        return true;
    }

protected:
    TaskJournal* m_pJournal;
};

/// Tells the test it has started, then waits until the gate opens.
class GateTask : public CountTask {
public:
    GateTask(TaskJournal* journal, std::promise<void>* started, std::shared_future<void> gate)
        : CountTask(journal), m_pStarted(started), m_Gate(std::move(gate)) {}
    bool Execute() override {
        m_pStarted->set_value();
        m_Gate.wait();
        return false;  // a failed task still counts as done
    }

private:
    std::promise<void>* m_pStarted;
    std::shared_future<void> m_Gate;
};

/// Runs until the layer's cancel flag is set, then notes that it ended.
class WaitForCancelTask : public CountTask {
public:
    WaitForCancelTask(TaskJournal* journal, std::promise<void>* started, const std::atomic<bool>* cancel,
                      std::atomic<bool>* ended)
        : CountTask(journal), m_pStarted(started), m_pCancel(cancel), m_pEnded(ended) {}
    bool Execute() override {
        m_pStarted->set_value();
        while (!m_pCancel->load()) std::this_thread::yield();
        *m_pEnded = true;
        return true;
    }

private:
    std::promise<void>* m_pStarted;
    const std::atomic<bool>* m_pCancel;
    std::atomic<bool>* m_pEnded;
};

/// Records OnLoadFinish and answers false, so that Update shows its result.
class TestLoaderLayer : public AppLoaderLayer {
public:
    explicit TestLoaderLayer(const char* name = "loader") : AppLoaderLayer(name) {}
    bool OnLoadFinish() override {
        ++m_Finishes;
        m_bJoinedAtFinish = !IsRunning();
        return false;
    }
    const std::atomic<bool>* CancelFlag() const { return &m_bCancel; }
    int m_Finishes = 0;
    bool m_bJoinedAtFinish = false;
};

/// A 64 x 64 offscreen frame that is also the Root's screen and application size.
class LoaderFrame : public OffscreenFrame {
protected:
    void SetUp() override {
        Root* root = Singleton<Root>::Get();
        m_SavedSettings = *root->GetAppSettings();
        AppSettings* s = root->GetAppSettings();
        s->screenWidth = s->screenHeight = s->appWidth = s->appHeight = kSize;
        OffscreenFrame::SetUp();
    }
    void TearDown() override {
        Root* root = Singleton<Root>::Get();
        *root->GetAppSettings() = m_SavedSettings;
        std::memset(root->m_KeyStates, 0, sizeof root->m_KeyStates);
        root->m_bInputLocked = false;
        OffscreenFrame::TearDown();
    }
    static void PressKey(int code) {
        Singleton<Root>::Get()->m_KeyStates[code] |= Root::kKeyDown | Root::kKeyPressed;
    }
    static void ReleaseKeys() {
        std::memset(Singleton<Root>::Get()->m_KeyStates, 0, sizeof Singleton<Root>::Get()->m_KeyStates);
    }
    void RenderLayer(AppLoaderLayer& layer) {
        BeginFrame();
        layer.Render(0.0f);
        Finish();
    }
    static Texture* HeldTexture(const char* name) {
        return static_cast<Texture*>(GetCreateTextureManager()->FindObject(name, nullptr, -3));
    }
    /// Gives back every reference to the texture; true when it existed.
    static bool DropTexture(const char* name) {
        Texture* t = HeldTexture(name);
        if (!t) return false;
        while (t->Release() > 0) {
        }
        return true;
    }

    AppSettings m_SavedSettings;
    ScopedPackage m_Package;
};

}  // namespace

TEST_F(LoaderFrame, LoadsAListOnTheWorkerWhileFramesAreDrawn) {
    m_Package.Add("tex/red.tga", SolidTga(8, 8, 0xFFFF0000));
    m_Package.Add("tex/green.tga", SolidTga(8, 8, 0xFF00FF00));
    m_Package.Add("tex/blue.tga", SolidTga(8, 8, 0xFF0000FF));
    m_Package.Add(
        "lists/level.txt",
        "Texture: tex/red.tga\nTexture: tex/green.tga\r\nnot a resource line\nTexture: tex/blue.tga\n");

    App app("loading app");
    TestLoaderLayer* layer = new TestLoaderLayer;
    ASSERT_EQ(app.InsertObject(layer, App::kActiveLayers, 0, nullptr), App::kActiveLayers);
    EXPECT_EQ(layer->AddResListFile("lists/level.txt"), 3);
    EXPECT_EQ(layer->AddResListFile("lists/missing.txt"), 3) << "a missing list adds nothing";
    ASSERT_TRUE(layer->StartThread());

    // Whole frames through the application, as the frame thread draws them.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (layer->GetDoneCount() != 3u && std::chrono::steady_clock::now() < deadline) app.Update(0.016f);
    ASSERT_EQ(layer->GetDoneCount(), 3u);
    app.Update(0.016f);
    EXPECT_EQ(layer->m_Finishes, 0) << "done, but no key press yet";
    PressKey(kLeftButton);
    app.Update(0.016f);
    ReleaseKeys();
    EXPECT_EQ(layer->m_Finishes, 1);
    EXPECT_TRUE(layer->m_bJoinedAtFinish);

    // Each texture is held once by its load and is drawn by the frame thread.
    const char* names[] = {"tex/red.tga", "tex/green.tga", "tex/blue.tga"};
    BeginFrame();
    for (int i = 0; i < 3; ++i) {
        Texture* t = HeldTexture(names[i]);
        ASSERT_NE(t, nullptr) << names[i];
        EXPECT_EQ(t->GetRefCount(), 1);
        ASSERT_TRUE(t->GetTexHandle().IsOk()) << names[i];
        G::SetTexture(t->GetTexHandle());
        G::DrawRect(float(20 * i), 0, float(20 * i + 20), 20, 0, 0xFFFFFFFF, 0, 0, 1, 1);
    }
    Finish();
    EXPECT_TRUE(Near(10, 10, 255, 0, 0));
    EXPECT_TRUE(Near(30, 10, 0, 255, 0));
    EXPECT_TRUE(Near(50, 10, 0, 0, 255));
    for (const char* name : names) EXPECT_TRUE(DropTexture(name));
}

TEST_F(LoaderFrame, ProgressBarShowsTheShareOfTasksDone) {
    // Bar bounds for 64 x 64: x from 16 to 48, y from 48 to 51.2.
    TaskJournal journal;
    std::promise<void> started;
    std::promise<void> open;
    TestLoaderLayer layer;
    layer.AddTask(new CountTask(&journal));
    layer.AddTask(new GateTask(&journal, &started, open.get_future().share()));
    layer.AddTask(new CountTask(&journal));
    EXPECT_EQ(layer.AddTask(new CountTask(&journal)), 4);
    ASSERT_TRUE(layer.StartThread());
    started.get_future().wait();
    ASSERT_EQ(layer.GetDoneCount(), 1u);

    RenderLayer(layer);
    EXPECT_TRUE(Near(16, 49, 225, 225, 225)) << "filled to 16 + 32/4";
    EXPECT_TRUE(Near(23, 50, 225, 225, 225));
    EXPECT_TRUE(Near(24, 49, 128, 128, 128));
    EXPECT_TRUE(Near(47, 50, 128, 128, 128));
    EXPECT_TRUE(IsBlack(48, 49));
    EXPECT_TRUE(IsBlack(15, 49));
    EXPECT_TRUE(IsBlack(20, 47));
    EXPECT_TRUE(IsBlack(20, 51));
    EXPECT_EQ(LitCount(0, 0, kSize, kSize), 32 * 3);

    open.set_value();
    layer.WaitComplete();
    EXPECT_EQ(layer.GetDoneCount(), 4u);
    RenderLayer(layer);
    EXPECT_TRUE(Near(16, 49, 255, 255, 255));
    EXPECT_TRUE(Near(47, 50, 255, 255, 255));
    EXPECT_EQ(LitCount(0, 0, kSize, kSize), 32 * 3);
    EXPECT_EQ(journal.executed, 3);
}

TEST_F(LoaderFrame, AnEmptyLoaderIsFullAndFinishesOnTheFirstUnlockedPress) {
    TestLoaderLayer layer;
    RenderLayer(layer);
    EXPECT_TRUE(Near(16, 49, 255, 255, 255));
    EXPECT_TRUE(Near(47, 50, 255, 255, 255));

    Root* root = Singleton<Root>::Get();
    EXPECT_TRUE(layer.Update(0.016f));
    PressKey(13);
    EXPECT_TRUE(layer.Update(0.016f)) << "only key code 1 finishes";
    root->m_KeyStates[kLeftButton] = Root::kKeyDown;
    EXPECT_TRUE(layer.Update(0.016f)) << "held, but it did not go down this frame";
    PressKey(kLeftButton);
    root->m_bInputLocked = true;
    EXPECT_TRUE(layer.Update(0.016f)) << "input is locked";
    EXPECT_EQ(layer.m_Finishes, 0);
    root->m_bInputLocked = false;
    EXPECT_FALSE(layer.Update(0.016f)) << "Update answers OnLoadFinish's result";
    EXPECT_EQ(layer.m_Finishes, 1);
}

TEST_F(LoaderFrame, APressBeforeTheLastTaskIsIgnored) {
    TaskJournal journal;
    std::promise<void> started;
    std::promise<void> open;
    TestLoaderLayer layer;
    layer.AddTask(new GateTask(&journal, &started, open.get_future().share()));
    ASSERT_TRUE(layer.StartThread());
    started.get_future().wait();
    PressKey(kLeftButton);
    EXPECT_TRUE(layer.Update(0.016f));
    EXPECT_EQ(layer.m_Finishes, 0);
    open.set_value();
    layer.WaitComplete();
    EXPECT_FALSE(layer.Update(0.016f));
    EXPECT_EQ(layer.m_Finishes, 1);
}

TEST_F(LoaderFrame, DestructionCancelsAfterTheCurrentTaskJoinsAndDeletesEveryTask) {
    TaskJournal journal;
    std::promise<void> started;
    std::atomic<bool> ended{false};
    {
        Ref<TestLoaderLayer> layer(new TestLoaderLayer);
        layer->AddTask(new WaitForCancelTask(&journal, &started, layer->CancelFlag(), &ended));
        for (int i = 0; i < 5; ++i) layer->AddTask(new CountTask(&journal));
        ASSERT_TRUE(layer->StartThread());
        started.get_future().wait();
        EXPECT_TRUE(layer->IsRunning());
        // The last reference: the layer is destroyed while its worker runs.
    }
    EXPECT_TRUE(ended) << "the task in progress finished before the layer was gone";
    EXPECT_EQ(journal.executed, 0) << "no task after the current one ran";
    EXPECT_EQ(journal.deleted, 6);
}

TEST_F(LoaderFrame, TasksAndListsOfferedWhileLoadingAreRefused) {
    TaskJournal journal;
    std::promise<void> started;
    std::promise<void> open;
    m_Package.Add("lists/late.txt", "Texture: tex/late.tga\n");
    TestLoaderLayer layer;
    layer.AddTask(new GateTask(&journal, &started, open.get_future().share()));
    layer.AddTask(nullptr);
    ASSERT_TRUE(layer.StartThread());
    started.get_future().wait();
    {
        ScopedLogCapture log;
        EXPECT_EQ(layer.AddTask(new CountTask(&journal)), 1);
        EXPECT_EQ(journal.deleted, 1) << "the refused task is not leaked";
        EXPECT_EQ(layer.AddResListFile("lists/late.txt"), 1);
        EXPECT_TRUE(log->Contains("AppLoaderLayer::AddTask -> loading in progress, task dropped"));
        EXPECT_TRUE(log->Contains(
            "AppLoaderLayer::AddResListFile -> loading in progress, <lists/late.txt> not added"));
    }
    open.set_value();
    layer.WaitComplete();
    EXPECT_EQ(layer.GetDoneCount(), 1u);
    // Once the worker has ended the layer takes tasks again.
    EXPECT_EQ(layer.AddTask(new CountTask(&journal)), 2);
}

TEST_F(LoaderFrame, ReloadAndReleaseTasksOnTheWorkerTakeEffect) {
    const char* kName = "tex/swap.tga";
    m_Package.Add(kName, SolidTga(8, 8, 0xFFFF0000));
    auto runOnWorker = [](ResourceAction action, const char* name) {
        TestLoaderLayer loader;
        loader.AddTask(new ResourceTask(name, &Texture::sm_Class, action));
        EXPECT_TRUE(loader.StartThread());
        loader.WaitComplete();
        EXPECT_EQ(loader.GetDoneCount(), 1u);
    };

    runOnWorker(RA_Load, kName);
    Texture* tex = HeldTexture(kName);
    ASSERT_NE(tex, nullptr);
    EXPECT_EQ(tex->GetRefCount(), 1);
    const TextureRecord* oldRecord = tex->GetTexHandle().Get();

    // The frame thread's renderer has the texture bound; the worker must not
    // touch that cache, flush the batch or issue state calls on its behalf.
    G::SetTexture(tex->GetTexHandle());
    G::ResetDebugCounters();
    m_Package.Add(kName, SolidTga(8, 8, 0xFF00FF00));
    runOnWorker(RA_Reload, kName);
    EXPECT_EQ(HeldTexture(kName), tex) << "reloaded in place";
    EXPECT_EQ(tex->GetRefCount(), 1);
    EXPECT_EQ(G::Globals::g_pCurTexture.Get(), oldRecord);
    EXPECT_EQ(G::GetDebugCounters().stateCalls, 0u);
    EXPECT_EQ(G::GetDebugCounters().flushes, 0u);

    BeginFrame();
    ASSERT_TRUE(tex->GetTexHandle().IsOk());
    G::SetTexture(tex->GetTexHandle());
    G::DrawRect(0, 0, 20, 20, 0, 0xFFFFFFFF, 0, 0, 1, 1);
    Finish();
    EXPECT_TRUE(Near(10, 10, 0, 255, 0)) << "the new pixels, uploaded on the worker";
    const GLuint name = tex->GetTexHandle()->glName;

    BeginFrame();  // lets go of the texture in the renderer's cache
    runOnWorker(RA_Release, kName);
    EXPECT_EQ(HeldTexture(kName), nullptr) << "gone with its last reference";
    EXPECT_EQ(glIsTexture(name), GL_FALSE) << "its GL texture went with it";
    Finish();
}
