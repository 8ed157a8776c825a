// The view's pages and layout: the automatic flow into rows and pages, stored positions and pages,
// controls on every page, second rectangles, the panel size and the stored layout's round trip.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "ImagePicture.h"
#include "LayoutProps.h"
#include "Link.h"
#include "ViewHarness.h"
#include "support/GifWriter.h"

namespace {

class ViewLayout : public ViewFixture {
protected:
    // A connected view with the panel laid out in a 640 x 480 client area.
    void Load(const std::u16string& title, const std::vector<Bytes>& definitions) {
        Start();
        Connect();
        LoadPanel(QString::fromStdU16String(title).toStdString(), definitions);
    }
    void ExpectClient640x480() {
        EXPECT_EQ(view->viewport()->size(), QSize(640, 480));
        EXPECT_EQ(view->m_nPanelWidth, 640);
        EXPECT_EQ(view->m_nPanelHeight, 480);
    }
    // A control placed by the device's layout (or the user's) rather than the automatic one.
    static void Place(const std::u16string& panel, uint32_t id, int page, int x = 300,
                      int y = 200) {
        StoreLayout(panel, id, CTRL_PROP_AUTO_LAYOUT, 0);
        StoreLayout(panel, id, CTRL_PROP_PAGE, page);
        StoreLayout(panel, id, CTRL_PROP_X, x);
        StoreLayout(panel, id, CTRL_PROP_Y, y);
    }
    std::pair<bool, bool> Bars() const {
        return {view->horizontalScrollBar()->isVisible(), view->verticalScrollBar()->isVisible()};
    }
    bool ResizeClient(QSize client) {
        frame->resize(frame->size() + client - view->maximumViewportSize());
        return WaitFor([&] { return view->maximumViewportSize() == client; });
    }
};

TEST_F(ViewLayout, TenTextsMakeTwoRowsOfFive) {
    Load(u"Rows", TextPanel(10));
    ExpectClient640x480();
    const int xs[] = {5, 127, 249, 371, 493};
    for (uint32_t id = 1; id <= 10; ++id) {
        const CCtrl& c = Ctrl(id);
        EXPECT_EQ(c.m_nX, xs[(id - 1) % 5]) << id;
        EXPECT_EQ(c.m_nY, id <= 5 ? 5 : 67) << id;
        EXPECT_EQ(c.m_nWidth, 117);
        EXPECT_EQ(c.m_nHeight, 57);
        EXPECT_EQ(c.m_nPage, 0);
    }
    EXPECT_EQ(view->m_nLastPage, 0);
}

TEST_F(ViewLayout, RowsThatDoNotFitGoToTheNextPage) {
    Load(u"Rows", TextPanel(40));
    ExpectClient640x480();
    // Seven rows of 57 fit in 480 - 5.
    EXPECT_EQ(IdsOnPage(0).size(), 35u);
    ASSERT_EQ(IdsOnPage(1).size(), 5u);
    EXPECT_EQ(Ctrl(36).m_nY, 5);
    EXPECT_EQ(Ctrl(36).m_nX, 5);
    EXPECT_EQ(view->m_nLastPage, 1);
}

TEST_F(ViewLayout, TheNewRowFlagStartsARow) {
    Load(u"Rows", {TextDef(1), TextDef(2, CTRLF_NEW_ROW), TextDef(3)});
    EXPECT_EQ(Ctrl(1).m_nX, 5);
    EXPECT_EQ(Ctrl(1).m_nY, 5);
    EXPECT_EQ(Ctrl(2).m_nX, 5);
    EXPECT_EQ(Ctrl(2).m_nY, 67);
    EXPECT_EQ(Ctrl(3).m_nX, 127);
    EXPECT_EQ(Ctrl(3).m_nY, 67);
}

TEST_F(ViewLayout, HiddenControlsTakeNoPlace) {
    StoreLayout(u"Rows", 3, CTRL_PROP_HIDE, 1);
    Load(u"Rows", {TextDef(1), TextDef(2, CTRLF_HIDDEN), TextDef(3), TextDef(4)});
    EXPECT_EQ(Ctrl(1).m_nX, 5);
    EXPECT_EQ(Ctrl(4).m_nX, 127);
    EXPECT_FALSE(view->IsControlVisible(Ctrl(2)));
    EXPECT_FALSE(view->IsControlVisible(Ctrl(3)));
}

TEST_F(ViewLayout, AutomaticControlsStartAfterThePagesAStoredLayoutUses) {
    Place(u"Paged", 1, 0, 300, 200);
    Place(u"Paged", 2, 1);
    Load(u"Paged", TextPanel(4));
    EXPECT_EQ(Ctrl(1).m_nPage, 0);
    EXPECT_EQ(Ctrl(1).m_nX, 300);
    EXPECT_EQ(Ctrl(1).m_nY, 200);
    EXPECT_EQ(Ctrl(2).m_nPage, 1);
    EXPECT_EQ(Ctrl(3).m_nPage, 2);
    EXPECT_EQ(Ctrl(4).m_nPage, 2);
    EXPECT_EQ(Ctrl(3).m_nY, 5);
    EXPECT_EQ(Ctrl(4).m_nY, 5);
    EXPECT_EQ(view->m_nLastPage, 2);
}

TEST_F(ViewLayout, AutomaticControlsStayOnTheirPageWhenTheLayoutIsSaved) {
    Load(u"Auto", TextPanel(10));
    for (int round = 0; round < 3; ++round) {
        view->SaveLayout();
        view->Relayout(true, false);
        EXPECT_EQ(IdsOnPage(0).size(), 10u) << round;
        EXPECT_EQ(view->m_nLastPage, 0) << round;
    }
}

TEST_F(ViewLayout, PageMinusOneIsOnEveryPageAndAddsNone) {
    Place(u"Every", 1, -1, 400, 300);
    Place(u"Every", 2, 1);
    Load(u"Every", {Definition('I', 0, 1, {}), TextDef(2), TextDef(3)});
    EXPECT_EQ(Ctrl(3).m_nPage, 0); // page -1 reserves no page
    EXPECT_EQ(view->m_nLastPage, 1);
    EXPECT_TRUE(Ctrl(1).m_bImageShown);
    view->OnCommand(ID_NEXT_PAGE);
    EXPECT_EQ(view->m_nCurPage, 1);
    EXPECT_TRUE(Ctrl(1).m_bImageShown);
}

TEST_F(ViewLayout, PageMinusOneAloneKeepsASinglePage) {
    Place(u"Every", 1, -1, 400, 300);
    Load(u"Every", {Definition('I', 0, 1, {}), TextDef(2)});
    EXPECT_EQ(view->m_nLastPage, 0);
    EXPECT_TRUE(Ctrl(1).m_bImageShown);
}

TEST_F(ViewLayout, AnOpenSectionOrALoggedInPasswordUsesItsSecondRectangle) {
    for (uint32_t id : {1u, 2u, 3u}) {
        Place(u"Second", id, 0, 10, 20);
        StoreLayout(u"Second", id, CTRL_PROP_WIDTH, 30);
        StoreLayout(u"Second", id, CTRL_PROP_HEIGHT, 40);
        StoreLayout(u"Second", id, CTRL_PROP_X + CTRL_PROP_SECOND, 11);
        StoreLayout(u"Second", id, CTRL_PROP_Y + CTRL_PROP_SECOND, 22);
        StoreLayout(u"Second", id, CTRL_PROP_WIDTH + CTRL_PROP_SECOND, 33);
        StoreLayout(u"Second", id, CTRL_PROP_HEIGHT + CTRL_PROP_SECOND, 44);
        StoreLayout(u"Second", id, CTRL_PROP_PAGE + CTRL_PROP_SECOND, 2);
    }
    Load(u"Second", {Definition('S', 0, 1, {1}), Definition('S', 0, 2, {0}),
                     Definition('P', 0, 3, {1}), TextDef(4)});
    EXPECT_EQ(CTalvex22View::EffectivePage(Ctrl(1)), 2);
    EXPECT_EQ(CTalvex22View::EffectivePage(Ctrl(2)), 0);
    EXPECT_EQ(CTalvex22View::EffectivePage(Ctrl(3)), 2);
    EXPECT_EQ(Ctrl(1).m_rcCache, (std::array<int, 4>{11, 22, 33, 44}));
    EXPECT_EQ(Ctrl(2).m_rcCache, (std::array<int, 4>{10, 20, 30, 40}));
    EXPECT_EQ(Ctrl(3).m_rcCache, (std::array<int, 4>{11, 22, 33, 44}));
    // Pages 0 and 2 are taken: the automatic layout uses page 1.
    EXPECT_EQ(Ctrl(4).m_nPage, 1);
    EXPECT_EQ(view->m_nLastPage, 2);
}

TEST_F(ViewLayout, APanelLargerThanTheDesktopGets480By320) {
    StoreLayout(u"Huge", 0, PANEL_PROP_WIDTH, 5000);
    StoreLayout(u"Huge", 0, PANEL_PROP_HEIGHT, 5000);
    Load(u"Huge", TextPanel(10));
    EXPECT_TRUE(WaitFor([&] { return view->viewport()->size() == QSize(480, 320); }))
        << view->viewport()->width() << " x " << view->viewport()->height();
    auto fits = [&] {
        for (const auto& c : view->Controls())
            if (c->m_nX + c->m_nWidth > 480) return false;
        return true;
    };
    EXPECT_TRUE(fits());
    view->OnCommand(ID_DEFAULT_LAYOUT);
    EXPECT_TRUE(fits());
}

TEST_F(ViewLayout, ResizingTheWindowIsRemembered) {
    Load(u"Sized", TextPanel(10));
    for (QSize client : {QSize(700, 500), QSize(740, 520)}) {
        frame->resize(frame->size() + client - view->viewport()->size());
        ASSERT_TRUE(WaitFor([&] { return view->viewport()->size() == client; }));
        EXPECT_EQ(StoredLayout(u"Sized", 0, PANEL_PROP_WIDTH, 0), client.width());
        EXPECT_EQ(StoredLayout(u"Sized", 0, PANEL_PROP_HEIGHT, 0), client.height());
        EXPECT_EQ(view->m_nPanelWidth, client.width());
        EXPECT_EQ(view->m_nPanelHeight, client.height());
    }
    // Six texts fit a row now.
    EXPECT_EQ(Ctrl(6).m_nY, 5);
    // A new layout pass keeps the size the user gave the window.
    ASSERT_TRUE(SendDefinition(TextPanel(10)));
    EXPECT_EQ(view->viewport()->size(), QSize(740, 520));
}

TEST_F(ViewLayout, AWindowSmallerThanThePanelScrolls) {
    Place(u"Scroll", 1, 0, 600, 400); // reaches 722 x 462 with its margin
    Load(u"Scroll", TextPanel(2));
    EXPECT_EQ(Bars(), std::pair(true, false));
    ASSERT_TRUE(ResizeClient(QSize(300, 200)));
    EXPECT_EQ(Bars(), std::pair(true, true));
    // The layout keeps the window's whole area, scroll bars or not.
    EXPECT_EQ(view->m_nPanelWidth, 300);
    EXPECT_EQ(Ctrl(1).m_nX, 600);
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
    EXPECT_EQ(view->Panel()->geometry().bottom() + 1, view->viewport()->height());
    ASSERT_TRUE(ResizeClient(QSize(800, 500)));
    EXPECT_EQ(Bars(), std::pair(false, false));
    // A device's position far outside any screen gives a bounded panel.
    peer.WriteFrame(19, 0, Payload().U32(1).U32(1).U32(CTRL_PROP_X).U32(0x7FFFFFF0));
    ASSERT_TRUE(WaitFor([&] { return Ctrl(1).m_nX == 1 << 15; }));
    EXPECT_LE(view->Panel()->minimumWidth(), 1 << 15);
}

TEST_F(ViewLayout, AHugeTiledPictureFromLayoutRecordsIsBoundedAndPaintsWhatIsExposed) {
    Place(u"Huge", 1, 0, 0, 0);
    StoreLayout(u"Huge", 1, CTRL_PROP_WIDTH, 1'000'000'000);
    StoreLayout(u"Huge", 1, CTRL_PROP_HEIGHT, 1'000'000'000);
    StoreLayout(u"Huge", 1, CTRL_PROP_IMAGE_ALIGN_X, IMAGE_TILE);
    StoreLayout(u"Huge", 1, CTRL_PROP_ALIGN, IMAGE_TILE);
    GifSpec dot;
    dot.width = dot.height = 1;
    dot.globalTable = {0xFF0000};
    dot.pixels = {0};
    const GifBytes file = EncodeGif(dot);
    Load(u"Huge", {Definition('I', 0, 1, Bytes(file.begin(), file.end()))});
    EXPECT_EQ(Ctrl(1).m_rcCache, (std::array<int, 4>{0, 0, 1 << 15, 1 << 15}));
    EXPECT_EQ(view->viewport()->grab().toImage().pixel(300, 200), 0xFFFF0000u);
}

TEST_F(ViewLayout, AroundAPictureAndForARefusedOneThePanelBackgroundShows) {
    Place(u"Around", 1, 0, 100, 100);
    StoreLayout(u"Around", 1, CTRL_PROP_IMAGE_ALIGN_X, IMAGE_CENTRE);
    StoreLayout(u"Around", 1, CTRL_PROP_ALIGN, IMAGE_CENTRE);
    Place(u"Around", 2, 0, 300, 100);
    GifSpec dot;
    dot.width = dot.height = 4;
    dot.globalTable = {0x0000FF};
    dot.pixels.assign(16, 0);
    const GifBytes file = EncodeGif(dot);
    const Attr red{'c', U32Bytes(0x0000FF)};
    Load(u"Around", {Definition('I', 0, 1, Bytes(file.begin(), file.end()), {red}),
                     Definition('I', 0, 2, {1, 2, 3}, {red})});
    ASSERT_TRUE(Ctrl(1).m_pBitmap && !Ctrl(1).m_pBitmap->isNull());
    const QImage shot = view->viewport()->grab().toImage();
    const QRgb background = shot.pixel(630, 470);
    const auto& pictured = Ctrl(1).m_rcCache;
    const auto& refused = Ctrl(2).m_rcCache;
    EXPECT_EQ(shot.pixel(pictured[0] + pictured[2] / 2, pictured[1] + pictured[3] / 2),
              0xFF0000FFu);
    EXPECT_EQ(shot.pixel(pictured[0] + 1, pictured[1] + pictured[3] - 2), background);
    EXPECT_EQ(shot.pixel(refused[0], refused[1] + refused[3] - 1), background); // no frame
    EXPECT_EQ(shot.pixel(refused[0] + refused[2] / 2, refused[1] + refused[3] - 2), background);
}

TEST_F(ViewLayout, TheDevicesLayoutRecordsPlaceTheControls) {
    Load(u"Recommended", TextPanel(3));
    QSignalSpy laidOut(view, &CTalvex22View::PanelLaidOut);
    peer.WriteFrame(19, 0,
                    Payload()
                        .U32(3)
                        .U32(2)
                        .U32(CTRL_PROP_X)
                        .U32(250)
                        .U32(2)
                        .U32(CTRL_PROP_Y)
                        .U32(150)
                        .U32(2)
                        .U32(CTRL_PROP_PAGE)
                        .U32(0));
    ASSERT_TRUE(laidOut.wait(5000));
    EXPECT_EQ(Ctrl(2).m_nX, 250);
    EXPECT_EQ(Ctrl(2).m_nY, 150);
    EXPECT_EQ(Ctrl(1).m_nX, 5);
    EXPECT_EQ(Ctrl(1).m_nPage, 1); // page 0 belongs to the device's layout now
}

TEST_F(ViewLayout, DefaultLayoutForgetsStoredPositions) {
    Place(u"Reset", 1, 1, 300, 200);
    Load(u"Reset", TextPanel(2));
    ASSERT_EQ(Ctrl(1).m_nPage, 1);
    view->OnCommand(ID_DEFAULT_LAYOUT);
    EXPECT_EQ(Ctrl(1).m_nX, 5);
    EXPECT_EQ(Ctrl(1).m_nPage, 0);
    EXPECT_EQ(Ctrl(2).m_nX, 127);
    EXPECT_EQ(view->m_nLastPage, 0);
    EXPECT_EQ(StoredLayout(u"Reset", 1, CTRL_PROP_AUTO_LAYOUT, -1), 1);
}

TEST_F(ViewLayout, DefaultLayoutHoldsWhenTheScrollBarsItMadeNeedlessGo) {
    Place(u"Small", 1, 0, 600, 400);
    Load(u"Small", TextPanel(2));
    ASSERT_TRUE(ResizeClient(QSize(300, 200)));
    ASSERT_EQ(Bars(), std::pair(true, true));
    view->OnCommand(ID_DEFAULT_LAYOUT);
    EXPECT_EQ(Bars(), std::pair(false, false));
    EXPECT_EQ(Ctrl(1).m_nX, 5);
    EXPECT_EQ(Ctrl(1).m_nY, 5);
    EXPECT_EQ(StoredLayout(u"Small", 1, CTRL_PROP_AUTO_LAYOUT, -1), 1);
    EXPECT_EQ(StoredLayout(u"Small", 1, CTRL_PROP_X, -1), 5);
}

TEST_F(ViewLayout, DefaultLayoutFillsPagesFromTheFirst) {
    Place(u"Paged", 1, 0);
    Place(u"Paged", 2, 1);
    Load(u"Paged", TextPanel(4));
    ASSERT_EQ(view->m_nLastPage, 2);
    view->OnCommand(ID_DEFAULT_LAYOUT);
    EXPECT_EQ(IdsOnPage(0), (std::vector<uint32_t>{1, 2, 3, 4}));
    EXPECT_EQ(view->m_nLastPage, 0);
    // And so it stays when the stored layout is loaded again.
    view->Relayout(true, false);
    EXPECT_EQ(IdsOnPage(0).size(), 4u);
}

TEST_F(ViewLayout, AResizeBeforeThePanelIsLiveStoresNothing) {
    StoreLayout(u"Pinger", 0, PANEL_PROP_PING_SECONDS, 4);
    StoreLayout(u"Pinger", 0, PANEL_PROP_WIDTH, 640);
    Start();
    Connect();
    device.Info("Pinger");
    ASSERT_TRUE(WaitFor([&] { return frame->windowTitle() == QStringLiteral("Pinger"); }));
    // Connecting: the panel's values are not loaded yet, so none may be written over.
    const QSize client(700, 500);
    frame->resize(frame->size() + client - view->viewport()->size());
    ASSERT_TRUE(WaitFor([&] { return view->viewport()->size() == client; }));
    EXPECT_EQ(StoredLayout(u"Pinger", 0, PANEL_PROP_PING_SECONDS, -1), 4);
    EXPECT_EQ(StoredLayout(u"Pinger", 0, PANEL_PROP_WIDTH, -1), 640);
    ASSERT_TRUE(SendDefinition(TextPanel(2)));
    EXPECT_EQ(view->PingTimerInterval(), 4000);
}

TEST_F(ViewLayout, SaveAndLoadRoundTrip) {
    Load(u"Trip", {TextDef(1), Definition('S', 0, 2, {0}), Definition('I', 0, 3, {})});
    CCtrl& text = *view->Controls()[0];
    CCtrl& section = *view->Controls()[1];
    CCtrl& image = *view->Controls()[2];
    view->SetPing(true, 7);
    view->m_nPanelWidth = 600;
    view->m_nPanelHeight = 400;
    view->m_bSwitchA = false;
    view->m_bSwitchB = true;
    view->m_bResizable = true;
    text.m_bAutoLayout = 0;
    text.m_nX = 11;
    text.m_nY = 12;
    text.m_nWidth = 13;
    text.m_nHeight = 14;
    text.m_nPage = 1;
    text.m_nStyle = 1;
    text.SetFontSize(30, true);
    text.SetTitleFont(15, false);
    text.m_bBorder = 1;
    text.m_bShowTitle = 1;
    text.m_nAlign = 2;
    section.m_bAutoLayout = 0;
    section.m_nX2 = 21;
    section.m_nY2 = 22;
    section.m_nWidth2 = 23;
    section.m_nHeight2 = 24;
    section.m_nPage2 = 3;
    image.m_bAutoLayout = 0;
    image.m_nAlign = 1;
    view->SaveLayout();

    EXPECT_EQ(settings.Raw("Trip/0000000100000100").toInt(), 11);
    EXPECT_EQ(settings.Raw("Trip/0000000000000300").toInt(), 7);
    EXPECT_EQ(settings.Raw("Trip/0000000000000800").toInt(), 600);
    EXPECT_EQ(settings.Raw("Trip/0000000000000400").toInt(), 400);
    EXPECT_EQ(settings.Raw("Trip/0000000000000100").toInt(), 1); // switch A off
    EXPECT_EQ(settings.Raw("Trip/0000000000000200").toInt(), 0);
    EXPECT_EQ(settings.Raw("Trip/0000000000001000").toInt(), 0);
    EXPECT_EQ(settings.Raw("Trip/0000000100000170").toInt(), 1); // bold as 0/1
    StoreLayout(u"Trip", 3, CTRL_PROP_IMAGE_ALIGN_X, 2);

    view->SetPing(false, 3);
    view->m_nPanelWidth = view->m_nPanelHeight = 1;
    view->m_bSwitchA = true;
    view->m_bSwitchB = false;
    for (CCtrl* c : {&text, &section, &image}) {
        c->m_nX = c->m_nY = c->m_nWidth = c->m_nHeight = c->m_nPage = -5;
        c->m_nX2 = c->m_nY2 = c->m_nWidth2 = c->m_nHeight2 = c->m_nPage2 = -5;
        c->m_nStyle = 0;
        c->m_bBorder = c->m_bShowTitle = 0;
        c->m_nAlign = 0;
        c->SetFontSize(8, false);
        c->SetTitleFont(8, true);
    }
    view->LoadLayout();

    EXPECT_TRUE(view->m_bPingOn);
    EXPECT_EQ(view->m_nPingSeconds, 7);
    EXPECT_EQ(view->PingTimerInterval(), 7000);
    EXPECT_EQ(view->m_nPanelWidth, 600);
    EXPECT_EQ(view->m_nPanelHeight, 400);
    EXPECT_FALSE(view->m_bSwitchA);
    EXPECT_TRUE(view->m_bSwitchB);
    EXPECT_TRUE(view->m_bResizable);
    EXPECT_EQ(text.m_bAutoLayout, 0);
    EXPECT_EQ((std::array{text.m_nX, text.m_nY, text.m_nWidth, text.m_nHeight, text.m_nPage}),
              (std::array{11, 12, 13, 14, 1}));
    EXPECT_EQ(text.m_nStyle, 1);
    EXPECT_EQ(text.GetFontSize(), 30);
    EXPECT_TRUE(text.GetFontBold());
    EXPECT_EQ(text.GetTitleFontSize(), 15);
    EXPECT_FALSE(text.GetTitleBold());
    EXPECT_EQ(text.m_bBorder, 1);
    EXPECT_EQ(text.m_bShowTitle, 1);
    EXPECT_EQ(text.m_nAlign, 2);
    EXPECT_EQ((std::array{section.m_nX2, section.m_nY2, section.m_nWidth2, section.m_nHeight2,
                          section.m_nPage2}),
              (std::array{21, 22, 23, 24, 3}));
    EXPECT_EQ(image.m_nImageAlignY, 1);
    EXPECT_EQ(image.m_nImageAlignX, 2);
}

TEST_F(ViewLayout, AControlBackOnAutomaticIgnoresItsStoredPlace) {
    Place(u"Auto", 1, 0, 300, 200);
    StoreLayout(u"Auto", 1, CTRL_PROP_AUTO_LAYOUT, 1);
    Load(u"Auto", TextPanel(2));
    EXPECT_EQ(Ctrl(1).m_nX, 5);
    EXPECT_EQ(Ctrl(1).m_nPage, 0);
    EXPECT_EQ(view->m_nLastPage, 0);
}

TEST_F(ViewLayout, APanelTitleWithSeparatorsIsOneSection) {
    Load(u"Lab/Bench\\2", TextPanel(2));
    view->SaveLayout();
    const QString group = SettingsLayoutStore::GroupName(u"Lab/Bench\\2");
    EXPECT_TRUE(settings.Groups().contains(group)) << settings.Groups().join('|').toStdString();
    EXPECT_FALSE(settings.Groups().contains(QStringLiteral("Lab")));
    EXPECT_EQ(StoredLayout(u"Lab/Bench\\2", 0, PANEL_PROP_LAYOUT_REQUESTED, 0), 1);
    EXPECT_EQ(StoredLayout(u"Lab/Bench\\2", 2, CTRL_PROP_X, 0), 127);
}

TEST(LayoutStore, ABurstOfChangesIsWrittenToTheFileOnce) {
    TempSettings settings;
    SettingsLayoutStore store(20);
    for (int value = 1; value <= 3; ++value) { // as a connect makes them: between events
        store.SetInt(u"Burst", "0000000000000001", value);
        QCoreApplication::processEvents();
    }
    QTRY_COMPARE(store.Writes(), 1);
    EXPECT_EQ(settings.Raw(QStringLiteral("Burst/0000000000000001")).toInt(), 3);
}

} // namespace
