#include "FakeServices.h"

#include <chrono>
#include <future>

#include "Link.h"
#include "LinkState.h"

bool LinkLockTaken() {
    return std::async(std::launch::async,
                      [] {
                          LinkMutex& lock = LinkStateInstance().lock;
                          if (!lock.try_lock()) return true;
                          lock.unlock();
                          return false;
                      })
        .get();
}

void RecordingAlerts::Record(RecordedBox box) {
    box.underLock = LinkLockTaken();
    std::lock_guard g(m_mutex);
    m_boxes.push_back(std::move(box));
}
void RecordingAlerts::DiagnosticBox(long checkPoint, const char*, long value) {
    Record({RecordedBox::Diagnostic, checkPoint, value, {}});
}
void RecordingAlerts::SizeAlarm(long checkPoint, const char*) {
    Record({RecordedBox::SizeAlarm, checkPoint, 0, {}});
}
void RecordingAlerts::MessageBox(const std::u16string& text) {
    Record({RecordedBox::Message, 0, 0, text});
}
void RecordingAlerts::QuitRequest() {
    std::lock_guard g(m_mutex);
    ++m_quits;
}
void RecordingAlerts::WaitCursor(bool) {}
int RecordingAlerts::UnderLock() const {
    std::lock_guard g(m_mutex);
    int n = 0;
    for (auto& b : m_boxes) n += b.underLock;
    return n;
}

std::vector<RecordedBox> RecordingAlerts::Boxes() const {
    std::lock_guard g(m_mutex);
    return m_boxes;
}
int RecordingAlerts::Count(RecordedBox::Type type) const {
    std::lock_guard g(m_mutex);
    int n = 0;
    for (auto& b : m_boxes) n += b.type == type;
    return n;
}
std::vector<long> RecordingAlerts::DiagnosticValues() const {
    std::lock_guard g(m_mutex);
    std::vector<long> v;
    for (auto& b : m_boxes)
        if (b.type == RecordedBox::Diagnostic) v.push_back(b.value);
    return v;
}
int RecordingAlerts::QuitRequests() const {
    std::lock_guard g(m_mutex);
    return m_quits;
}
void RecordingAlerts::Clear() {
    std::lock_guard g(m_mutex);
    m_boxes.clear();
    m_quits = 0;
}

void RecordingNotifier::PostOutcome(void*, uint32_t) {
    std::lock_guard g(m_mutex);
    m_outcomes.push_back(LinkGetOutcome(false));
    m_cv.notify_all();
}
bool RecordingNotifier::WaitForPosts(int count, int timeoutMs) {
    std::unique_lock g(m_mutex);
    return m_cv.wait_for(g, std::chrono::milliseconds(timeoutMs),
                         [&] { return int(m_outcomes.size()) >= count; });
}
int RecordingNotifier::Posts() const {
    std::lock_guard g(m_mutex);
    return int(m_outcomes.size());
}
std::vector<int> RecordingNotifier::Outcomes() const {
    std::lock_guard g(m_mutex);
    return m_outcomes;
}

int MemoryLayoutStore::GetInt(const std::u16string& section, const std::string& name, int def) {
    std::lock_guard g(m_mutex);
    auto it = m_values.find({section, name});
    return it == m_values.end() ? def : it->second;
}
void MemoryLayoutStore::SetInt(const std::u16string& section, const std::string& name, int value) {
    std::lock_guard g(m_mutex);
    m_values[{section, name}] = value;
}
std::map<std::pair<std::u16string, std::string>, int> MemoryLayoutStore::Values() const {
    std::lock_guard g(m_mutex);
    return m_values;
}

LinkFixtureServices::LinkFixtureServices() {
    LinkShutdown();
    LinkSetServices(LinkServices{&notifier, &alerts, &store, nullptr});
    LinkInit();
}
LinkFixtureServices::~LinkFixtureServices() {
    LinkShutdown();
    LinkSetServices(LinkServices{});
}
