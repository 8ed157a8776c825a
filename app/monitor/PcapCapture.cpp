#include "PcapCapture.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>
#include <deque>

#include "ByteReader.h"
#include "CommandLine.h"
#include "Frame.h"
#include "FrameDecoder.h"
#include "FrameTap.h"
#include "Pcapng.h"
#include "TextCodec.h"

namespace {

constexpr auto kWait = std::chrono::milliseconds(200);

// A title known only once the device sends it is noted on that frame.
std::string TitleNote(const DecodedFrame& f) {
    if (f.sent || f.code != MSG_PANEL_INFO || f.bytes.size() < FRAME_HEADER_SIZE) return {};
    ByteReader r(f.bytes.data() + FRAME_HEADER_SIZE, f.bytes.size() - FRAME_HEADER_SIZE);
    uint32_t n = 0;
    const uint8_t* p = nullptr;
    if (!r.U32(n) || !r.Bytes(n, p)) return {};
    const std::u16string title = f.flags & HF_TITLE_UTF16 ? DecodeUtf16LE(p, n) : WidenAnsi(p, n);
    return "panel title " + QuoteDeviceText(title);
}

uint64_t Microseconds(std::chrono::system_clock::time_point t) {
    return uint64_t(
        std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count());
}

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
    m_thread =
        std::thread([this, fd, h = std::string(header.begin(), header.end())] { Run(fd, h); });
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

void PcapCapture::Run(int fd, std::string header) {
    std::vector<uint8_t> out(header.begin(), header.end());
    bool ok = true;
    for (;;) {
        const bool last = m_stop.load();
        uint64_t lost = 0;
        std::deque<DecodedFrame> batch = m_tap.TakeCaptured(kWait, lost);
        for (const DecodedFrame& f : batch) {
            std::string note = TitleNote(f);
            if (lost) {
                note += (note.empty() ? "" : "; ") + std::to_string(lost) +
                        " frames before this one were not captured: the disk fell behind";
                lost = 0;
            }
            PcapngAppendPacket(out, Microseconds(f.time), !f.sent, f.bytes.data(), f.bytes.size(),
                               f.length, note);
        }
        if (!out.empty() && !WriteAll(fd, out)) {
            ok = false;
            break;
        }
        m_written.fetch_add(batch.size(), std::memory_order_relaxed);
        out.clear();
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
