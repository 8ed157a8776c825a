// What the client sends: value messages built from pending entries, password requests, pings,
// requests, and the layout store the receive side writes into.
#include <gtest/gtest.h>

#include "Frame.h"
#include "LayoutProps.h"
#include "Link.h"
#include "support/LinkHarness.h"
#include "support/MemoryLink.h"

namespace {

struct Item {
    uint32_t id;
    Bytes data;
};

class Outgoing : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(link.openStatus, 0);
        ASSERT_EQ(link.LoadPanel({
                      Definition('T', 0, 1, AnsiZ(""), {{'m', U32Bytes(8)}}),
                      Definition('B', 0, 2, {0}),
                      Definition('G', 0, 3, {1}, {{'r', U32Bytes(3)}}),
                      Definition('G', CTRLF_LATCH_MOMENTARY, 4, {1}, {{'r', U32Bytes(3)}}),
                      Definition('G', 0, 5, {1}, {{'r', U32Bytes(4)}}),
                      Definition('N', 0, 6, U32Bytes(0)),
                      Definition('P', CTRLF_TEXT16, 7, {0}),
                      Definition('P', 0, 8, {0}),
                      Definition('M', 0, 9, U32Bytes(0)),
                      Definition('F', 0, 10, {}),
                      Definition('T', CTRLF_TEXT16, 11, Utf16Z(u""), {{'m', U32Bytes(8)}}),
                  }),
                  LINK_PANEL);
    }

    // Reads one value message; false when the frame is not one.
    bool ReadValues(std::vector<Item>& items, uint16_t* flags = nullptr) {
        items.clear();
        if (link.NextClientCode(flags) != MSG_CLIENT_VALUES) return false;
        uint32_t count = link.peer.ReadU32();
        for (uint32_t i = 0; i < count; ++i) {
            Item item;
            item.id = link.peer.ReadU32();
            uint32_t length = link.peer.ReadU32();
            if (!link.peer.Read(item.data, length)) return false;
            items.push_back(item);
        }
        return true;
    }

    static Bytes Field34(const Bytes& text) {
        Bytes f = text;
        f.resize(34, 0);
        return f;
    }

    LinkHarness link;
};

TEST_F(Outgoing, NothingPendingStillSendsAnEmptyList) {
    EXPECT_EQ(LinkSendChanges(), 0);
    std::vector<Item> items;
    uint16_t flags = 0xFFFF;
    ASSERT_TRUE(ReadValues(items, &flags));
    EXPECT_TRUE(items.empty());
    EXPECT_EQ(flags, 0);

    LinkSetAckOption(true);
    EXPECT_EQ(LinkSendChanges(), 0);
    ASSERT_TRUE(ReadValues(items, &flags));
    EXPECT_EQ(flags, HF_ACK_REQUEST);
    LinkSetAckOption(false);
}

TEST_F(Outgoing, PendingEntriesGoInTableOrderAndAButtonPressOnce) {
    uint8_t pressed = 255;
    int32_t number = -5;
    EXPECT_EQ(LinkSetValue(6, &number, 4), 0);
    EXPECT_EQ(LinkSetValue(2, &pressed, 1), 0);
    EXPECT_EQ(LinkSendChanges(), 0);
    std::vector<Item> items;
    ASSERT_TRUE(ReadValues(items));
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].id, 2u);
    EXPECT_EQ(items[0].data, Bytes{255});
    EXPECT_EQ(items[1].id, 6u);
    EXPECT_EQ(items[1].data, U32Bytes(uint32_t(-5)));

    LinkLock();
    uint8_t state = 1;
    uint32_t size = 1;
    LinkGetValue(2, &state, &size);
    LinkUnlock();
    EXPECT_EQ(state, 0);
    EXPECT_EQ(LinkSendChanges(), 0); // sent: no longer pending
    ASSERT_TRUE(ReadValues(items));
    EXPECT_TRUE(items.empty());
}

TEST_F(Outgoing, TextsAreCutToTheirField) {
    std::u16string ten = u"abcdefghij";
    ten.push_back(0);
    EXPECT_EQ(LinkSetValue(1, ten.data(), uint32_t(ten.size() * 2)), 0);
    EXPECT_EQ(LinkSetValue(11, ten.data(), uint32_t(ten.size() * 2)), 0);
    EXPECT_EQ(LinkSendChanges(), 0);
    std::vector<Item> items;
    ASSERT_TRUE(ReadValues(items));
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].data, (Bytes{'a', 'b', 'c', 'd', 'e', 'f', 'g', 0}));
    // A full UTF-16 field of 8 bytes still ends with its zero character.
    EXPECT_EQ(items[1].data, (Bytes{'a', 0, 'b', 0, 'c', 0, 0, 0}));
}

TEST_F(Outgoing, KindsThatCannotBeStored) {
    uint8_t b = 1;
    EXPECT_EQ(LinkSetValue(9, &b, 1), LINK_E_KIND);
    EXPECT_EQ(LinkSetValue(7, &b, 1), LINK_E_KIND);
    EXPECT_EQ(LinkSetValue(1234, &b, 1), 0);
    EXPECT_EQ(LinkSetValue(10, nullptr, 0), 0); // a file request: marked, nothing stored
    EXPECT_EQ(LinkSendChanges(), 0);
    std::vector<Item> items;
    ASSERT_TRUE(ReadValues(items));
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].id, 10u);
    EXPECT_TRUE(items[0].data.empty());
}

TEST_F(Outgoing, ClearGroupSparesEditableLatchesAndOtherGroups) {
    EXPECT_EQ(LinkClearGroup(3), 0);
    uint8_t on = 1;
    EXPECT_EQ(LinkSetValue(3, &on, 1), 0);
    EXPECT_EQ(LinkSendChanges(), 0);
    std::vector<Item> items;
    ASSERT_TRUE(ReadValues(items));
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].id, 3u);
    EXPECT_EQ(items[0].data, Bytes{1});

    EXPECT_EQ(LinkClearGroup(3), 0);
    EXPECT_EQ(LinkSendChanges(), 0);
    ASSERT_TRUE(ReadValues(items));
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].data, Bytes{0});
}

TEST_F(Outgoing, PasswordRequests) {
    std::u16string twenty = u"abcdefghijklmnopqrst";
    EXPECT_EQ(LinkLogIn(7, twenty), 0);
    std::vector<Item> items;
    ASSERT_TRUE(ReadValues(items));
    ASSERT_EQ(items.size(), 1u);
    ASSERT_EQ(items[0].data.size(), 68u);
    Bytes expected = Field34(Utf16Bytes(u"abcdefghijklmnop"));
    EXPECT_EQ(Bytes(items[0].data.begin(), items[0].data.begin() + 34), expected);
    EXPECT_EQ(Bytes(items[0].data.begin() + 34, items[0].data.end()), Bytes(34, 0));

    std::u16string forty(40, u'x');
    EXPECT_EQ(LinkChangePassword(8, u"old", forty), 0);
    ASSERT_TRUE(ReadValues(items));
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(Bytes(items[0].data.begin(), items[0].data.begin() + 34), Field34({'o', 'l', 'd'}));
    EXPECT_EQ(Bytes(items[0].data.begin() + 34, items[0].data.end()), Field34(Bytes(33, 'x')));

    EXPECT_EQ(LinkChangePassword(8, u"old", u""), LINK_E_KIND);
    EXPECT_EQ(LinkLogIn(6, u"pw"), LINK_E_KIND);
    EXPECT_EQ(LinkLogIn(4242, u"pw"), 0);
    EXPECT_TRUE(link.peer.Drain(50).empty());

    EXPECT_EQ(LinkLogOut(8), 0);
    ASSERT_TRUE(ReadValues(items));
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].data, Bytes(68, 0));
}

TEST_F(Outgoing, SendByteLeavesTheEntryAlone) {
    EXPECT_EQ(LinkSendByte(2, 3), 0);
    std::vector<Item> items;
    ASSERT_TRUE(ReadValues(items));
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].id, 2u);
    EXPECT_EQ(items[0].data, Bytes{3});
    EXPECT_EQ(LinkSendByte(999, 1), 0);
    EXPECT_TRUE(link.peer.Drain(50).empty());
}

TEST_F(Outgoing, PingsNeedAReplyInBetween) {
    EXPECT_EQ(LinkPing(), 0);
    EXPECT_EQ(link.NextClientCode(), MSG_PING);
    EXPECT_EQ(LinkPing(), LINK_E_PING_LOST);
    EXPECT_TRUE(link.peer.Drain(50).empty());

    EXPECT_EQ(LinkPing(), 0);
    EXPECT_EQ(link.NextClientCode(), MSG_PING);
    link.peer.WriteFrame(MSG_PING_REPLY);
    EXPECT_EQ(link.NextOutcome(), LINK_PING_REPLY);
    EXPECT_EQ(LinkPing(), 0);
    EXPECT_EQ(link.NextClientCode(), MSG_PING);
}

TEST_F(Outgoing, RequestAndReload) {
    EXPECT_EQ(LinkSendRequest(REQUEST_LAYOUT), 0);
    EXPECT_EQ(link.NextClientCode(), MSG_REQUEST);
    EXPECT_EQ(link.peer.ReadU32(), 512u);
    EXPECT_EQ(LinkReload(), 0);
    EXPECT_EQ(link.NextClientCode(), MSG_CONNECT);
}

// The same messages written to a port played from memory, which can also refuse to write.
class OutgoingToMemory : public ::testing::Test {
protected:
    void SetUp() override {
        // Text blob 1 (4 characters), raw blob 2 (4 bytes), pictures 3 and 4 (4 editable),
        // number 5, message box 6.
        link.Frame(MSG_PANEL_DEFINITION, 0,
                   PanelPayload({
                       Definition('O', CTRLF_EDITABLE, 1, AnsiZ("ab"), {{'m', U32Bytes(4)}}),
                       Definition('O', 0, 2, {1, 2}, {{'m', U32Bytes(4)}}),
                       Definition('I', 0, 3, {}),
                       Definition('I', CTRLF_EDITABLE, 4, {}),
                       Definition('N', 0, 5, U32Bytes(0)),
                       Definition('X', 0, 6, AnsiZ(""), {{'m', U32Bytes(4)}}),
                   }))
            .Frame(MSG_DEVICE_VALUES, 0, ItemList({{1, AnsiZ("\xE9t\xE9s")}}));
        ASSERT_EQ(link.Run(), (std::vector<int>{LINK_PANEL, LINK_VALUES, LINK_LOST}));
    }

    // The items of the last value message written; its count as written goes to `count`.
    std::vector<Item> LastValues(uint32_t* count = nullptr) {
        const Bytes w = link.port->Written();
        size_t at = w.size();
        for (size_t i = 0; i + FRAME_HEADER_SIZE <= w.size(); ++i)
            if (HasFrameMarker(&w[i])) at = i;
        std::vector<Item> items;
        size_t p = at + FRAME_HEADER_SIZE;
        if (p + 4 > w.size() || GetU16LE(&w[at + 16]) != MSG_CLIENT_VALUES) return items;
        if (count) *count = GetU32LE(&w[p]);
        for (p += 4; p + 8 <= w.size();) {
            const uint32_t id = GetU32LE(&w[p]), n = GetU32LE(&w[p + 4]);
            p += 8;
            if (p + n > w.size()) break;
            items.push_back({id, Bytes(w.begin() + long(p), w.begin() + long(p + n))});
            p += n;
        }
        return items;
    }

    MemoryLink link;
};

TEST_F(OutgoingToMemory, BlobsPicturesAndAnswersGoAsTheirKindAsks) {
    // The device's 8-bit text came in widened and cut to the capacity.
    std::u16string held(4, u'\0');
    uint32_t size = 8;
    LinkGetValue(1, held.data(), &size);
    EXPECT_EQ(held, u"\u00E9t\u00E9s");

    const std::u16string text = u"xyz";
    const uint8_t raw[] = {9, 8, 7, 6, 5}, answer = 2;
    EXPECT_EQ(LinkSetValue(1, text.data(), 6), 0);
    EXPECT_EQ(LinkSetValue(2, raw, sizeof raw), 0);
    EXPECT_EQ(LinkSetValue(4, raw, sizeof raw), 0); // an editable picture holds no value
    EXPECT_EQ(LinkSetValue(6, &answer, 1), 0);
    EXPECT_EQ(LinkSendChanges(), 0);
    auto items = LastValues();
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].data, (Bytes{'x', 'y', 'z', 0}));
    EXPECT_EQ(items[1].data, (Bytes{9, 8, 7, 6}));
    EXPECT_EQ(items[2].data, Bytes{});
    EXPECT_EQ(items[3].data, Bytes{2});
}

TEST_F(OutgoingToMemory, AnEntryThatCannotBeSentEndsTheMessageAndTheRestStayPending) {
    const uint8_t bytes[] = {1, 2};
    EXPECT_EQ(LinkSetValue(3, bytes, 2), 0); // a picture shown by the device
    EXPECT_EQ(LinkSetValue(5, bytes, 2), 0);
    EXPECT_EQ(LinkSendChanges(), 888);
    EXPECT_EQ(link.services.alerts.DiagnosticValues(), std::vector<long>{888});
    EXPECT_EQ(LinkSendChanges(), 0);
    auto items = LastValues();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].id, 5u);
    EXPECT_EQ(items[0].data, (Bytes{1, 2, 0, 0}));
}

TEST_F(OutgoingToMemory, AFailingLineEndsEachMessageWithItsError) {
    const uint8_t one = 1;
    for (size_t okBytes : {0, 20, 24, 28, 32}) { // header, count, id, length, data
        link.port->FailWrites(okBytes, EIO);
        EXPECT_EQ(LinkSetValue(6, &one, 1), 0);
        EXPECT_EQ(LinkSendChanges(), EIO) << okBytes;
        link.port->FailWrites(okBytes, EIO);
        EXPECT_EQ(LinkSendByte(5, 1), EIO) << okBytes;
    }
    link.port->FailWrites(20, EIO);
    EXPECT_EQ(LinkSendRequest(1), EIO);
    EXPECT_EQ(LinkPing(), EIO);
    link.port->FailWrites(SIZE_MAX, 0);
    EXPECT_EQ(LinkSendChanges(), 0); // an entry whose own item failed is no longer pending
    EXPECT_TRUE(LastValues().empty());
}

TEST(LayoutStore, AddressesValuesByPanelControlAndProperty) {
    LinkFixtureServices services;
    EXPECT_EQ(LayoutValueName(5, 256), "0000000500000100");
    EXPECT_FALSE(HasLayoutInt(0, 0));
    EXPECT_EQ(GetLayoutInt(0, 0, -7), -7);
    SetLayoutInt(0, 0, 1);
    SetLayoutInt(1, 0, 2);
    EXPECT_TRUE(HasLayoutInt(0, 0));
    EXPECT_TRUE(HasLayoutInt(1, 0));
    EXPECT_EQ(GetLayoutInt(0, 0, 9), 1);
    EXPECT_EQ(GetLayoutInt(1, 0, 9), 2);
    auto values = services.store.Values();
    EXPECT_EQ((values[{u"Talvex", "0000000000000000"}]), 1);
    EXPECT_EQ((values[{u"Talvex", "0000000100000000"}]), 2);
}

} // namespace
