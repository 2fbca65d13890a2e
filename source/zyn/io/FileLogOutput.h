// A log output that writes every line it receives to a text file, flushed
// line by line so that a crash loses nothing already logged.
#pragma once

#include <zyn/core/Root.h>
#include <zyn/io/SimpleFile.h>

namespace Zyn {

class FileLogOutput : public LogOutput {
    ZYN_DECLARE_CLASS(FileLogOutput)

public:
    /// Truncates and opens the named file; if that fails, lines are discarded.
    explicit FileLogOutput(const char* fileName = "");
    ~FileLogOutput() override;
    ZYN_STATIC_CREATE(FileLogOutput)

    void Receive(const char* line) override;
    bool IsOpen() const { return m_File.IsOpen(); }

private:
    SimpleFile m_File;
};

}  // namespace Zyn
