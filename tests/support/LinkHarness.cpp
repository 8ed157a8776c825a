#include "LinkHarness.h"

#include <climits>

#include "Link.h"

LinkHarness::LinkHarness() {
    openStatus = LinkOpenDevice(peer.SlavePath(), &window, kNotifyMessage);
    uint16_t code = 0, flags = 0;
    peer.ReadHeader(code, flags); // the connect request
}

LinkHarness::~LinkHarness() {
    LinkClose(false);
}

int LinkHarness::NextOutcome(int timeoutMs) {
    if (!services.notifier.WaitForPosts(m_seen + 1, timeoutMs)) return INT_MIN;
    int outcome = services.notifier.Outcomes()[size_t(m_seen)];
    ++m_seen;
    LinkStartReceiver(&window, kNotifyMessage);
    return outcome;
}

int LinkHarness::LoadPanel(const std::vector<Bytes>& definitions) {
    peer.WriteFrame(6, 0, PanelPayload(definitions));
    return NextOutcome();
}

int LinkHarness::NextClientCode(uint16_t* flags, int timeoutMs) {
    uint16_t code = 0, f = 0;
    if (!peer.ReadHeader(code, f, timeoutMs)) return -1;
    if (flags) *flags = f;
    return code;
}
