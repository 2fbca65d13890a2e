#include <zyn/io/FileLogOutput.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS(FileLogOutput, "FileLogOutput", &FileLogOutput::StaticCreate, nullptr, nullptr, LogOutput)

FileLogOutput::FileLogOutput(const char* fileName) : LogOutput(fileName ? fileName : "") {
    // Logged before the output is attached: the line reaches the other
    // outputs and standard error only.
    LogSend(kLogInfo, "Creating log ffile %s", m_Name.c_str());
    if (!m_Name.empty()) (void)m_File.Open(m_Name.c_str(), "w");
}

FileLogOutput::~FileLogOutput() { m_File.Close(); }

void FileLogOutput::Receive(const char* line) {
    FILE* f = m_File.GetHandle();
    if (!f || !line) return;
    std::fprintf(f, "%s\n", line);
    std::fflush(f);
}

}  // namespace Zyn
