#include "HandoverPort.h"

#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

#include "Link.h"
#include "SerialPort.h"

namespace {

// What may wait for the connection: the connect request and little more.
constexpr size_t kPendingLimit = 64 * 1024;

} // namespace

struct HandoverPort::Shared {
    enum class State { Waiting, Connected, Failed, Closed };

    // Called with `mutex` held.
    void Fail(const std::string& reason) {
        state = State::Failed;
        failure = reason;
        pending.clear();
        changed.notify_all();
    }

    std::mutex mutex;
    std::condition_variable changed;
    State state = State::Waiting;
    std::string failure;
    std::vector<uint8_t> pending;
    SerialPort line;
    std::string peer; // empty: the texts name no one
    std::optional<std::chrono::steady_clock::time_point> giveUp;
    std::string giveUpReason;
};

void HandoverPort::Handle::Hand(int fd) const {
    Shared& s = *m_shared;
    std::lock_guard g(s.mutex);
    if (s.state != Shared::State::Waiting) {
        ::close(fd);
        return;
    }
    if (int e = s.line.Adopt(fd)) {
        s.Fail((s.peer.empty() ? "" : "cannot connect to " + s.peer + ": ") + std::strerror(e));
        return;
    }
    if (!s.pending.empty() && s.line.Write(s.pending.data(), s.pending.size(), 0)) {
        s.line.Close();
        s.Fail("the connection " + (s.peer.empty() ? "" : "to " + s.peer + " ") + "failed at once");
        return;
    }
    s.pending.clear();
    s.state = Shared::State::Connected;
    s.changed.notify_all();
}

void HandoverPort::Handle::Fail(const std::string& reason) const {
    std::lock_guard g(m_shared->mutex);
    if (m_shared->state == Shared::State::Waiting) m_shared->Fail(reason);
}

HandoverPort::HandoverPort(bool waiting) : m_shared(std::make_shared<Shared>()) {
    if (!waiting) m_shared->state = Shared::State::Closed;
}

void HandoverPort::Wait(std::string peer, std::chrono::steady_clock::time_point giveUp,
                        std::string giveUpReason) {
    std::lock_guard g(m_shared->mutex);
    m_shared->state = Shared::State::Waiting;
    m_shared->peer = std::move(peer);
    m_shared->giveUp = giveUp;
    m_shared->giveUpReason = std::move(giveUpReason);
}

HandoverPort::~HandoverPort() {
    Close();
}

HandoverPort::Handle HandoverPort::GetHandle() const {
    Handle h;
    h.m_shared = m_shared;
    return h;
}

void HandoverPort::Close() {
    Shared& s = *m_shared;
    {
        std::lock_guard g(s.mutex);
        if (s.state == Shared::State::Closed) return;
        s.state = Shared::State::Closed;
        s.changed.notify_all();
    }
    s.line.Close();
}

bool HandoverPort::IsOpen() const {
    std::lock_guard g(m_shared->mutex);
    return m_shared->state != Shared::State::Closed;
}

int HandoverPort::ReadExact(uint8_t* buffer, size_t n, size_t* immediate, int stallMs) {
    Shared& s = *m_shared;
    {
        std::unique_lock g(s.mutex);
        if (s.state == Shared::State::Waiting) {
            if (immediate) *immediate = 0;
            const auto handed = [&] { return s.state != Shared::State::Waiting; };
            if (!s.giveUp)
                s.changed.wait(g, handed);
            else if (!s.changed.wait_until(g, *s.giveUp, handed))
                s.Fail(s.giveUpReason);
        }
        if (s.state == Shared::State::Closed) return LINK_PORT_CLOSED;
        if (s.state == Shared::State::Failed) return LINK_PORT_LOST;
    }
    return s.line.ReadExact(buffer, n, immediate, stallMs);
}

size_t HandoverPort::Buffered() const {
    return m_shared->line.Buffered();
}

void HandoverPort::GatherUntil(std::chrono::steady_clock::time_point until) {
    m_shared->line.GatherUntil(until);
}

void HandoverPort::EndGathering() {
    m_shared->line.EndGathering();
}

int HandoverPort::Write(const uint8_t* bytes, size_t n, long polls) {
    Shared& s = *m_shared;
    {
        std::lock_guard g(s.mutex);
        switch (s.state) {
        case Shared::State::Closed:
            return LINK_E_NOT_OPEN;
        case Shared::State::Failed:
            // Said once, by the reader, as the lost device: a connect request that comes after
            // a quick refusal must not turn the loss into an error of the open.
            return 0;
        case Shared::State::Waiting:
            if (s.pending.size() + n > kPendingLimit) return LINK_E_WRITE_TIMEOUT;
            s.pending.insert(s.pending.end(), bytes, bytes + n);
            return 0;
        case Shared::State::Connected:
            break;
        }
    }
    return s.line.Write(bytes, n, polls);
}

void HandoverPort::Purge(bool input, bool output) {
    Shared& s = *m_shared;
    {
        std::lock_guard g(s.mutex);
        if (s.state == Shared::State::Waiting && output) s.pending.clear();
        if (s.state != Shared::State::Connected) return;
    }
    s.line.Purge(input, output);
}

std::string HandoverPort::LostReason() const {
    Shared& s = *m_shared;
    {
        std::lock_guard g(s.mutex);
        if (s.state == Shared::State::Failed) return s.failure;
        if (s.state != Shared::State::Connected) return {};
    }
    return s.line.LostReason();
}
