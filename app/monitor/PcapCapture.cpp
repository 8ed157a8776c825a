#include "PcapCapture.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>

#include "CommandLine.h"
#include "FrameTap.h"
#include "Pcapng.h"

namespace {

// Frames reach the file within this, or sooner in full batches.
constexpr auto kWait = std::chrono::milliseconds(50);

// False with errno set.
bool WriteAll(int fd, const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

} // namespace

PcapCapture::PcapCapture(FrameTap& tap, QObject* parent) : QObject(parent), m_tap(tap) {}

PcapCapture::~PcapCapture() {
    Stop();
}

bool PcapCapture::Start(const QString& path, const CaptureSource& source, QString* error) {
    Stop();
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (error) *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    QString comment = QStringLiteral("Talvex capture of %1")
                          .arg(source.port.isEmpty() ? QStringLiteral("?") : source.port);
    if (!source.title.isEmpty()) comment += QStringLiteral(", panel \"%1\"").arg(source.title);
    std::vector<uint8_t> header =
        PcapngSectionHeader(comment.toStdString(), "talvex " + ProgramVersion().toStdString());
    const std::vector<uint8_t> interface = PcapngInterface(source.port.toStdString());
    header.insert(header.end(), interface.begin(), interface.end());
    m_path = path;
    m_stop = false;
    m_written = 0;
    m_tap.SetCapturing(PCAPNG_SNAPLEN);
    std::vector<uint8_t> blocks = FrameTap::BatchBuffer();
    blocks.assign(header.begin(), header.end());
    m_thread = std::thread([this, fd, b = std::move(blocks)]() mutable { Run(fd, std::move(b)); });
    emit CapturingChanged(true);
    return true;
}

void PcapCapture::Stop() {
    if (!m_thread.joinable()) return;
    m_stop = true;
    m_tap.SetCapturing(0);
    m_thread.join();
    emit CapturingChanged(false);
}

void PcapCapture::Run(int fd, std::vector<uint8_t> blocks) {
    bool ok = WriteAll(fd, blocks);
    while (ok) {
        const bool last = m_stop.load();
        uint64_t frames = 0;
        m_tap.TakeCaptured(kWait, blocks, frames);
        if (!blocks.empty() && !WriteAll(fd, blocks)) {
            ok = false;
            break;
        }
        m_written.fetch_add(frames, std::memory_order_relaxed);
        if (last) break;
    }
    const int writeError = errno;
    const bool closed = ::close(fd) == 0;
    if (ok && closed) return;
    m_tap.SetCapturing(0);
    const QString message =
        QStringLiteral("The capture to %1 has stopped: %2. The connection goes on.")
            .arg(m_path, QString::fromLocal8Bit(std::strerror(ok ? errno : writeError)));
    QMetaObject::invokeMethod(
        this,
        [this, message] {
            Stop();
            emit Failed(message);
        },
        Qt::QueuedConnection);
}
