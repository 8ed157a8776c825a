// The Protocol Monitor window: every frame sent and received, decoded, in a table (time,
// direction, code, flags, length, decode), with pause, clear, a filter by code and Save... to a
// text file, and Save Capture... to a pcapng file from then on (Stop Capture ends it). Non-modal.
// Frames are taken from the tap in batches on a timer at the screen's rate, so the link's threads
// never wait for the window; while the window is closed or paused the tap wants nothing and the
// link builds no records.
#pragma once

#include <QTimer>
#include <QWidget>

#include <functional>

#include "FrameTableModel.h"
#include "PcapCapture.h"

class FrameTap;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableView;

class ProtocolMonitor : public QWidget {
    Q_OBJECT
public:
    explicit ProtocolMonitor(FrameTap& tap, QWidget* parent = nullptr);
    ~ProtocolMonitor() override;

    FrameTableModel& Model() { return m_model; }
    FrameCodeFilter& Filter() { return m_filter; }
    void SetPaused(bool paused);
    bool IsPaused() const { return m_paused; }
    void Clear();
    // Selects the filter by its key (FrameCodeFilter::Key, or kAll).
    void SetCodeFilter(int key);
    // Writes the listed frames (the filter applies), one tab-separated line each.
    bool SaveTo(const QString& path, QString* error = nullptr) const;
    // Takes what the tap holds now (the timer does this while the window is open).
    void Flush();
    // The capture the window starts and stops, and what names it when it starts.
    void SetCapture(PcapCapture* capture, std::function<CaptureSource()> source);
    // Every frame from now on to `path`, as Save Capture... does once a file is chosen.
    bool StartCapture(const QString& path, QString* error = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void Save();
    void ToggleCapture();
    void ShowCapturing(bool capturing);
    void UpdateWatching();
    void UpdateCount();

    FrameTap& m_tap;
    FrameTableModel m_model;
    FrameCodeFilter m_filter;
    QTableView* m_table = nullptr;
    QCheckBox* m_pause = nullptr;
    QComboBox* m_codes = nullptr;
    QLabel* m_count = nullptr;
    QPushButton* m_capture = nullptr;
    PcapCapture* m_captureFile = nullptr;
    std::function<CaptureSource()> m_captureSource;
    QTimer m_flush;
    bool m_paused = false;
    bool m_open = false;
};
