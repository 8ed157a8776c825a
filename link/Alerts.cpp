// The link's boxes and the link lock that holds them back: a box raised under the lock goes up
// only once the raising thread has let go of it, so a box can never keep the lock taken.
#include "Alerts.h"

#include <functional>
#include <utility>
#include <vector>

#include "Link.h"
#include "LinkState.h"

namespace {

// Only one link lock exists, so its depth per thread is all there is to know.
thread_local int t_depth = 0;
thread_local std::vector<std::function<void()>> t_deferred;

// A flood of boxes under one hold of the lock (a value message of many bad items) keeps the
// first ones; the box service counts repeats anyway.
constexpr size_t kMaxDeferred = 64;

void RaiseOrDefer(std::function<void()> raise) {
    if (t_depth > 0) {
        if (t_deferred.size() < kMaxDeferred) t_deferred.push_back(std::move(raise));
        return;
    }
    raise();
}

} // namespace

void LinkMutex::lock() {
    m_mutex.lock();
    ++t_depth;
}

bool LinkMutex::try_lock() {
    if (!m_mutex.try_lock()) return false;
    ++t_depth;
    return true;
}

void LinkMutex::unlock() {
    if (--t_depth > 0) {
        m_mutex.unlock();
        return;
    }
    std::vector<std::function<void()>> deferred;
    deferred.swap(t_deferred);
    m_mutex.unlock();
    for (auto& raise : deferred) raise();
}

bool LinkMutex::HeldHere() {
    return t_depth > 0;
}

void RaiseDiagnostic(ILinkAlerts* alerts, long checkPoint, long value) {
    if (!alerts) return;
    RaiseOrDefer([=] { alerts->DiagnosticBox(checkPoint, LINK_UNIT, value); });
}

void RaiseSizeAlarm(ILinkAlerts* alerts, long checkPoint) {
    if (!alerts) return;
    RaiseOrDefer([=] {
        alerts->SizeAlarm(checkPoint, LINK_UNIT);
        alerts->QuitRequest();
    });
}

void RaiseMessage(ILinkAlerts* alerts, const std::u16string& text) {
    if (!alerts) return;
    RaiseOrDefer([=] { alerts->MessageBox(text); });
}
