// Progress of one long transfer (a received file, a panel definition) through the application's
// ILinkProgress: reported once the transfer is larger than 64 KiB, ended when the message ends.
// Receive thread only, without the link lock.
#pragma once

#include <cstdint>
#include <string>

#include "Link.h"

inline constexpr uint64_t LINK_PROGRESS_FROM_BYTES = 64 * 1024;

class TransferReport {
public:
    TransferReport() : m_progress(LinkGetServices().progress) {}
    ~TransferReport() {
        if (m_reported) m_progress->TransferDone();
    }
    TransferReport(const TransferReport&) = delete;
    TransferReport& operator=(const TransferReport&) = delete;

    void Update(const std::u16string& name, uint64_t received, uint64_t total) {
        // Once started it goes on to the end, even when a panel's estimate comes down.
        if (!m_progress || (!m_reported && total <= LINK_PROGRESS_FROM_BYTES)) return;
        m_reported = true;
        m_progress->Transfer(name, received, total);
    }

private:
    ILinkProgress* m_progress;
    bool m_reported = false;
};
