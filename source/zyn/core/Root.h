// The process-wide hub: log outputs, packages, resource managers and the
// objects ticked every frame; start-up settings, input state and logging.
// Reached through Singleton<Root>::Get(). Only LogSend may be called from
// another thread.
#pragma once

#include <atomic>
#include <cstdarg>
#include <map>
#include <mutex>
#include <string>

#include <zyn/core/Class.h>
#include <zyn/core/Log.h>
#include <zyn/core/Singleton.h>

namespace Zyn {

class File;
class LogOutput;
class Package;
class ResourceManagerBase;
class ICharEventReceiver;
class StringUtf8;

/// The window layer seen from Root; the platform layer plugs its own in.
class IWindowLayer {
public:
    virtual ~IWindowLayer() = default;
    virtual bool Init(AppSettings* settings) = 0;
    virtual bool ReInit(AppSettings* settings) = 0;
    virtual bool Destroy() = 0;
    /// Opaque handle of the window that graphics draws into; may be null.
    virtual void* GetHandle() = 0;
    virtual void ShowMouseCursor(bool show) = 0;
};

/// The renderer seen from Root; the graphics layer plugs its own in.
class IGraphicsLayer {
public:
    virtual ~IGraphicsLayer() = default;
    virtual bool Init(void* window, AppSettings& settings) = 0;
    virtual bool ReInit(void* window, AppSettings& settings) = 0;
    virtual void ShutDown() = 0;
    virtual void ActivateNotify(bool active) = 0;
    /// Maps a window mouse position to the logical screen, in place.
    virtual void TweakMousePos(int& x, int& y) = 0;
};

class Root : public DynGroupObject {
    ZYN_DECLARE_CLASS(Root)

public:
    enum Group { kLogOutputs = 0, kPackages = 1, kResourceManagers = 2, kUpdate = 3 };
    enum KeyBits : u8 { kKeyDown = 1, kKeyPressed = 2, kKeyReleased = 4 };

    Root();
    ~Root() override;

    /// First call initialises, later calls re-initialise with new settings.
    /// True only when the window and graphics layers succeeded.
    bool Init(const AppSettings& settings);
    bool IsInited() const { return m_bInited; }
    /// Borrowed; zero until the first Init.
    AppSettings* GetAppSettings() { return &m_AppSettings; }

    bool Update(float dt) override;
    void ProcessSystemEvent(int code, int a, int b);
    void SubscribeToCharEvents(ICharEventReceiver* receiver);
    bool UnsubscribeFromCharEvents(ICharEventReceiver* receiver);

    void LogSend(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void LogSendV(int level, const char* format, va_list args);
    void LogSetOutputThreshold(int level, Class* cls);

    /// Asks the window layer to close; the Root keeps running.
    bool Close();
    /// Full teardown of groups 1-3, graphics and the string table.
    int Release();

    /// New stream owned by the caller, or null when no package holds the name.
    File* OpenFile(const char* name, bool logFailure);

    // String table and language.
    void SetLanguage(std::string language);
    std::string GetLanguage() const { return m_Language; }
    /// Number of statements read, or -1 when the file is missing or empty.
    int ReadStringTable(const char* fileName);
    /// Borrowed; valid until ClearStringTable. Never null.
    StringUtf8* GetString(const char* name);
    bool IsStringDefined(const char* name) const;
    void ClearStringTable();

    /// Plugs in the window and graphics layers; borrowed, null restores the
    /// defaults that succeed without drawing.
    static void SetWindowLayer(IWindowLayer* layer);
    static void SetGraphicsLayer(IGraphicsLayer* layer);
    static IWindowLayer* GetWindowLayer();
    static IGraphicsLayer* GetGraphicsLayer();

    static void RegisterProps(Class* cls);

    // Polled input state; read by applications.
    u8 m_KeyStates[255];
    s32 m_MouseX = 0;
    s32 m_MouseY = 0;
    bool m_bInputLocked = false;
    bool m_bAutoUnlock = true;
    bool m_bMouseVisible = false;
    s32 m_LogLevel = kLogInfo;
    /// Lines up to this level are also written to standard error (all of
    /// them by default); a host under a daemon, which keeps its standard
    /// error in a session log, lowers it.
    s32 m_StderrLogLevel = kLogFine;

    bool IsActive() const { return m_bActive; }
    s32 GetFrameCounter() const { return m_FrameCounter.load(std::memory_order_relaxed); }
    StdListDynGroup<Object>& GetUpdateGroup() { return m_UpdateGroup; }
    StdListDynGroup<Package>& GetPackageGroup() { return m_PackageGroup; }
    StdListDynGroup<LogOutput>& GetLogOutputGroup() { return m_LogOutputs; }
    StdListDynGroup<ResourceManagerBase>& GetResourceManagerGroup() { return m_ResourceManagers; }

private:
    friend class ScopeUtil;

    std::recursive_mutex m_LogMutex;
    AppSettings m_AppSettings;
    s32 m_ScopeDepth = 0;
    // Atomic: log lines written on the loader's worker show it too.
    std::atomic<s32> m_FrameCounter{0};
    std::map<std::string, StringUtf8*> m_StringTable;
    std::string m_Language = "Not set";
    bool m_bInited = false;
    StdListDynGroup<Object> m_UpdateGroup;
    StdListDynGroup<LogOutput> m_LogOutputs;
    StdListDynGroup<ResourceManagerBase> m_ResourceManagers;
    StdListDynGroup<Package> m_PackageGroup;
    std::list<ICharEventReceiver*> m_CharReceivers;
    bool m_bActive = false;
};

/// Base of every log sink held in Root's "Log Outputs" group.
class LogOutput : public Object {
    ZYN_DECLARE_CLASS(LogOutput)

public:
    explicit LogOutput(const char* name = "");
    /// One finished line without its line end.
    virtual void Receive(const char* line) = 0;
    s32 m_Threshold = kLogInfo;
};

class StdOutLogOutput : public LogOutput {
    ZYN_DECLARE_CLASS(StdOutLogOutput)

public:
    explicit StdOutLogOutput(const char* name = "");
    ZYN_STATIC_CREATE(StdOutLogOutput)
    void Receive(const char* line) override;
};

}  // namespace Zyn
