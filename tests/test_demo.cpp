// The built-in demo device through the real view, as a person first sees it.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFontMetrics>
#include <QLabel>
#include <QSignalSpy>

#include "CtrlWidgetList.h"
#include "DemoPanel.h"
#include "SimPorts.h"
#include "ViewHarness.h"

namespace {

// Room a push button's frame and padding take from its caption.
constexpr int kButtonPadding = 8;

class Demo : public ViewFixture {
protected:
    // Connects to the demo device and waits for its recommended layout.
    void ConnectToDemo() {
        ASSERT_NO_FATAL_FAILURE(StartOnSim(LoadDemoPanel()));
        QSignalSpy laidOut(view, &CTalvex22View::PanelLaidOut);
        view->OnCommand(ID_CONNECT);
        // Laid out for the panel, then again for the layout it recommends.
        ASSERT_TRUE(WaitFor([&] { return laidOut.count() >= 2; }));
    }
};

// The text a widget shows and the width it has for it; empty for other widgets.
QString TextOf(const QWidget* w, int& room) {
    if (auto* button = qobject_cast<const QAbstractButton*>(w)) {
        room = w->width() - kButtonPadding;
        return button->text();
    }
    if (auto* label = qobject_cast<const QLabel*>(w)) {
        room = label->contentsRect().width();
        return label->text();
    }
    return {};
}

TEST_F(Demo, EveryCaptionAndTitleFitsItsControlAndValuesCarryTheirTitles) {
    ConnectToDemo();
    ASSERT_GE(view->m_nLastPage, 1);
    int checked = 0, charts = 0;
    for (int page = 0; page <= view->m_nLastPage; ++page) {
        view->m_nCurPage = page;
        view->ShowPage();
        for (const auto& c : view->Controls()) {
            ForEachWidget(*c, [&](const QWidget* w) {
                int room = 0;
                const QString text = TextOf(w, room);
                if (w->isHidden() || text.isEmpty()) return;
                ++checked;
                EXPECT_LE(QFontMetrics(w->font()).horizontalAdvance(text), room)
                    << "\"" << text.toStdString() << "\" of " << c->m_strName.toStdString()
                    << " on page " << page + 1;
            });
            if (CTalvex22View::EffectivePage(*c) != page || !view->IsControlVisible(*c)) continue;
            // A control whose body does not carry its name shows it as a title.
            const bool named =
                c->m_pButton && !c->m_pButton->isHidden() && c->m_pButton->text() == c->m_strName;
            if (c->m_nType != TYPE_IMAGE && !named) {
                EXPECT_TRUE(c->m_pTitle && !c->m_pTitle->isHidden()) << c->m_strName.toStdString();
            }
            if (page == 0 && c->m_pChart && !c->m_pChart->isHidden()) ++charts;
        }
    }
    EXPECT_GT(checked, 20);
    EXPECT_EQ(charts, 1) << "the first page charts the temperatures";
}

} // namespace
