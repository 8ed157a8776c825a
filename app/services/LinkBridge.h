// The link's services for the application: outcomes posted to the view as events, the link's
// boxes shown on the user-interface thread while the receive thread waits.
#pragma once

#include <QEvent>
#include <QObject>
#include <atomic>
#include <condition_variable>
#include <mutex>

#include "LinkServices.h"

// The view's notification events: the link's outcome (0x8000) and a device message box's
// answer (0x8001: first parameter 10000 + answer, second the control id).
inline constexpr uint32_t WM_LINK_OUTCOME = 0x8000;
inline constexpr uint32_t WM_CONTROL_ANSWER = 0x8001;

class LinkMessageEvent : public QEvent {
public:
    static QEvent::Type EventType();
    LinkMessageEvent(uint32_t message, long wParam = 0, long lParam = 0)
        : QEvent(EventType()), m_message(message), m_wParam(wParam), m_lParam(lParam) {}
    uint32_t Message() const { return m_message; }
    long WParam() const { return m_wParam; }
    long LParam() const { return m_lParam; }

private:
    uint32_t m_message;
    long m_wParam;
    long m_lParam;
};

// The window handed to the link is the QObject that receives the events.
class QtLinkNotifier : public ILinkNotifier {
public:
    void PostOutcome(void* window, uint32_t message) override;
};

class QtLinkAlerts : public ILinkAlerts {
public:
    void DiagnosticBox(long checkPoint, const char* unit, long value) override;
    void SizeAlarm(long checkPoint, const char* unit) override;
    void MessageBox(const std::u16string& text) override;
    void QuitRequest() override;
    void WaitCursor(bool on) override;

    // A receive thread waiting for a box is let go when the port closes, and boxes raised after
    // that (the thread is ending) do not wait: the closing thread waits for that thread.
    void PortOpened() override;
    void PortClosed() override;
    // Boxes are counted instead of shown (tests and --screenshot runs without a user).
    void SetUnattended(bool on) { m_unattended = on; }
    int Shown() const { return m_shown; }

private:
    void Show(const QString& text);
    std::mutex m_mutex;
    std::condition_variable m_done;
    unsigned m_generation = 0;
    bool m_portClosed = false;
    bool m_unattended = false;
    std::atomic<int> m_shown{0}; // raised on the receive thread, read on the UI thread
};
