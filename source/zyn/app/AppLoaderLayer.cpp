#include <zyn/app/AppLoaderLayer.h>

#include <zyn/core/Class.h>
#include <zyn/core/Interfaces.h>
#include <zyn/core/Log.h>
#include <zyn/core/Root.h>
#include <zyn/graphics/Graphics.h>
#include <zyn/io/File.h>
#include <zyn/resources/ResListParser.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS(AppLoaderLayer, "AppLoaderLayer", nullptr, nullptr, nullptr, AppObject)

namespace {

const Color kBarColor = 0xFF808080;
const Color kFillColor = 0xFFE1E1E1;
const Color kDoneColor = 0xFFFFFFFF;

void DrawBarQuad(float left, float right, float top, float bottom, Color color) {
    const BasicVertex quad[4] = {{0, 0, color, left, top, 0},
                                 {0, 0, color, right, top, 0},
                                 {0, 0, color, right, bottom, 0},
                                 {0, 0, color, left, bottom, 0}};
    Graphics::RenderQuads(quad, 1);
}

}  // namespace

AppLoaderLayer::AppLoaderLayer(const char* name) : AppObject(name) {}

AppLoaderLayer::~AppLoaderLayer() {
    // The worker looks at the flag between tasks, so the current one finishes.
    m_bCancel.store(true, std::memory_order_release);
    WaitComplete();
    for (ITask* task : m_Tasks) delete task;
    m_Tasks.clear();
}

int AppLoaderLayer::AddResListFile(const char* fileName) {
    if (IsRunning()) {
        LogSend(kLogWarning, "AppLoaderLayer::AddResListFile -> loading in progress, <%s> not added",
                fileName ? fileName : "");
        return int(m_Tasks.size());
    }
    File* file = Singleton<Root>::Get()->OpenFile(fileName, true);
    if (file) {
        (void)ResListParser::ParseResourceList(*file, RA_Load, &m_Tasks);
        delete file;
    }
    return int(m_Tasks.size());
}

int AppLoaderLayer::AddTask(ITask* task) {
    if (!task) return int(m_Tasks.size());
    if (IsRunning()) {
        LogSend(kLogWarning, "AppLoaderLayer::AddTask -> loading in progress, task dropped");
        delete task;
        return int(m_Tasks.size());
    }
    m_Tasks.push_back(task);
    return int(m_Tasks.size());
}

bool AppLoaderLayer::Update(float) {
    if (GetDoneCount() != m_Tasks.size()) return true;
    Root* root = Singleton<Root>::Get();
    if (!(root->m_KeyStates[1] & Root::kKeyPressed) || root->m_bInputLocked) return true;
    WaitComplete();
    return OnLoadFinish();
}

bool AppLoaderLayer::Render(float) {
    const AppSettings* settings = Singleton<Root>::Get()->GetAppSettings();
    const s32 w = settings->appWidth;
    const s32 h = settings->appHeight;
    Graphics::ClearScreenViewport(0xFF000000, true, 0.0f, false);

    const float left = float(w) * 0.25f;
    const float right = float((w / 4) * 3.0);
    const float top = float((h / 4) * 3.0);
    const float bottom = float((h / 4) * 3.2);
    // The bar is flat colour whatever a layer behind left bound.
    Graphics::SetTexture(TexHandle());
    DrawBarQuad(left, right, top, bottom, kBarColor);

    // One reading serves both the colour and the length, so they agree.
    const u32 done = GetDoneCount();
    const size_t total = m_Tasks.size();
    const bool complete = done == total;
    float edge = right;
    if (total > 0) edge = left + (float(done) / float(total)) * (right - left);
    DrawBarQuad(left, edge, top, bottom, complete ? kDoneColor : kFillColor);
    return true;
}

bool AppLoaderLayer::OnLoadFinish() { return true; }

int AppLoaderLayer::ThreadFunction() {
    Graphics::OglContextScope context;
    if (!context.IsOk())
        LogSend(kLogWarning,
                "AppLoaderLayer::ThreadFunction -> no shared GL context, textures cannot be uploaded");
    m_DoneCount.store(0, std::memory_order_release);
    u32 done = 0;
    for (ITask* task : m_Tasks) {
        if (m_bCancel.load(std::memory_order_acquire)) break;
        (void)task->Execute();
        // Release: what the task made is visible to whoever sees the new count.
        m_DoneCount.store(++done, std::memory_order_release);
    }
    return int(done);
}

}  // namespace Zyn
