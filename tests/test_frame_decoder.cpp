// The shared frame decoder: names, flags and payloads read the way people read them, and
// payloads a hostile device makes up decode within their bound.
#include <gtest/gtest.h>

#include <random>

#include "CtrlFlags.h"
#include "Frame.h"
#include "FrameDecoder.h"
#include "LinkCtrl.h"
#include "support/DeviceFrames.h"

namespace {

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

std::string Decode(uint16_t code, uint16_t flags, bool sent, const Bytes& payload,
                   const IControlKinds* kinds = nullptr) {
    return DescribeFrame(
        code, flags, sent,
        DecodeFramePayload(code, flags, sent, payload.data(), payload.size(), kinds));
}

TEST(FrameDecoder, ShowsNamesFlagsIdsValuesTextsAndFileNames) {
    const ControlKindTable kinds({{8, KIND_NUMBER, 0},
                                  {2, KIND_TEXT, CTRLF_TEXT16},
                                  {5, KIND_DATETIME, 0},
                                  {10, KIND_PASSWORD, 0},
                                  {14, KIND_FILE, 0}});
    EXPECT_EQ(Decode(MSG_PANEL_INFO, HF_KEEP_PANEL, false,
                     Payload().Sized(AnsiZ("Rig\n")).Sized({}).bytes()),
              "MSG_PANEL_INFO (2) flags=0x0010: title \"Rig.\", keep panel");
    EXPECT_EQ(Decode(MSG_REQUEST, 0, true, U32Bytes(512)), "MSG_REQUEST (18): argument 512");
    EXPECT_EQ(Decode(MSG_PANEL_DEFINITION, 0, false,
                     PanelPayload(
                         {Definition('T', 0, 1, AnsiZ("a")), Definition('N', 0, 8, U32Bytes(1))})),
              "MSG_PANEL_DEFINITION (6): 2 controls: T#1 N#8");
    EXPECT_EQ(Decode(MSG_CLIENT_VALUES, 0, true,
                     ItemList({{8, U32Bytes(uint32_t(-5))},
                               {2, Utf16Z(u"\u03a9")},
                               {5, {1, 2, 3, 8, 2, 12, 0xEA, 0x07}},
                               {10, Bytes(68, 0)},
                               {14, {}},
                               {99, {1, 2}}}),
                     &kinds),
              "MSG_CLIENT_VALUES (7): 6 items #8 number -5; #2 text \"\u03a9\"; #5 datetime "
              "2026-12-08 03:02:01; #10 password request (68 bytes); #14 file request; "
              "#99 (unknown) 2 bytes");
    EXPECT_EQ(Decode(MSG_DEVICE_VALUES, HF_ACK_REQUEST, false, ItemList({{10, {1}}}), &kinds),
              "MSG_DEVICE_VALUES (9) flags=0x0008 [ack requested]: 1 item #10 password logged in");
    // The name and size of a file show even when only the start of its content is at hand.
    Bytes files = Concat({U32Bytes(14), U32Bytes(1), Payload().Sized(AnsiZ("log.csv")).bytes(),
                          U32Bytes(1 << 20), Bytes(100, 'x')});
    EXPECT_EQ(Decode(MSG_FILES, 0, false, files, &kinds),
              "MSG_FILES (17): #14, 1 file \"log.csv\" (1048576 bytes)");
    EXPECT_EQ(Decode(20, 0, false, {}), "unknown (20)");
}

TEST(FrameDecoder, HostilePayloadsDecodeWithinTheBound) {
    const ControlKindTable kinds({{1, KIND_TEXT, 0}, {2, KIND_TEXT, CTRLF_TEXT16}});
    std::vector<Bytes> payloads = {
        // Counts far beyond the bytes.
        U32Bytes(0xFFFFFFFF),
        Concat({U32Bytes(0xFFFFFFFF), U32Bytes(1), U32Bytes(0xFFFFFFF0)}),
        // A text of a megabyte, with control characters and no end.
        ItemList({{1, Bytes(1 << 20, '\x07')}, {2, Bytes(1 << 20, 0x41)}}),
        // Thousands of items, records and definitions, letters outside ASCII.
        Concat({U32Bytes(5000), Bytes(5000 * 12, 1)}),
        PanelPayload(std::vector<Bytes>(2000, Definition(char(0x85), 0, 1, {}))),
    };
    std::mt19937 random(7);
    for (int i = 0; i < 20; ++i) {
        Bytes noise(size_t(random() % 5000));
        for (uint8_t& b : noise) b = uint8_t(random());
        payloads.push_back(noise);
    }
    for (const Bytes& p : payloads) {
        for (uint16_t code = 0; code <= 22; ++code) {
            for (bool sent : {false, true}) {
                const std::string d =
                    DecodeFramePayload(code, 0xFFFF, sent, p.data(), p.size(), &kinds);
                EXPECT_LE(d.size(), FRAME_DECODE_MAX_CHARS);
                for (char c : d) EXPECT_GE(uint8_t(c), 0x20) << "code " << code;
            }
        }
    }
}

} // namespace
