// A control's widgets are made when its page is first shown: what the device and the user did to
// it before is there when it is, and window ids, names and the tab order are those of a panel
// made at once.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "CtrlWidgets.h"
#include "Frame.h"
#include "LayoutProps.h"
#include "ViewHarness.h"

namespace {

const std::u16string kPanel = u"Pages";

Bytes Named(uint32_t id, char letter, uint32_t flags, const Bytes& value, std::string_view name) {
    return Definition(letter, flags, id, value, {{'Z', AnsiZ(name)}, {'m', U32Bytes(16)}});
}

Bytes Attributes(uint32_t flags, uint32_t colour) {
    Bytes b = U32Bytes(flags);
    const Bytes c = U32Bytes(colour);
    b.insert(b.end(), c.begin(), c.end());
    return b;
}

class PageWidgets : public ViewFixture {
protected:
    // `first` on page 0 with 34 texts after it (a full page), then `later`, from id 36 on, on
    // page 1.
    void Load(const Bytes& first, const std::vector<Bytes>& later) {
        std::vector<Bytes> definitions{first};
        for (const Bytes& d : TextPanel(34, 2)) definitions.push_back(d);
        definitions.insert(definitions.end(), later.begin(), later.end());
        Start();
        Connect();
        LoadPanel(QString::fromStdU16String(kPanel).toStdString(), definitions);
        ASSERT_EQ(Ctrl(36).m_nPage, 1);
    }
    CCtrl& Get(uint32_t id) { return const_cast<CCtrl&>(Ctrl(id)); }
    // The control whose widget (or a part of it) has the focus; 0 for none.
    uint32_t FocusedControl() const {
        QWidget* w = QApplication::focusWidget();
        while (w && w->parentWidget() != view->Panel()) w = w->parentWidget();
        const CCtrl* c = view->FindOwner(w);
        return c ? c->m_nId : 0;
    }
};

TEST_F(PageWidgets, WhatHappenedToAControlBeforeItsPageWasShownIsThereWhenItIs) {
    Load(Definition('G', 0, 1, {0}, {{'r', U32Bytes(3)}}),
         {Named(36, 'T', 0, AnsiZ("old"), "Reading"),
          Definition('G', 0, 37, {255}, {{'r', U32Bytes(3)}}), Named(38, 'B', 0, {0}, "Paint"),
          Named(39, 'T', 0, AnsiZ("gone"), "Hidden"),
          Definition('X', 0, 40, AnsiZ("Still asked?"), {{'m', U32Bytes(16)}})});
    ASSERT_EQ(IdsOnPage(1), (std::vector<uint32_t>{36, 37, 38, 39}));
    EXPECT_EQ(Ctrl(36).m_pValueText, nullptr) << "made before its page is shown";
    bool asked = false;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
            asked = asked || box->text() == QStringLiteral("Still asked?");
    EXPECT_TRUE(asked);

    peer.WriteFrame(MSG_DEVICE_VALUES, 0, ItemList({{36, AnsiZ("new")}}));
    peer.WriteFrame(MSG_ATTRIBUTES, 0,
                    ItemList({{38, Attributes(CTRLF_COLOUR_PRESENT, 0x0000FF)},
                              {39, Attributes(CTRLF_HIDDEN, 0)}}));
    ASSERT_TRUE(WaitFor([&] {
        return Ctrl(36).m_strText == QStringLiteral("new") && (Ctrl(39).m_dwFlags & CTRLF_HIDDEN);
    }));
    Get(1).m_pButton->click(); // on: the group's latch on the next page goes off
    EXPECT_EQ(Ctrl(37).m_bValue, 0);

    view->OnCommand(ID_NEXT_PAGE);
    ASSERT_NE(Ctrl(36).m_pValueText, nullptr);
    EXPECT_EQ(Ctrl(36).m_pValueText->text(), QStringLiteral("new"));
    EXPECT_TRUE(Ctrl(36).m_pValueText->isVisible());
    EXPECT_FALSE(Ctrl(37).m_pCheck->isChecked());
    EXPECT_FALSE(Ctrl(37).m_pButton->font().bold());
    EXPECT_EQ(Ctrl(38).m_pButton->palette().color(QPalette::Button), QColor(255, 0, 0));
    EXPECT_TRUE(Ctrl(38).m_pButton->isVisible());
    EXPECT_TRUE(!Ctrl(39).m_pValueText || !Ctrl(39).m_pValueText->isVisible());
}

TEST_F(PageWidgets, TabOrderNamesAndWindowIdsFollowTheArrayWhereverAControlWasFirstShown) {
    // The last control is on every page: its widgets are made with the first page's.
    StoreLayout(kPanel, 41, CTRL_PROP_AUTO_LAYOUT, 0);
    StoreLayout(kPanel, 41, CTRL_PROP_PAGE, -1);
    StoreLayout(kPanel, 41, CTRL_PROP_X, 500);
    StoreLayout(kPanel, 41, CTRL_PROP_Y, 400);
    Load(Named(1, 'B', 0, {0}, "Start"),
         {Named(36, 'B', 0, {0}, "First"), Named(37, 'T', CTRLF_EDITABLE, AnsiZ(""), "Entry"),
          Definition('L', 0, 38, U32Bytes(0), {{'n', U32Bytes(1)}, {'I', Bytes{'a', 0}}}),
          Named(39, 'N', 0, U32Bytes(4), "Count"), Named(40, 'B', 0, {0}, "Last"),
          Named(41, 'B', 0, {0}, "Everywhere")});
    ASSERT_NE(Ctrl(41).m_pButton, nullptr);
    view->OnCommand(ID_NEXT_PAGE);
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));

    Get(36).m_pButton->setFocus();
    std::vector<uint32_t> order{FocusedControl()};
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order.push_back(FocusedControl());
    }
    EXPECT_EQ(order, (std::vector<uint32_t>{36, 37, 38, 40, 41}));
    EXPECT_EQ(Ctrl(37).m_pEdit->accessibleName(), QStringLiteral("Entry"));

    // As at creation: the first id is the record's, the others follow it without a gap.
    for (uint32_t id = 36; id <= 40; ++id)
        EXPECT_EQ(WindowIdOf(Ctrl(id).m_pTitle) + 1, Ctrl(id + 1).m_nWndId) << id;
    EXPECT_EQ(WindowIdOf(Ctrl(38).m_pDropList), Ctrl(38).m_nWndId + 1); // after the list box's
    EXPECT_EQ(WindowIdOf(Ctrl(39).m_pValueText), Ctrl(39).m_nWndId);
}

} // namespace
