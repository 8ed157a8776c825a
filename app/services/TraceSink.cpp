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
    std::lock_guard g(m_mutex);
    if (!m_file) return;
    QByteArray stamp = QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toUtf8();
    std::fprintf(m_file, "%s %s\n", stamp.constData(), line.c_str());
    std::fflush(m_file);
}
