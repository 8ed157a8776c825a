// What the link needs from the application, injected once at start-up. Unset services do nothing;
// tests inject recording fakes.
#pragma once

#include <chrono>
#include <cstddef>
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
    // The same with the frame's time (a sent frame's is when its write began); in that order.
    virtual void FrameAt(std::chrono::system_clock::time_point, const std::string& line) {
        Frame(line);
    }
};

struct DecodedFrame;

// The protocol monitor: decoded frames, built only while it wants them.
class ILinkFrameMonitor {
public:
    virtual ~ILinkFrameMonitor() = default;
    // Asked before a frame is captured, from the sending or receiving thread; while false the
    // link builds no record for the monitor. Cheap and lock-free.
    virtual bool Wanted() const = 0;
    // One frame sent or received, from that thread (possibly under the link lock): must not
    // block or wait for the user-interface thread.
    virtual void Frame(const DecodedFrame& frame) = 0;
    // The same with a frame the link no longer needs.
    virtual void Frame(DecodedFrame&& frame) { Frame(static_cast<const DecodedFrame&>(frame)); }
    // Also asked before a frame is captured, and as cheap: how many of its first bytes the record
    // carries (a capture's snap length), and whether it is decoded for people.
    virtual size_t BytesWanted() const { return 0; }
    virtual bool DecodeWanted() const { return true; }
};

// Progress of a long transfer from the device: a file of message 17, or a panel definition,
// reported once it passes 64 KiB, from the receive thread without the link lock.
class ILinkProgress {
public:
    virtual ~ILinkProgress() = default;
    // `name` is the file's name, or empty for the panel definition. A panel's total is estimated
    // from the controls read so far (its message carries no length) and exact at the end.
    virtual void Transfer(const std::u16string& name, uint64_t received, uint64_t total) = 0;
    // The message has ended, complete or not.
    virtual void TransferDone() = 0;
};

struct LinkServices {
    ILinkNotifier* notifier = nullptr;
    ILinkAlerts* alerts = nullptr;
    ILayoutStore* layoutStore = nullptr;
    ILinkTraceSink* trace = nullptr;
    ILinkFrameMonitor* monitor = nullptr;
    ILinkProgress* progress = nullptr;
};

// Set before LinkInit; the objects must outlive the link.
void LinkSetServices(const LinkServices& services);
const LinkServices& LinkGetServices();
