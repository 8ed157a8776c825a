// What the link needs from the application, injected once at start-up. Unset services do nothing;
// tests inject recording fakes.
#pragma once

#include <cstdint>
#include <string>

class ILinkNotifier {
public:
    virtual ~ILinkNotifier() = default;
    // Posts the notify message to the window, thread-safe and in order.
    virtual void PostOutcome(void* window, uint32_t message) = 0;
};

class ILinkAlerts {
public:
    virtual ~ILinkAlerts() = default;
    // The boxes never wait for the user: the receive loop and the pings go on while they are
    // up. Any thread may raise them, never while it holds the link lock.
    // "At %ld file %s, val=%ld".
    virtual void DiagnosticBox(long checkPoint, const char* unit, long value) = 0;
    // "Bluetooth driver error %ld TvxBthPPCVComClt".
    virtual void SizeAlarm(long checkPoint, const char* unit) = 0;
    // A plain message, such as "Data transmission error.".
    virtual void MessageBox(const std::u16string& text) = 0;
    // The link asks the application to end.
    virtual void QuitRequest() = 0;
    virtual void WaitCursor(bool on) = 0;
};

class ILayoutStore {
public:
    virtual ~ILayoutStore() = default;
    // A missing value reads as the default.
    virtual int GetInt(const std::u16string& section, const std::string& valueName, int def) = 0;
    virtual void SetInt(const std::u16string& section, const std::string& valueName, int value) = 0;
};

class ILinkTraceSink {
public:
    virtual ~ILinkTraceSink() = default;
    // The link's diagnostic lines (LinkTrace).
    virtual void Trace(const std::string&) {}
    // One line per frame sent or received.
    virtual void Frame(const std::string&) {}
};

struct LinkServices {
    ILinkNotifier* notifier = nullptr;
    ILinkAlerts* alerts = nullptr;
    ILayoutStore* layoutStore = nullptr;
    ILinkTraceSink* trace = nullptr;
};

// Set before LinkInit; the objects must outlive the link.
void LinkSetServices(const LinkServices& services);
const LinkServices& LinkGetServices();
