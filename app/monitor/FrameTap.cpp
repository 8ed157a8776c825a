#include "FrameTap.h"

#include <utility>

#include "ByteReader.h"
#include "Frame.h"
#include "Pcapng.h"
#include "TextCodec.h"

namespace {

// A title known only once the device sends it is noted on that frame.
std::string TitleNote(const DecodedFrame& f) {
    if (f.sent || f.code != MSG_PANEL_INFO || f.bytes.size() < FRAME_HEADER_SIZE) return {};
    ByteReader r(f.bytes.data() + FRAME_HEADER_SIZE, f.bytes.size() - FRAME_HEADER_SIZE);
    uint32_t n = 0;
    const uint8_t* p = nullptr;
    if (!r.U32(n) || !r.Bytes(n, p)) return {};
    const std::u16string title = f.flags & HF_TITLE_UTF16 ? DecodeUtf16LE(p, n) : WidenAnsi(p, n);
    return "panel title " + QuoteDeviceText(title);
}

uint64_t Microseconds(std::chrono::system_clock::time_point t) {
    return uint64_t(
        std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count());
}

} // namespace

void FrameTap::Frame(const DecodedFrame& frame) {
    Frame(DecodedFrame(frame));
}

void FrameTap::Frame(DecodedFrame&& frame) {
    m_recorded.fetch_add(1, std::memory_order_relaxed);
    const bool capturing = m_captureBytes.load(std::memory_order_relaxed) != 0;
    const bool watching = m_watching.load(std::memory_order_relaxed);
    bool wake = false;
    {
        std::lock_guard g(m_mutex);
        if (capturing) {
            const size_t size = m_captureBlocks.size();
            if (size + frame.bytes.size() + 256 > kMaxCaptureBytes) {
                ++m_captureLost;
            } else {
                std::string note = TitleNote(frame);
                if (m_captureLost) {
                    note += (note.empty() ? "" : "; ") + std::to_string(m_captureLost) +
                            " frames before this one were not captured: the disk fell behind";
                    m_captureLost = 0;
                }
                PcapngAppendPacket(m_captureBlocks, Microseconds(frame.time), !frame.sent,
                                   frame.bytes.data(), frame.bytes.size(), frame.length, note);
                ++m_captureFrames;
                // The writer looks on its own every few tens of milliseconds; it is woken only
                // for a full batch, so a stream of frames costs no wake-up each.
                wake = size < kCaptureBatchBytes && m_captureBlocks.size() >= kCaptureBatchBytes;
            }
        }
        if (watching) {
            if (m_queue.size() >= kMaxQueued) m_queue.pop_front();
            m_queue.push_back(std::move(frame));
            // The window shows the decode; the bytes would only hold memory.
            std::vector<uint8_t>().swap(m_queue.back().bytes);
        }
    }
    if (wake) m_captured.notify_one();
}

std::deque<DecodedFrame> FrameTap::Take() {
    std::deque<DecodedFrame> batch;
    std::lock_guard g(m_mutex);
    batch.swap(m_queue);
    return batch;
}

std::vector<uint8_t> FrameTap::BatchBuffer() {
    // A full batch and the largest frame block beyond it.
    std::vector<uint8_t> buffer(kCaptureBatchBytes + PCAPNG_SNAPLEN + 256);
    buffer.clear();
    return buffer;
}

void FrameTap::SetCapturing(size_t snapLength) {
    std::vector<uint8_t> buffer;
    if (snapLength && m_captureBlocks.capacity() < kCaptureBatchBytes) buffer = BatchBuffer();
    {
        std::lock_guard g(m_mutex);
        if (snapLength && !m_captureBytes.load(std::memory_order_relaxed)) {
            m_captureBlocks.clear(); // what a capture that failed left behind
            m_captureFrames = 0;
            m_captureLost = 0;
            if (buffer.capacity() > m_captureBlocks.capacity()) m_captureBlocks.swap(buffer);
        }
        m_captureBytes.store(snapLength, std::memory_order_relaxed);
    }
    if (!snapLength) m_captured.notify_all();
}

void FrameTap::TakeCaptured(std::chrono::milliseconds timeout, std::vector<uint8_t>& blocks,
                            uint64_t& frames) {
    blocks.clear();
    std::unique_lock g(m_mutex);
    m_captured.wait_for(g, timeout, [this] {
        return m_captureBlocks.size() >= kCaptureBatchBytes ||
               !m_captureBytes.load(std::memory_order_relaxed);
    });
    blocks.swap(m_captureBlocks);
    frames = std::exchange(m_captureFrames, 0);
}
