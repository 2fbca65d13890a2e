// Logging entry points. Every line goes through Root::LogSend; these free
// functions are the short way to reach it and stay safe during process exit.
#pragma once

namespace Zyn {

enum LogLevel { kLogError = 0, kLogWarning = 1, kLogInfo = 2, kLogDebug = 3, kLogFine = 4 };

namespace LogUtils {
/// Level prefixes, four characters each: " E. ", " W. ", " I. ", " D. ", " F. ".
extern const char* const g_LogPrefixTab[5];
}  // namespace LogUtils

/// Root::LogSend on the Root singleton; dropped once the Root is destroyed.
void LogSend(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

/// Drops the log lines of the thread that makes it, for its lifetime: for work
/// done ahead of time whose failures are reported when its result is asked for.
class ScopedQuietLog {
public:
    ScopedQuietLog();
    ~ScopedQuietLog();
    ScopedQuietLog(const ScopedQuietLog&) = delete;
    ScopedQuietLog& operator=(const ScopedQuietLog&) = delete;
};

/// Indents the log for its lifetime when its level passes the log level.
class ScopeUtil {
public:
    ScopeUtil(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    ~ScopeUtil();
    ScopeUtil(const ScopeUtil&) = delete;
    ScopeUtil& operator=(const ScopeUtil&) = delete;

private:
    const char* m_pFormat = nullptr;  // null when inactive
    int m_Level = 0;
};

}  // namespace Zyn
