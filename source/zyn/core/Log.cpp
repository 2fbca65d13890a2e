#include <zyn/core/Log.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <zyn/core/Root.h>

namespace Zyn {

namespace LogUtils {
const char* const g_LogPrefixTab[5] = {" E. ", " W. ", " I. ", " D. ", " F. "};
}  // namespace LogUtils

namespace {
// Scope texts share one buffer; scopes are opened on the frame thread only.
char g_ScopeBuffer[1024];
thread_local int t_QuietDepth = 0;
}  // namespace

ScopedQuietLog::ScopedQuietLog() { ++t_QuietDepth; }
ScopedQuietLog::~ScopedQuietLog() { --t_QuietDepth; }

void LogSend(int level, const char* format, ...) {
    if (t_QuietDepth > 0 || Singleton<Root>::IsDestroyed()) return;
    Root* root = Singleton<Root>::Get();
    if (level > root->m_LogLevel) return;
    va_list args;
    va_start(args, format);
    root->LogSendV(level, format, args);
    va_end(args);
}

ScopeUtil::ScopeUtil(int level, const char* format, ...) : m_Level(level) {
    if (t_QuietDepth > 0 || Singleton<Root>::IsDestroyed() || !format) return;
    Root* root = Singleton<Root>::Get();
    if (level > root->m_LogLevel) return;
    m_pFormat = format;
    va_list args;
    va_start(args, format);
    std::vsnprintf(g_ScopeBuffer, sizeof g_ScopeBuffer, format, args);
    va_end(args);
    root->LogSend(level, "%s -> Scope opened", g_ScopeBuffer);
    ++root->m_ScopeDepth;
}

ScopeUtil::~ScopeUtil() {
    if (!m_pFormat || Singleton<Root>::IsDestroyed()) return;
    Root* root = Singleton<Root>::Get();
    if (root->m_ScopeDepth > 0) --root->m_ScopeDepth;
    root->LogSend(m_Level, "%s -> Scope closed", m_pFormat);
}

}  // namespace Zyn
