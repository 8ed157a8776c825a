// The frame log file of --trace, one time-stamped line per frame.
#pragma once

#include <QString>
#include <cstdio>
#include <mutex>

#include "LinkServices.h"

// The frame log file of --trace, one time-stamped line per frame.
class FileTraceSink : public ILinkTraceSink {
public:
    explicit FileTraceSink(const QString& path);
    ~FileTraceSink() override;
    bool IsOpen() const { return m_file != nullptr; }
    void Frame(const std::string& line) override;
    void FrameAt(std::chrono::system_clock::time_point time, const std::string& line) override;

private:
    std::mutex m_mutex;
    std::FILE* m_file = nullptr;
};
