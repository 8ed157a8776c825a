#include "TraceSink.h"

#include <QDateTime>
#include <QFile>

FileTraceSink::FileTraceSink(const QString& path) {
    m_file = std::fopen(QFile::encodeName(path).constData(), "a");
}

FileTraceSink::~FileTraceSink() {
    if (m_file) std::fclose(m_file);
}

void FileTraceSink::Frame(const std::string& line) {
    FrameAt(std::chrono::system_clock::now(), line);
}

void FileTraceSink::FrameAt(std::chrono::system_clock::time_point time, const std::string& line) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch());
    const QByteArray stamp =
        QDateTime::fromMSecsSinceEpoch(ms.count()).toString(Qt::ISODateWithMs).toUtf8();
    std::lock_guard g(m_mutex);
    if (!m_file) return;
    std::fprintf(m_file, "%s %s\n", stamp.constData(), line.c_str());
    std::fflush(m_file);
}
