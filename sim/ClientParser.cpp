#include "ClientParser.h"

#include <algorithm>

#include "Frame.h"

void ClientParser::Feed(const uint8_t* bytes, size_t n) {
    if (n) m_buf.insert(m_buf.end(), bytes, bytes + n);
}

void ClientParser::Compact() {
    if (m_start > 0 && (m_start >= 4096 || m_start == m_buf.size())) {
        m_buf.erase(m_buf.begin(), m_buf.begin() + ptrdiff_t(m_start));
        m_start = 0;
    }
}

std::optional<ClientMessage> ClientParser::Next() {
    for (;;) {
        if (Buffered() < m_need) return std::nullopt;
        // Hunt the marker; keep a possible partial marker at the end.
        const auto begin = m_buf.begin() + ptrdiff_t(m_start);
        const auto hit = std::search(begin, m_buf.end(), FRAME_MARKER.begin(), FRAME_MARKER.end());
        if (hit == m_buf.end()) {
            const size_t keep = std::min<size_t>(Buffered(), FRAME_MARKER.size() - 1);
            m_skipped += Buffered() - keep;
            m_start = m_buf.size() - keep;
            m_need = FRAME_MARKER.size();
            Compact();
            return std::nullopt;
        }
        const size_t at = size_t(hit - m_buf.begin());
        m_skipped += at - m_start;
        m_start = at;

        ClientMessage msg;
        size_t end = 0;
        switch (ParseAt(at, msg, end, false)) {
        case Parse::NeedMore:
            m_need = end - m_start;
            Compact();
            return std::nullopt;
        case Parse::Bad:
            msg.malformed = true;
            end = at + 1; // resume the hunt inside the bad frame
            break;
        case Parse::Done:
            ParseAt(at, msg, end, true); // items are copied only once the whole frame is here
            if (m_keepFrames)
                msg.frame.assign(m_buf.begin() + ptrdiff_t(at), m_buf.begin() + ptrdiff_t(end));
            break;
        }
        msg.skippedBefore = m_skipped;
        m_skipped = 0;
        m_start = end;
        m_need = 0;
        Compact();
        return msg;
    }
}

// On NeedMore, `end` is the buffer size that would let the parse go further.
ClientParser::Parse ClientParser::ParseAt(size_t at, ClientMessage& msg, size_t& end,
                                          bool collect) const {
    const uint8_t* p = m_buf.data() + at;
    const size_t avail = m_buf.size() - at;
    if (avail < FRAME_HEADER_SIZE) {
        end = at + FRAME_HEADER_SIZE;
        return Parse::NeedMore;
    }
    FrameHeader h = ParseFrameHeader(p);
    msg.code = h.code;
    msg.flags = h.flags;
    WireReader r(p + FRAME_HEADER_SIZE, avail - FRAME_HEADER_SIZE);
    size_t used = FRAME_HEADER_SIZE;
    auto needMore = [&](size_t extra) {
        end = at + used + extra;
        return Parse::NeedMore;
    };

    if (h.code == MSG_REQUEST) {
        if (!r.U32(msg.argument)) return needMore(4);
        used += 4;
    } else if (h.code == MSG_CLIENT_VALUES) {
        uint32_t count = 0;
        if (!r.U32(count)) return needMore(4);
        used += 4;
        if (count > kMaxItems) return Parse::Bad;
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t id = 0, len = 0;
            if (!r.U32(id)) return needMore(8);
            if (!r.U32(len)) return needMore(8);
            used += 8;
            if (len > kMaxItemBytes || used + len > kMaxMessageBytes) return Parse::Bad;
            const uint8_t* data = nullptr;
            if (!r.Bytes(len, data)) return needMore(len);
            used += len;
            if (collect) msg.items.push_back({id, ByteVec(data, data + len)});
        }
    }
    // Every other message is a header alone; an unknown code carries nothing we could read.
    end = at + used;
    return Parse::Done;
}
