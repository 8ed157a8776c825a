// The frame log (--trace): every frame sent and received as one line through the trace sink.
// A capture spans one whole message; the bytes written or read meanwhile are its frame.
#pragma once

#include <cstddef>
#include <cstdint>

class FrameCapture {
public:
    explicit FrameCapture(bool sent);
    ~FrameCapture(); // the outermost capture of a direction writes the line
    FrameCapture(const FrameCapture&) = delete;
    FrameCapture& operator=(const FrameCapture&) = delete;

private:
    bool m_sent;
    bool m_active;
};

// Writes the line of the open capture now, before what the message causes is logged.
void FrameTraceFlush(bool sent);
// Called by the primitive transfers; does nothing unless a capture of that direction is open.
void FrameTraceBytes(bool sent, const uint8_t* bytes, size_t n);
