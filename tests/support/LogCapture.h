// A log output that keeps every line, for tests that assert log messages.
#pragma once

#include <string>
#include <vector>

#include <zyn/core/Root.h>

namespace ZynTest {

class CapturingLog : public Zyn::LogOutput {
public:
    CapturingLog() : Zyn::LogOutput("capture") { m_Threshold = 4; }
    void Receive(const char* line) override { m_Lines.emplace_back(line); }
    /// True when some line contains the text.
    bool Contains(const std::string& text) const {
        for (const std::string& l : m_Lines)
            if (l.find(text) != std::string::npos) return true;
        return false;
    }
    int Count(const std::string& text) const {
        int n = 0;
        for (const std::string& l : m_Lines)
            if (l.find(text) != std::string::npos) ++n;
        return n;
    }
    std::vector<std::string> m_Lines;
};

/// Attaches a CapturingLog to the Root for the lifetime of the scope.
class ScopedLogCapture {
public:
    ScopedLogCapture() : m_pLog(new CapturingLog) {
        Zyn::Singleton<Zyn::Root>::Get()->InsertObject(m_pLog, Zyn::Root::kLogOutputs, 0, nullptr);
        m_pLog->AddRef();
    }
    ~ScopedLogCapture() {
        Zyn::Singleton<Zyn::Root>::Get()->RemoveObject(m_pLog, Zyn::Root::kLogOutputs);
        m_pLog->Release();
    }
    CapturingLog& operator*() { return *m_pLog; }
    CapturingLog* operator->() { return m_pLog; }

private:
    CapturingLog* m_pLog;
};

}  // namespace ZynTest
