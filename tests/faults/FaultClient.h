// The real client for fault runs: a main frame with its panel view and the link's real
// services, its settings, files directory and working directory in a fresh folder of their own,
// so that whatever it writes can be accounted for. Modal boxes are refused and counted: nothing
// the link does may raise one.
#pragma once

#include <QTemporaryDir>
#include <QTimer>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "LinkBridge.h"
#include "SettingsLayoutStore.h"

class CCtrl;
class CMainFrame;
class CTalvex22View;

// Counts the outcomes the link posts to the view, in all and by outcome.
class CountingNotifier : public ILinkNotifier {
public:
    void PostOutcome(void* window, uint32_t message) override;
    uint64_t Posts() const { return m_posts; }
    uint64_t Posts(int outcome) const;

private:
    static constexpr int kFirst = -1, kLast = 15; // the outcome codes
    QtLinkNotifier m_inner;
    std::atomic<uint64_t> m_posts{0};
    std::array<std::atomic<uint64_t>, kLast - kFirst + 1> m_byOutcome{};
};

class FaultClient {
public:
    FaultClient();
    ~FaultClient();
    FaultClient(const FaultClient&) = delete;
    FaultClient& operator=(const FaultClient&) = delete;

    CTalvex22View& View() { return *m_view; }
    NoticeBoxes& Notices() { return m_alerts.Boxes(); }
    int NoticeCount();
    QStringList NoticeTexts();
    uint64_t Outcomes() const { return m_notifier.Posts(); }
    uint64_t Outcomes(int outcome) const { return m_notifier.Posts(outcome); }
    int PanelsLaidOut() const { return m_panels; }
    int ModalBoxes() const { return m_modalBoxes; }

    // Connects to a device path; with waitForPanel, true once its panel is laid out.
    bool Connect(const std::string& path, bool waitForPanel, int timeoutMs = 5000);
    // Connected in the view's eyes, and the link open.
    bool Connected() const;
    // Runs the event loop until the condition holds; false on time-out.
    bool WaitFor(const std::function<bool()>& condition, int timeoutMs);
    CCtrl* Control(uint32_t id) const;

    std::string FilesDirectory() const;
    // What the client has left where it should not: anything outside its files and settings
    // folders, and temporary (half-written) files in the files folder.
    std::vector<std::string> Strays() const;

private:
    void RefuseModalBox();

    QTemporaryDir m_root;
    QString m_previousDirectory;
    CountingNotifier m_notifier;
    QtLinkAlerts m_alerts;
    SettingsLayoutStore m_store;
    std::unique_ptr<CMainFrame> m_frame;
    CTalvex22View* m_view = nullptr;
    QTimer m_boxTimer;
    int m_panels = 0;
    int m_modalBoxes = 0;
};
