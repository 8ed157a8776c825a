// Frames for people: every frame sent and received is decoded once (FrameDecoder.h) and goes to
// the trace as one line and to the protocol monitor while it is open. A capture spans one whole
// message; the bytes written or read meanwhile are its frame. While neither wants frames a
// capture only counts its depth: no bytes are kept and no record is built.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct CLinkCtrl;
struct DecodedFrame;

class FrameCapture {
public:
    explicit FrameCapture(bool sent);
    ~FrameCapture(); // the outermost capture of a direction hands the frame on
    FrameCapture(const FrameCapture&) = delete;
    FrameCapture& operator=(const FrameCapture&) = delete;

private:
    bool m_sent;
};

// Hands the frame of the open capture on now, before what the message causes is logged.
void FrameTraceFlush(bool sent);
// Called by the primitive transfers; does nothing unless a capture of that direction is open.
void FrameTraceBytes(bool sent, const uint8_t* bytes, size_t n);
// The receive thread has read new bytes from the line: a frame it receives is timed by the read
// that brought its last bytes (the clock is read once for all the frames of a read).
void FrameTraceRead();
// The kinds of a new panel's controls, for decoding value items; called by the receive thread
// with the downloaded table before it goes live (the monitor never reads the live table).
void FrameTraceSetPanel(const std::vector<CLinkCtrl>& table);
// The trace's line: "send MSG_REQUEST (18) bytes=24: argument 512 | 48EFF074...", the bytes
// being the frame's first ones (a long frame ends in "...").
std::string FrameTraceLine(const DecodedFrame& frame, const uint8_t* bytes, size_t n);
