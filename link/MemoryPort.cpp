#include "MemoryPort.h"

#include <algorithm>
#include <cstring>

#include "Link.h"

MemoryPort::MemoryPort(std::vector<uint8_t> deviceBytes, std::vector<size_t> pauses)
    : m_device(std::move(deviceBytes)), m_pauses(std::move(pauses)) {
    std::sort(m_pauses.begin(), m_pauses.end());
}

void MemoryPort::Close() {
    std::lock_guard g(m_mutex);
    m_open = false;
}

bool MemoryPort::IsOpen() const {
    std::lock_guard g(m_mutex);
    return m_open;
}

int MemoryPort::ReadExact(uint8_t* buffer, size_t n, size_t* immediate, int stallMs) {
    std::lock_guard g(m_mutex);
    if (immediate) *immediate = 0;
    if (n == 0) return 0;
    if (!m_open) return LINK_PORT_CLOSED;
    size_t got = 0;
    bool waited = false;
    while (got < n) {
        // A pause at the current position is met before the bytes behind it.
        if (m_next < m_pauses.size() && m_pauses[m_next] <= m_pos) {
            ++m_next;
            if (stallMs > 0) return LINK_PORT_STALLED;
            waited = true;
            continue;
        }
        size_t end = m_next < m_pauses.size() ? std::min(m_pauses[m_next], m_device.size())
                                              : m_device.size();
        if (m_pos >= m_device.size()) {
            m_lost = true;
            return LINK_PORT_LOST;
        }
        size_t take = std::min(n - got, end - m_pos);
        std::memcpy(buffer + got, m_device.data() + m_pos, take);
        m_pos += take;
        got += take;
        if (immediate && !waited) *immediate = got;
    }
    return 0;
}

int MemoryPort::Write(const uint8_t* bytes, size_t n, long) {
    std::lock_guard g(m_mutex);
    if (!m_open) return LINK_E_NOT_OPEN;
    if (n > m_writeBudget) {
        m_writeBudget = 0;
        return m_writeFailure;
    }
    m_writeBudget -= m_writeBudget == SIZE_MAX ? 0 : n;
    size_t keep = std::min(n, kMaxKept - std::min(kMaxKept, m_written.size()));
    m_written.insert(m_written.end(), bytes, bytes + keep);
    return 0;
}

void MemoryPort::Purge(bool, bool) {}

std::string MemoryPort::LostReason() const {
    std::lock_guard g(m_mutex);
    return m_lost ? "end of data" : "";
}

void MemoryPort::FailWrites(size_t okBytes, int status) {
    std::lock_guard g(m_mutex);
    m_writeBudget = okBytes;
    m_writeFailure = status;
}

std::vector<uint8_t> MemoryPort::Written() const {
    std::lock_guard g(m_mutex);
    return m_written;
}
