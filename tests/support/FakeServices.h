// Recording fakes of the link's services, installed for one test and removed afterwards.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "LinkServices.h"

struct RecordedBox {
    enum Type { Diagnostic, SizeAlarm, Message } type;
    long checkPoint = 0;
    long value = 0;
    std::u16string text;
    bool underLock = false; // the link lock was taken when the box was raised
};

class RecordingAlerts : public ILinkAlerts {
public:
    void DiagnosticBox(long checkPoint, const char* unit, long value) override;
    void SizeAlarm(long checkPoint, const char* unit) override;
    void MessageBox(const std::u16string& text) override;
    void QuitRequest() override;
    void WaitCursor(bool on) override;

    std::vector<RecordedBox> Boxes() const;
    int Count(RecordedBox::Type type) const;
    // Values of the diagnostic boxes, in order.
    std::vector<long> DiagnosticValues() const;
    int QuitRequests() const;
    // Boxes raised while some thread held the link lock.
    int UnderLock() const;
    void Clear();

private:
    void Record(RecordedBox box);
    mutable std::mutex m_mutex;
    std::vector<RecordedBox> m_boxes;
    int m_quits = 0;
};

// Whether some thread holds the link lock (asked from another thread, so the caller's counts).
bool LinkLockTaken();

// Records posted outcomes; optionally restarts the receiver at once like the view does.
class RecordingNotifier : public ILinkNotifier {
public:
    void PostOutcome(void* window, uint32_t message) override;
    // Waits until `count` posts in all have arrived.
    bool WaitForPosts(int count, int timeoutMs = 3000);
    int Posts() const;
    std::vector<int> Outcomes() const; // LinkGetOutcome at each post

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<int> m_outcomes;
};

class MemoryLayoutStore : public ILayoutStore {
public:
    int GetInt(const std::u16string& section, const std::string& valueName, int def) override;
    void SetInt(const std::u16string& section, const std::string& valueName, int value) override;
    std::map<std::pair<std::u16string, std::string>, int> Values() const;

private:
    mutable std::mutex m_mutex;
    std::map<std::pair<std::u16string, std::string>, int> m_values;
};

// Installs the fakes for the lifetime of the object and resets the link around it.
class LinkFixtureServices {
public:
    LinkFixtureServices();
    ~LinkFixtureServices();
    RecordingAlerts alerts;
    RecordingNotifier notifier;
    MemoryLayoutStore store;
};
