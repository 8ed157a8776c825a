// A capture of every frame sent and received to a pcapng file (Wireshark, tshark, talvex-sim
// --replay). The link hands frames to the tap as for the monitor; a writer thread of the
// capture's own takes them from there and writes them, so neither the link's threads nor the
// user-interface thread ever wait for the disk. A write that fails (a full disk) ends the capture,
// once, and never the connection.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

class FrameTap;

// What names a capture: the port and the panel's title (empty while none is known).
struct CaptureSource {
    QString port;
    QString title;
};

class PcapCapture : public QObject {
    Q_OBJECT
public:
    explicit PcapCapture(FrameTap& tap, QObject* parent = nullptr);
    ~PcapCapture() override; // writes what is queued and closes the file

    // Writes every frame from now on to `path` (replaced). The port and, when known, the panel's
    // title name the capture in the file's header; a title that comes later is noted on the
    // frame that brings it. False with `error` when the file cannot be made.
    bool Start(const QString& path, const CaptureSource& source, QString* error = nullptr);
    // Writes what is queued and closes the file.
    void Stop();
    bool IsCapturing() const { return m_thread.joinable(); }
    QString Path() const { return m_path; }
    // Frames written to the current or last capture.
    uint64_t Written() const { return m_written.load(std::memory_order_relaxed); }

signals:
    // Started, stopped, or ended by a failure.
    void CapturingChanged(bool capturing);
    // The capture ended because its file could not be written; said once per capture.
    void Failed(const QString& message);

private:
    // Writes `blocks` (the file's header, in a batch buffer), then each batch the tap gathers.
    void Run(int fd, std::vector<uint8_t> blocks);

    FrameTap& m_tap;
    QString m_path;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<uint64_t> m_written{0};
};
