#include <zyn/core/Root.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <zyn/core/Interfaces.h>
#include <zyn/core/ResourceManagerBase.h>
#include <zyn/io/File.h>
#include <zyn/io/Package.h>

namespace Zyn {

namespace {

// Stand-ins until a platform layer is plugged in: they succeed without drawing.
class NullWindowLayer : public IWindowLayer {
public:
    bool Init(AppSettings*) override { return true; }
    bool ReInit(AppSettings*) override { return true; }
    bool Destroy() override { return true; }
    void* GetHandle() override { return nullptr; }
    void ShowMouseCursor(bool) override {}
};

class NullGraphicsLayer : public IGraphicsLayer {
public:
    bool Init(void*, AppSettings&) override { return true; }
    bool ReInit(void*, AppSettings&) override { return true; }
    void ShutDown() override {}
    void ActivateNotify(bool) override {}
    void TweakMousePos(int&, int&) override {}
};

NullWindowLayer g_NullWindow;
NullGraphicsLayer g_NullGraphics;
IWindowLayer* g_pWindowLayer = &g_NullWindow;
IGraphicsLayer* g_pGraphicsLayer = &g_NullGraphics;

// The line buffer is shared; m_LogMutex guards it.
char g_LineBuffer[1024];

const int kKeyCount = 255;

}  // namespace

ZYN_IMPLEMENT_CLASS(Root, "Root", nullptr, nullptr, &Root::RegisterProps, DynGroupObject)
ZYN_IMPLEMENT_CLASS(LogOutput, "LogOutput", nullptr, nullptr, nullptr, Object)
ZYN_IMPLEMENT_CLASS(StdOutLogOutput, "StdOutLogOutput", &StdOutLogOutput::StaticCreate, nullptr, nullptr,
                    LogOutput)

void Root::SetWindowLayer(IWindowLayer* layer) { g_pWindowLayer = layer ? layer : &g_NullWindow; }
void Root::SetGraphicsLayer(IGraphicsLayer* layer) { g_pGraphicsLayer = layer ? layer : &g_NullGraphics; }
IWindowLayer* Root::GetWindowLayer() { return g_pWindowLayer; }
IGraphicsLayer* Root::GetGraphicsLayer() { return g_pGraphicsLayer; }

Root::Root() : DynGroupObject("Root") {
    std::memset(m_KeyStates, 0, sizeof m_KeyStates);
    SetGroupCount(4);
    SetupGroup(kLogOutputs, &m_LogOutputs);
    SetupGroup(kPackages, &m_PackageGroup);
    SetupGroup(kResourceManagers, &m_ResourceManagers);
    SetupGroup(kUpdate, &m_UpdateGroup);
    m_LogOutputs.m_Flags = IDynGroup::kHoldRef;
    m_PackageGroup.m_Flags = IDynGroup::kHoldRef;
    m_ResourceManagers.m_Flags = IDynGroup::kUpdate | IDynGroup::kHoldRef;
    m_UpdateGroup.m_Flags = IDynGroup::kUpdate | IDynGroup::kHoldRef;
    std::atexit(&Singleton<Root>::_destroy);
}

Root::~Root() {
    LogSend(kLogInfo, "Zyn::Root::~Root -> Destroying log outputs");
    StdListDynGroup<LogOutput>::List outputs;
    outputs.swap(m_LogOutputs.GetList());
    for (LogOutput* out : outputs) RemoveObjectHelper(out, kLogOutputs);
    // The containers are members: detach them before they die.
    m_Groups.clear();
    ClearStringTable();
}

bool Root::Init(const AppSettings& settings) {
    if (!m_bInited) {
        InsertObject(new CppPackage("cppfontfile"), -1, 0, nullptr);
        ScopeUtil scope(kLogInfo, "Zyn::Root::ZynInit");
        m_AppSettings = settings;
        const bool windowOk = g_pWindowLayer->Init(&m_AppSettings);
        const bool graphicsOk = g_pGraphicsLayer->Init(g_pWindowLayer->GetHandle(), m_AppSettings);
        m_bInited = true;
        return windowOk && graphicsOk;
    }
    ScopeUtil scope(kLogInfo, "Zyn::Root::ZynInit -> reinitializing ZYN with new settings");
    AppSettings local = settings;
    if (!g_pGraphicsLayer->ReInit(g_pWindowLayer->GetHandle(), local)) {
        LogSend(kLogError, "Zyn::Root::ZynInit -> Graphics::ReInit failed");
        return false;
    }
    if (!g_pWindowLayer->ReInit(&local)) {
        LogSend(kLogError, "Zyn::Root::ZynInit -> WindowSystem::ReInit failed");
        return false;
    }
    m_AppSettings = local;
    { ScopeUtil done(kLogInfo, "Zyn::Root::ZynInit -> reinitializing ZYN with new settings -> DONE"); }
    return true;
}

bool Root::Update(float dt) {
    if (!m_bActive) return true;
    ++m_FrameCounter;
    DynGroupObject::Update(dt < 0.25f ? dt : 0.25f);
    for (int i = 0; i < kKeyCount; ++i) m_KeyStates[i] &= u8(~(kKeyPressed | kKeyReleased));
    if (m_bAutoUnlock) m_bInputLocked = false;
    return true;
}

void Root::ProcessSystemEvent(int code, int a, int b) {
    switch (code) {
        case 0:
            LogSend(kLogDebug, "Zyn::Root::ProcessSystemEvent -> key down %d", a);
            if (a >= 0 && a < kKeyCount && !(m_KeyStates[a] & kKeyDown)) m_KeyStates[a] |= kKeyDown | kKeyPressed;
            break;
        case 1:
            LogSend(kLogDebug, "Zyn::Root::ProcessSystemEvent -> key up %d", a);
            if (a >= 0 && a < kKeyCount) {
                m_KeyStates[a] &= u8(~kKeyDown);
                m_KeyStates[a] |= kKeyReleased;
            }
            break;
        case 2: {
            // A receiver may unsubscribe while it is served: walk a copy.
            std::list<ICharEventReceiver*> receivers = m_CharReceivers;
            for (ICharEventReceiver* r : receivers) {
                if (!r->ReceiveCharEvent(a)) break;
            }
            break;
        }
        case 3:
            m_MouseX = a;
            m_MouseY = b;
            g_pGraphicsLayer->TweakMousePos(m_MouseX, m_MouseY);
            break;
        case 4: {
            LogSend(kLogInfo, "Zyn::Root::App activated... %d", a);
            const bool active = a > 0;
            if (active != m_bActive) {
                g_pGraphicsLayer->ActivateNotify(active);
                m_bActive = active;
            }
            if (!m_bActive) {
                for (int i = 0; i < kKeyCount; ++i) {
                    if (m_KeyStates[i] & kKeyDown) m_KeyStates[i] = kKeyReleased;
                }
            }
            break;
        }
        case 5:
            m_bMouseVisible = a > 0;
            break;
        default:
            break;
    }
}

void Root::SubscribeToCharEvents(ICharEventReceiver* receiver) {
    if (receiver) m_CharReceivers.push_front(receiver);
}

bool Root::UnsubscribeFromCharEvents(ICharEventReceiver* receiver) {
    for (auto it = m_CharReceivers.begin(); it != m_CharReceivers.end(); ++it) {
        if (*it == receiver) {
            m_CharReceivers.erase(it);
            return true;
        }
    }
    return false;
}

void Root::LogSend(int level, const char* format, ...) {
    if (level > m_LogLevel) return;
    va_list args;
    va_start(args, format);
    LogSendV(level, format, args);
    va_end(args);
}

void Root::LogSendV(int level, const char* format, va_list args) {
    if (level > m_LogLevel || !format) return;
    std::lock_guard<std::recursive_mutex> lock(m_LogMutex);

    std::time_t now = std::time(nullptr);
    std::tm local;
    localtime_r(&now, &local);
    int n = std::snprintf(g_LineBuffer, sizeof g_LineBuffer, "%02d:%02d:%02d.%d - ", local.tm_hour, local.tm_min,
                          local.tm_sec, int(unsigned(m_FrameCounter) % 10u));
    // The level prefix replaces the header's trailing blank: 16 characters.
    const int prefix = level < 0 ? 0 : (level > 4 ? 4 : level);
    std::memcpy(g_LineBuffer + n - 1, LogUtils::g_LogPrefixTab[prefix], 4);
    n += 3;
    const int room = int(sizeof g_LineBuffer) - 1;
    for (int i = 0; i < m_ScopeDepth && n < room; ++i) g_LineBuffer[n++] = ' ';
    g_LineBuffer[n] = '\0';
    if (n < room) std::vsnprintf(g_LineBuffer + n, sizeof g_LineBuffer - size_t(n), format, args);

    for (LogOutput* out : m_LogOutputs.GetList()) {
        if (out->m_Threshold >= level) out->Receive(g_LineBuffer);
    }
    if (level <= m_StderrLogLevel) std::fprintf(stderr, "%s\n", g_LineBuffer);
}

void Root::LogSetOutputThreshold(int level, Class* cls) {
    for (LogOutput* out : m_LogOutputs.GetList()) {
        if (!cls || out->GetClass()->Supports(cls)) out->m_Threshold = level;
    }
}

bool Root::Close() {
    ScopeUtil scope(kLogInfo, "Zyn::Root::Close");
    return g_pWindowLayer->Destroy();
}

int Root::Release() {
    ScopeUtil scope(kLogInfo, "Zyn::Root::Release()");
    // Each list is swapped out first: a dying object asks Root to remove it
    // from its other groups while we walk.
    StdListDynGroup<Object>::List updated;
    updated.swap(m_UpdateGroup.GetList());
    for (Object* o : updated) RemoveObjectHelper(o, kUpdate);
    m_CharReceivers.clear();
    StdListDynGroup<ResourceManagerBase>::List managers;
    managers.swap(m_ResourceManagers.GetList());
    // Users of shared resources go first, whatever order they were made in.
    managers.sort([](ResourceManagerBase* a, ResourceManagerBase* b) {
        return a->GetReleasePass() < b->GetReleasePass();
    });
    for (ResourceManagerBase* m : managers) RemoveObjectHelper(ZYN_Cast<Object, ResourceManagerBase>(m), kResourceManagers);
    StdListDynGroup<Package>::List packages;
    packages.swap(m_PackageGroup.GetList());
    for (Package* p : packages) RemoveObjectHelper(p, kPackages);
    g_pGraphicsLayer->ShutDown();
    ClearStringTable();
    return 0;
}

File* Root::OpenFile(const char* name, bool logFailure) {
    if (!name) return nullptr;
    for (Package* p : m_PackageGroup.GetList()) {
        if (File* f = p->OpenFile(name)) {
            LogSend(kLogInfo, "ZYN::Root->File Opened: %s", name);
            return f;
        }
    }
    if (logFailure) LogSend(kLogWarning, "Zyn::Root::OpenFile -> Could not open file %s in any package", name);
    return nullptr;
}

LogOutput::LogOutput(const char* name) : Object(name) {}

StdOutLogOutput::StdOutLogOutput(const char* name) : LogOutput(name) {}

void StdOutLogOutput::Receive(const char* line) { std::printf("%s\n", line); }

}  // namespace Zyn
