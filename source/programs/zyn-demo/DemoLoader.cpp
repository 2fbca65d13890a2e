#include "DemoLoader.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <list>
#include <thread>

#include <zyn/core/Root.h>
#include <zyn/core/StringUtf8.h>
#include <zyn/graphics/Font.h>
#include <zyn/graphics/FontManager.h>
#include <zyn/graphics/Graphics.h>
#include <zyn/graphics/Texture.h>
#include <zyn/graphics/TextureManager.h>
#include <zyn/io/File.h>
#include <zyn/resources/ResListParser.h>

#include "DemoContent.h"
#include "TaskGate.h"

namespace Demo {

ZYN_IMPLEMENT_CLASS(DemoLoader, "DemoLoader", nullptr, nullptr, nullptr, Zyn::AppLoaderLayer)

namespace {

const char* const kFont = "debugfont.zyn_fnt";

/// A task that waits for its turn at the gate before it runs the real one.
class MeteredTask : public Zyn::ITask {
public:
    MeteredTask(std::shared_ptr<TaskGate> gate, Zyn::ITask* task) : m_pGate(std::move(gate)), m_pTask(task) {}
    bool Execute() override { return m_pGate->WaitPass() && m_pTask->Execute(); }

private:
    std::shared_ptr<TaskGate> m_pGate;
    std::unique_ptr<Zyn::ITask> m_pTask;
};

// Takes over the reference a manager handed out.
template <class T>
void Adopt(Zyn::Ref<T>& holder, T* resource) {
    holder.Reset(resource);
    if (resource) resource->Release();
}

void DrawCentred(Zyn::Font* font, float baseline, const char* text, float scale, Zyn::Color color) {
    Zyn::Rect<float> box;
    font->GetTextScaleRect(box, 0.0f, baseline, text, scale, 0);
    const float x = std::floor((float(kAppWidth) - (box.x2 - box.x1)) * 0.5f);
    font->RenderTextScale(x, baseline, 0.0f, text, scale, color, 0);
}

}  // namespace

DemoLoader::DemoLoader(std::function<void()> onFinish, float secondsPerTask, bool lockstep)
    : AppLoaderLayer("loader"),
      m_OnFinish(std::move(onFinish)),
      m_pGate(std::make_shared<TaskGate>()),
      m_fSecondsPerTask(secondsPerTask),
      m_bLockstep(lockstep) {
    // Taken now, before the worker starts: afterwards only drawing is allowed.
    Adopt(m_Font, Zyn::GetCreateFontManager()->GetResourceTyped(kFont));
    Adopt(m_Medals, Zyn::GetCreateTextureManager()->GetResourceTyped(kTrophyTexture));
}

DemoLoader::~DemoLoader() { m_pGate->Shut(); }

int DemoLoader::AddMeteredList(const char* listName) {
    // AddResListFile would do this in one call; the tasks are wrapped here.
    Zyn::File* file = Zyn::Singleton<Zyn::Root>::Get()->OpenFile(listName, true);
    if (!file) return int(GetTaskCount());
    std::list<Zyn::ITask*> tasks;
    (void)Zyn::ResListParser::ParseResourceList(*file, Zyn::RA_Load, &tasks);
    delete file;
    int count = int(GetTaskCount());
    for (Zyn::ITask* task : tasks) count = AddTask(new MeteredTask(m_pGate, task));
    return count;
}

void DemoLoader::WaitForWorker(unsigned count) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<float>(kLockstepTimeoutSeconds);
    while (GetDoneCount() < count && IsRunning()) {
        if (std::chrono::steady_clock::now() > deadline) {
            Zyn::LogSend(Zyn::kLogWarning, "DemoLoader -> the worker is late; frames no longer wait for it");
            m_bLockstep = false;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool DemoLoader::Update(float dt) {
    if (m_bFinished) return true;
    m_fClock += dt;
    const unsigned total = GetTaskCount();
    unsigned due = total;
    if (m_fSecondsPerTask > 0.0f) {
        const float n = std::floor(m_fClock / m_fSecondsPerTask);
        due = n < float(total) ? unsigned(n) : total;
    }
    m_pGate->AllowUpTo(due);
    if (m_bLockstep) WaitForWorker(due);
    return AppLoaderLayer::Update(dt);
}

bool DemoLoader::Render(float dt) {
    AppLoaderLayer::Render(dt);
    Zyn::Graphics::SetBlendingMode(Zyn::BLEND_ALPHA);
    if (Zyn::Texture* medals = m_Medals.Get()) {
        // The medal turns by the share of tasks done, and a little more with time.
        const float done = GetTaskCount() ? float(GetDoneCount()) / float(GetTaskCount()) : 1.0f;
        medals->DrawSpriteEx(1, float(kAppWidth) * 0.5f, 330.0f, 0.0f,
                             std::cos(3.0f * m_fClock + 6.2832f * done), 1.0f, 0.0f, Zyn::Color(0xFFFFFFFFu));
    }
    if (Zyn::Font* font = m_Font.Get()) {
        Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
        DrawCentred(font, 500.0f, root->GetString("loader_title")->c_str(), 3.0f, Zyn::Color(0xFFF2CF6Au));
        char count[32];
        std::snprintf(count, sizeof count, "%u / %u", GetDoneCount(), GetTaskCount());
        DrawCentred(font, 545.0f, count, 2.0f, Zyn::Color(0xFFE8E4D8u));
        DrawCentred(font, 670.0f, root->GetString(IsComplete() ? "loader_done" : "loader_busy")->c_str(),
                    2.0f, Zyn::Color(0xFFE8E4D8u));
    }
    return true;
}

bool DemoLoader::OnLoadFinish() {
    if (!m_bFinished) {
        m_bFinished = true;
        if (m_OnFinish) m_OnFinish();
    }
    return true;
}

}  // namespace Demo
