#include "Replay.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <deque>
#include <memory>
#include <optional>

#include "ClientParser.h"
#include "Frame.h"
#include "FrameDecoder.h"
#include "FrameLog.h"
#include "LinkCtrl.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kShownBytes = 48;

std::string FrameName(const PcapngPacket& p, size_t index) {
    return "frame " + std::to_string(index + 1) + " (byte offset " + std::to_string(p.offset) +
           " of the capture)";
}

// The kinds of the controls of a panel definition the device sent, for decoding answers.
std::shared_ptr<ControlKindTable> KindsOf(const ByteVec& frame) {
    std::vector<ControlKind> kinds;
    WireReader r(frame.data() + FRAME_HEADER_SIZE, frame.size() - FRAME_HEADER_SIZE);
    uint32_t count = 0;
    if (!r.U32(count)) return nullptr;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t size = 0;
        const uint8_t* d = nullptr;
        if (!r.U32(size) || !r.Bytes(size, d)) break;
        if (size < 10) continue;
        kinds.push_back({GetU32LE(d + 6), KindFromLetter(GetU16LE(d)), GetU32LE(d + 2)});
    }
    return std::make_shared<ControlKindTable>(std::move(kinds));
}

std::string Hex(const ByteVec& b) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < b.size() && i < kShownBytes; ++i) {
        s += digits[b[i] >> 4];
        s += digits[b[i] & 15];
    }
    return b.size() > kShownBytes ? s + "..." : s;
}

// A recorded client frame as the simulator's log shows one.
std::string DescribeRecorded(const ByteVec& frame, const IControlKinds* kinds) {
    ClientParser parser;
    parser.Feed(frame.data(), frame.size());
    std::optional<ClientMessage> msg = parser.Next();
    return msg ? DescribeClientMessage(*msg, kinds) : "<- an incomplete frame " + Hex(frame);
}

} // namespace

Replay::Replay() {
    if (pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) m_wake[0] = m_wake[1] = -1;
}

Replay::~Replay() {
    for (int fd : m_wake)
        if (fd >= 0) close(fd);
}

void Replay::RequestStop() {
    m_stop = true;
    if (m_wake[1] >= 0) {
        const char b = 1;
        [[maybe_unused]] ssize_t n = write(m_wake[1], &b, 1);
    }
}

bool Replay::Load(const PcapngFile& file, std::string& error) {
    m_packets.clear();
    if (!file.error.empty()) {
        error = file.error;
        return false;
    }
    if (file.packets.empty()) {
        error = "the capture holds no frames";
        return false;
    }
    for (size_t i = 0; i < file.packets.size(); ++i) {
        const PcapngPacket& p = file.packets[i];
        if (p.bytes.size() < FRAME_HEADER_SIZE || !HasFrameMarker(p.bytes.data())) {
            error = FrameName(p, i) + " is not a Talvex frame: no frame marker";
            return false;
        }
        if (p.bytes.size() < p.originalLength) {
            error = FrameName(p, i) + " holds only the first " + std::to_string(p.bytes.size()) +
                    " of its " + std::to_string(p.originalLength) + " bytes: it cannot be replayed";
            return false;
        }
    }
    m_packets = file.packets;
    return true;
}

ReplayResult Replay::Play(int fd, const ReplayOptions& options) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    struct Answer {
        ClientMessage msg;
        Clock::time_point at;
    };
    std::deque<Answer> answers;
    ClientParser parser;
    parser.KeepFrames(true);
    ByteVec out;
    size_t outPos = 0;
    bool gone = false;
    std::optional<Clock::time_point> firstWord;
    std::shared_ptr<ControlKindTable> kinds;
    size_t pings = 0;
    auto log = [&](const std::string& line) {
        if (options.log) options.log(line);
    };

    // Reads, writes and answers pings until `until` or something to look at has come.
    auto pump = [&](std::optional<Clock::time_point> until) {
        int timeout = -1;
        if (until) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*until - Clock::now());
            timeout = int(std::max<int64_t>(0, left.count()));
        }
        pollfd fds[2] = {{fd, short(POLLIN | (outPos < out.size() ? POLLOUT : 0)), 0},
                         {m_wake[0], POLLIN, 0}};
        if (poll(fds, 2, timeout) < 0 && errno != EINTR) gone = true;
        if (fds[0].revents & (POLLOUT | POLLERR | POLLHUP)) {
            while (outPos < out.size()) {
                const ssize_t n = write(fd, out.data() + outPos, out.size() - outPos);
                if (n <= 0) {
                    if (n < 0 && errno != EAGAIN && errno != EINTR) gone = true;
                    break;
                }
                outPos += size_t(n);
            }
            if (outPos == out.size()) {
                out.clear();
                outPos = 0;
            }
        }
        if (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) {
            uint8_t buf[65536];
            const ssize_t n = read(fd, buf, sizeof buf);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) gone = true;
            if (n > 0) parser.Feed(buf, size_t(n));
            while (std::optional<ClientMessage> msg = parser.Next()) {
                if (!firstWord) firstWord = Clock::now();
                if (msg->code == MSG_PING && !msg->malformed) {
                    const FrameHeaderBytes reply = BuildFrameHeader(MSG_PING_REPLY, 0);
                    out.insert(out.end(), reply.begin(), reply.end());
                    ++pings;
                    continue;
                }
                answers.push_back({std::move(*msg), Clock::now()});
            }
        }
    };
    auto stopped = [&] { return m_stop.load(); };

    // Someone has to start the client: its first word is waited for without a limit.
    while (!firstWord && !stopped() && !gone) pump(std::nullopt);
    if (!firstWord)
        return {false, gone ? "the client went away before it said anything"
                            : "stopped before the client said anything"};
    Clock::time_point anchorReal = *firstWord;
    uint64_t anchorRec = m_packets.front().timeUs;
    auto scaled = [&](uint64_t recorded) {
        if (options.speed <= 0 || recorded <= anchorRec) return Clock::duration{};
        return std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double, std::micro>(double(recorded - anchorRec) /
                                                      options.speed));
    };

    size_t played = 0, compared = 0;
    for (size_t i = 0; i < m_packets.size(); ++i) {
        const PcapngPacket& p = m_packets[i];
        const uint16_t code = ParseFrameHeader(p.bytes.data()).code;
        if (!p.inbound) {
            if (code == MSG_PING) continue;
            const auto deadline = anchorReal + scaled(p.timeUs) + options.answerTime;
            while (answers.empty() && !stopped() && !gone && Clock::now() < deadline)
                pump(deadline);
            if (stopped()) return {false, "stopped at " + FrameName(p, i)};
            const std::string recorded = DescribeRecorded(p.bytes, kinds.get());
            if (answers.empty()) {
                const double waited = std::chrono::duration<double>(deadline - anchorReal).count();
                char within[64];
                std::snprintf(within, sizeof within, "within %.1f s", waited);
                return {false, "The client's answers differ at " + FrameName(p, i) +
                                   ":\n  recorded: " + recorded + "\n  client:   " +
                                   (gone ? std::string("went away (end of the stream)")
                                         : "sent nothing " + std::string(within))};
            }
            Answer got = std::move(answers.front());
            answers.pop_front();
            const ByteVec& actual = got.msg.frame;
            if (got.msg.malformed || actual != p.bytes) {
                size_t at = 0;
                while (at < actual.size() && at < p.bytes.size() && actual[at] == p.bytes[at]) ++at;
                const std::string client = DescribeClientMessage(got.msg, kinds.get());
                std::string report = "The client's answers differ at " + FrameName(p, i) +
                                     ", first at byte " + std::to_string(at) +
                                     " of the frame:\n  recorded: " + recorded +
                                     "\n  client:   " + client;
                if (recorded == client)
                    report +=
                        "\n  recorded bytes " + Hex(p.bytes) + "\n  client bytes   " + Hex(actual);
                return {false, report};
            }
            log(recorded);
            ++compared;
            anchorReal = got.at;
            anchorRec = p.timeUs;
            continue;
        }
        if (code == MSG_PING_REPLY) continue; // the client's pings are answered as they come
        const auto due = anchorReal + scaled(p.timeUs);
        while (!stopped() && !gone && Clock::now() < due) pump(due);
        if (stopped()) return {false, "stopped at " + FrameName(p, i)};
        if (code == MSG_PANEL_DEFINITION) kinds = KindsOf(p.bytes);
        out.insert(out.end(), p.bytes.begin(), p.bytes.end());
        pump(Clock::now()); // on its way now, not with the next wait
        log(DescribeDeviceFrame(code, ParseFrameHeader(p.bytes.data()).flags,
                                ByteVec(p.bytes.begin() + FRAME_HEADER_SIZE, p.bytes.end()),
                                kinds.get()));
        ++played;
    }
    const auto flushBy = Clock::now() + options.answerTime;
    while (outPos < out.size() && !gone && !stopped() && Clock::now() < flushBy) pump(flushBy);
    pump(Clock::now());
    if (!answers.empty())
        return {false, "The client sent more than the recording has, after its last frame:\n"
                       "  client:   " +
                           DescribeClientMessage(answers.front().msg, kinds.get())};
    return {true, "Replayed " + std::to_string(played) + " device frames; the client's " +
                      std::to_string(compared) + " answers were as recorded" +
                      (pings ? " (" + std::to_string(pings) + " pings answered)" : "") + "."};
}
