#include "FrameLog.h"

#include "Frame.h"
#include "FrameDecoder.h"

namespace {

// The device's panel as the decoder's kinds of controls.
class PanelKinds : public IControlKinds {
public:
    explicit PanelKinds(const Panel& panel) : m_panel(panel) {}
    bool Find(uint32_t id, uint16_t& kind, uint32_t& flags) const override {
        const PanelControl* c = m_panel.Find(id);
        if (!c) return false;
        kind = uint16_t(c->kind);
        flags = c->flags;
        return true;
    }

private:
    const Panel& m_panel;
};

} // namespace

std::string DescribeClientMessage(const ClientMessage& msg, const Panel& panel) {
    const PanelKinds kinds(panel);
    return DescribeClientMessage(msg, &kinds);
}

std::string DescribeClientMessage(const ClientMessage& msg, const IControlKinds* kinds) {
    std::string decode;
    if (!msg.malformed) {
        // The parser kept the fields, not the bytes: they are put back in their wire order.
        ByteVec payload;
        if (msg.code == MSG_REQUEST) payload = WireWriter().U32(msg.argument).Take();
        if (msg.code == MSG_CLIENT_VALUES) payload = ItemListPayload(msg.items);
        decode =
            DecodeFramePayload(msg.code, msg.flags, true, payload.data(), payload.size(), kinds);
    }
    std::string s = "<- " + DescribeFrame(msg.code, msg.flags, true, {});
    if (msg.skippedBefore) s += " (after " + std::to_string(msg.skippedBefore) + " stray bytes)";
    if (msg.malformed) return s + ": sizes over the limits, frame dropped";
    return decode.empty() ? s : s + ": " + decode;
}

std::string DescribeDeviceFrame(uint16_t code, uint16_t flags, const ByteVec& payload,
                                const Panel& panel) {
    const PanelKinds kinds(panel);
    return DescribeDeviceFrame(code, flags, payload, &kinds);
}

std::string DescribeDeviceFrame(uint16_t code, uint16_t flags, const ByteVec& payload,
                                const IControlKinds* kinds) {
    return "-> " + DescribeFrame(code, flags, false,
                                 DecodeFramePayload(code, flags, false, payload.data(),
                                                    payload.size(), kinds));
}
