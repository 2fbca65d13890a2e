#include "TaskGate.h"

namespace Demo {

bool TaskGate::WaitPass() {
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Changed.wait(lock, [this] { return m_bShut || m_Passed < m_Allowed; });
    if (m_bShut) return false;
    ++m_Passed;
    return true;
}

void TaskGate::AllowUpTo(unsigned count) {
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (count <= m_Allowed) return;
        m_Allowed = count;
    }
    m_Changed.notify_all();
}

void TaskGate::Shut() {
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_bShut = true;
    }
    m_Changed.notify_all();
}

unsigned TaskGate::GetAllowed() const {
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Allowed;
}

}  // namespace Demo
