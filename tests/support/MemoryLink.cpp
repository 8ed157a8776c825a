#include "MemoryLink.h"

#include <climits>

#include "Frame.h"
#include "Link.h"
#include "LinkState.h"

MemoryLink::MemoryLink() = default;

MemoryLink::~MemoryLink() {
    LinkClose(false);
}

MemoryLink& MemoryLink::Frame(uint16_t code, uint16_t flags, const Bytes& payload) {
    Raw(DeviceHeader(code, flags));
    return Raw(payload);
}

MemoryLink& MemoryLink::Raw(const Bytes& bytes) {
    m_device.insert(m_device.end(), bytes.begin(), bytes.end());
    return *this;
}

MemoryLink& MemoryLink::Pause() {
    m_pauses.push_back(m_device.size());
    return *this;
}

std::vector<int> MemoryLink::Run() {
    auto owned = std::make_unique<MemoryPort>(m_device, m_pauses);
    MemoryPort* raw = owned.get();
    openStatus = LinkOpenPort(std::move(owned), &m_window, 0x8000);
    std::vector<int> outcomes;
    if (openStatus != 0) return outcomes;
    port = std::shared_ptr<MemoryPort>(LinkPort(), raw); // the link's own port
    for (;;) {
        if (!services.notifier.WaitForPosts(int(outcomes.size()) + 1)) {
            outcomes.push_back(INT_MIN);
            break;
        }
        outcomes.push_back(services.notifier.Outcomes()[outcomes.size()]);
        if (outcomes.back() == LINK_LOST || outcomes.back() == LINK_CLOSED) break;
        LinkStartReceiver(&m_window, 0x8000);
    }
    return outcomes;
}

std::vector<uint16_t> MemoryLink::ClientCodes() const {
    std::vector<uint16_t> codes;
    const Bytes written = port ? port->Written() : Bytes();
    for (size_t i = 0; i + FRAME_HEADER_SIZE <= written.size(); ++i)
        if (HasFrameMarker(&written[i])) codes.push_back(GetU16LE(&written[i + 16]));
    return codes;
}
