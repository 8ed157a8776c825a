// Pages and layout: the flow layout into rows and pages, the stored per-panel layout, paging.
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <set>
#include <vector>

#include "Ctrl.h"
#include "LayoutProps.h"
#include "Link.h"
#include "MainFrame.h"
#include "StaleVeil.h"
#include "Talvex22View.h"

namespace {

bool HasPanelName() {
    return !LinkGetTitle().empty();
}

// A stored position or size, bounded like the panel's extent: layout records come from the device.
int StoredPlace(uint32_t id, uint32_t property, int def) {
    return std::clamp(GetLayoutInt(id, property, def), -CTalvex22View::kMaxExtent,
                      CTalvex22View::kMaxExtent);
}

bool HasSecondRect(const CCtrl& c) {
    return c.m_nType == TYPE_SECTION || c.m_nType == TYPE_PASSWORD;
}

void DefaultSize(CCtrl& c) {
    bool editable = c.m_dwFlags & CTRLF_EDITABLE;
    int width = 117, height = 57;
    switch (c.m_nType) {
    case TYPE_TEXT:
        height = editable ? 38 : 57;
        break;
    case TYPE_NUMBER:
        height = editable && (c.m_nStyle == 0 || c.m_nStyle == 1) ? 38 : 57;
        break;
    case TYPE_PASSWORD:
        width = 239;
        height = 38;
        break;
    case TYPE_LIST:
        height = c.m_nStyle == 1 ? 57 : 38;
        break;
    case TYPE_IMAGE:
        return;
    default:
        break;
    }
    c.m_nWidth = width;
    c.m_nHeight = height;
}

} // namespace

bool CTalvex22View::IsControlVisible(const CCtrl& c) const {
    if (GetLayoutInt(c.m_nId, CTRL_PROP_HIDE, 0) != 0) return false;
    return (c.m_dwFlags & CTRLF_HIDDEN) == 0;
}

int CTalvex22View::EffectivePage(const CCtrl& c) {
    return HasSecondRect(c) && c.m_bValue ? c.m_nPage2 : c.m_nPage;
}

bool CTalvex22View::IsControlShown(const CCtrl& c) const {
    const int page = EffectivePage(c);
    // The page first: the stored layout is asked only about the page's controls.
    return (page == m_nCurPage || page == -1) && IsControlVisible(c);
}

void CTalvex22View::ShowPage() {
    viewport()->update();
    m_pPanel->update();
    // A control's widgets are made when it is first shown; in the tab order they come after
    // those of the controls before it in the array, wherever these were shown first.
    QWidget* tabAfter = nullptr;
    bool made = false;
    for (auto& c : m_pCtrls) {
        const bool shown = IsControlShown(*c);
        if (shown && m_pWidgets->MakeWidgets(*c, tabAfter)) made = true;
        ShowControl(*c, shown);
        if (QWidget* last = m_pWidgets->LastInTabOrder(*c)) tabAfter = last;
    }
    // Made on a kept panel whose device has not answered yet: greyed like the others.
    if (made && m_pVeil->isVisible()) m_pVeil->Cover(true);
    FitPanelToPage();
    m_pWidgets->Reveal();
    UpdateCommandStates();
}

void CTalvex22View::FitPanelToPage() {
    qint64 right = 0, bottom = 0;
    for (auto& c : m_pCtrls) {
        if (c->m_nType == TYPE_MESSAGEBOX || !IsControlShown(*c)) continue;
        const auto& r = c->m_rcCache;
        if (r[2] < 0 || r[3] < 0) continue;
        right = std::max(right, qint64(r[0]) + r[2] + m_nMargin);
        bottom = std::max(bottom, qint64(r[1]) + r[3] + m_nMargin);
    }
    m_pPanel->setMinimumSize(int(std::clamp<qint64>(right, 0, kMaxExtent)),
                             int(std::clamp<qint64>(bottom, 0, kMaxExtent)));
    // The scroll bars follow now, not when the window is next resized.
    QEvent request(QEvent::LayoutRequest);
    QCoreApplication::sendEvent(this, &request);
}

void CTalvex22View::Relayout(bool loadStored, bool resizeFrame) {
    // The panel covers the viewport: it is what must be drawn again, also when it was emptied.
    viewport()->update();
    m_pPanel->update();
    if (resizeFrame) {
        if (HasPanelName()) {
            m_nPanelWidth = GetLayoutInt(0, PANEL_PROP_WIDTH, m_nPanelWidth);
            m_nPanelHeight = GetLayoutInt(0, PANEL_PROP_HEIGHT, m_nPanelHeight);
        }
        QScreen* screen = QGuiApplication::primaryScreen();
        QRect desktop = screen ? screen->availableGeometry() : QRect(0, 0, 1 << 16, 1 << 16);
        if (desktop.width() < m_nPanelWidth || desktop.height() < m_nPanelHeight) {
            m_nPanelWidth = 480;
            m_nPanelHeight = 320;
        }
        m_pFrame->SetClientSize(m_nPanelWidth, m_nPanelHeight);
    }
    if (!m_bConnected || m_pCtrls.empty()) {
        FitPanelToPage();
        UpdateCommandStates();
        return;
    }

    // The area the window really has: m_nPanelWidth may hold a stored size it could not get.
    const QRect client(QPoint(0, 0), ClientSize());
    if (HasPanelName())
        for (auto& c : m_pCtrls) c->m_nStyle = GetLayoutInt(c->m_nId, CTRL_PROP_STYLE, c->m_nStyle);
    for (auto& c : m_pCtrls) {
        c->SetFontSize(20, false);
        DefaultSize(*c);
    }
    AutoLayout(client.adjusted(0, 0, 0, -m_nMargin), loadStored);
    for (auto& c : m_pCtrls) {
        c->m_nX2 = c->m_nX;
        c->m_nY2 = c->m_nY;
        c->m_nWidth2 = c->m_nWidth;
        c->m_nHeight2 = c->m_nHeight;
        c->m_nPage2 = c->m_nPage;
    }
    if (loadStored) LoadLayout();
    for (auto& c : m_pCtrls) {
        if (c->m_nType == TYPE_MESSAGEBOX) c->m_nPage = 0;
        PlaceControl(*c);
    }
    m_nLastPage = 0;
    for (auto& c : m_pCtrls) m_nLastPage = std::max(m_nLastPage, EffectivePage(*c));
    if (m_nCurPage > m_nLastPage) m_nCurPage = m_nLastPage;
    ShowPage();
}

void CTalvex22View::AutoLayout(const QRect& rect, bool storedPages) {
    const int n = int(m_pCtrls.size());
    // Automatic rows never share a page that a stored layout uses. Every save stores a page for
    // automatic controls too; only controls placed by a stored layout claim theirs, and only
    // when that layout is to be loaded.
    std::set<int> stored;
    for (auto& c : m_pCtrls) {
        if (!storedPages) break;
        if (GetLayoutInt(c->m_nId, CTRL_PROP_AUTO_LAYOUT, 1) != 0) continue;
        stored.insert(GetLayoutInt(c->m_nId, CTRL_PROP_PAGE, -1));
        if (HasSecondRect(*c))
            stored.insert(GetLayoutInt(c->m_nId, CTRL_PROP_PAGE + CTRL_PROP_SECOND, -1));
    }
    int page = 0;
    while (stored.count(page)) ++page;
    // Asked of each control once: the stored layout is slow to read by the ten thousand.
    std::vector<char> placeableAt(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k)
        placeableAt[size_t(k)] =
            m_pCtrls[k]->m_nType != TYPE_MESSAGEBOX && IsControlVisible(*m_pCtrls[k]);
    auto placeable = [&](int k) { return placeableAt[size_t(k)] != 0; };
    const int right = rect.x() + rect.width();
    const int bottom = rect.y() + rect.height();
    int y = 0, k = 0;
    while (k < n) {
        const int first = k;
        int x = m_nMargin, rowHeight = 0;
        do {
            CCtrl& c = *m_pCtrls[k];
            if (placeable(k)) {
                rowHeight = std::max(rowHeight, c.m_nHeight);
                c.m_nX = x;
                x += c.m_nWidth + m_nMargin;
            }
            do ++k;
            while (k < n && !placeable(k));
        } while (k < n && right >= x + m_nMargin + m_pCtrls[k]->m_nWidth &&
                 !(m_pCtrls[k]->m_dwFlags & CTRLF_NEW_ROW));
        if (y > 0 && bottom < rowHeight + y + 2 * m_nMargin) {
            y = 0;
            ++page;
        }
        for (int i = first; i < k; ++i) {
            m_pCtrls[i]->m_nY = y + m_nMargin;
            m_pCtrls[i]->m_nPage = page;
        }
        y += rowHeight + m_nMargin;
    }
}

void CTalvex22View::LoadLayout() {
    if (!HasPanelName()) return;
    int ping = GetLayoutInt(0, PANEL_PROP_PING_SECONDS, m_bPingOn ? m_nPingSeconds : 0);
    if (ping != 0)
        SetPing(true, ping);
    else
        SetPing(false, 3);
    m_nPanelWidth = GetLayoutInt(0, PANEL_PROP_WIDTH, m_nPanelWidth);
    m_nPanelHeight = GetLayoutInt(0, PANEL_PROP_HEIGHT, m_nPanelHeight);
    m_bSwitchA = GetLayoutInt(0, PANEL_PROP_SWITCH_A, 0) == 0;
    m_bSwitchB = GetLayoutInt(0, PANEL_PROP_SWITCH_B, 0) == 0;
    m_bResizable = GetLayoutInt(0, PANEL_PROP_FIXED_SIZE, 0) == 0;
    m_pFrame->SetSizingBorder(m_bResizable);
    for (auto& p : m_pCtrls) {
        CCtrl& c = *p;
        const uint32_t id = c.m_nId;
        c.m_nStyle = GetLayoutInt(id, CTRL_PROP_STYLE, c.m_nStyle);
        c.m_bAutoLayout = GetLayoutInt(id, CTRL_PROP_AUTO_LAYOUT, c.m_bAutoLayout) != 0;
        if (c.m_bAutoLayout) continue;
        c.m_nX = StoredPlace(id, CTRL_PROP_X, c.m_nX);
        c.m_nY = StoredPlace(id, CTRL_PROP_Y, c.m_nY);
        c.m_nWidth = StoredPlace(id, CTRL_PROP_WIDTH, c.m_nWidth);
        c.m_nHeight = StoredPlace(id, CTRL_PROP_HEIGHT, c.m_nHeight);
        c.m_nPage = GetLayoutInt(id, CTRL_PROP_PAGE, c.m_nPage);
        c.SetFontSize(GetLayoutInt(id, CTRL_PROP_FONT_SIZE, c.m_nFontSize),
                      GetLayoutInt(id, CTRL_PROP_FONT_BOLD, c.m_bFontBold) != 0);
        c.SetTitleFont(GetLayoutInt(id, CTRL_PROP_TITLE_SIZE, c.m_nTitleFontSize),
                       GetLayoutInt(id, CTRL_PROP_TITLE_BOLD, c.m_bTitleBold) != 0);
        c.m_bBorder = GetLayoutInt(id, CTRL_PROP_BORDER, c.m_bBorder) != 0;
        c.m_bShowTitle = GetLayoutInt(id, CTRL_PROP_SHOW_TITLE, c.m_bShowTitle) != 0;
        c.m_nAlign = GetLayoutInt(id, CTRL_PROP_ALIGN, 0);
        if (HasSecondRect(c)) {
            c.m_nX2 = StoredPlace(id, CTRL_PROP_X + CTRL_PROP_SECOND, c.m_nX2);
            c.m_nY2 = StoredPlace(id, CTRL_PROP_Y + CTRL_PROP_SECOND, c.m_nY2);
            c.m_nWidth2 = StoredPlace(id, CTRL_PROP_WIDTH + CTRL_PROP_SECOND, c.m_nWidth2);
            c.m_nHeight2 = StoredPlace(id, CTRL_PROP_HEIGHT + CTRL_PROP_SECOND, c.m_nHeight2);
            c.m_nPage2 = GetLayoutInt(id, CTRL_PROP_PAGE + CTRL_PROP_SECOND, c.m_nPage2);
        }
        if (c.m_nType == TYPE_IMAGE) {
            c.m_nImageAlignX = GetLayoutInt(id, CTRL_PROP_IMAGE_ALIGN_X, 0);
            c.m_nImageAlignY = GetLayoutInt(id, CTRL_PROP_ALIGN, 0);
        }
    }
}

void CTalvex22View::SaveLayout() {
    if (!HasPanelName()) return;
    SetLayoutInt(0, PANEL_PROP_PING_SECONDS, m_bPingOn ? m_nPingSeconds : 0);
    SetLayoutInt(0, PANEL_PROP_HEIGHT, m_nPanelHeight);
    SetLayoutInt(0, PANEL_PROP_WIDTH, m_nPanelWidth);
    SetLayoutInt(0, PANEL_PROP_SWITCH_A, m_bSwitchA ? 0 : 1);
    SetLayoutInt(0, PANEL_PROP_SWITCH_B, m_bSwitchB ? 0 : 1);
    SetLayoutInt(0, PANEL_PROP_FIXED_SIZE, m_bResizable ? 0 : 1);
    for (auto& p : m_pCtrls) {
        const CCtrl& c = *p;
        const uint32_t id = c.m_nId;
        SetLayoutInt(id, CTRL_PROP_AUTO_LAYOUT, c.m_bAutoLayout ? 1 : 0);
        SetLayoutInt(id, CTRL_PROP_X, c.m_nX);
        SetLayoutInt(id, CTRL_PROP_Y, c.m_nY);
        SetLayoutInt(id, CTRL_PROP_WIDTH, c.m_nWidth);
        SetLayoutInt(id, CTRL_PROP_HEIGHT, c.m_nHeight);
        SetLayoutInt(id, CTRL_PROP_PAGE, c.m_nPage);
        SetLayoutInt(id, CTRL_PROP_STYLE, c.m_nStyle);
        SetLayoutInt(id, CTRL_PROP_FONT_SIZE, c.m_nFontSize);
        SetLayoutInt(id, CTRL_PROP_FONT_BOLD, c.m_bFontBold ? 1 : 0);
        SetLayoutInt(id, CTRL_PROP_TITLE_SIZE, c.m_nTitleFontSize);
        SetLayoutInt(id, CTRL_PROP_TITLE_BOLD, c.m_bTitleBold ? 1 : 0);
        SetLayoutInt(id, CTRL_PROP_SHOW_TITLE, c.m_bShowTitle ? 1 : 0);
        SetLayoutInt(id, CTRL_PROP_BORDER, c.m_bBorder ? 1 : 0);
        SetLayoutInt(id, CTRL_PROP_ALIGN, c.m_nAlign);
        if (HasSecondRect(c)) {
            SetLayoutInt(id, CTRL_PROP_X + CTRL_PROP_SECOND, c.m_nX2);
            SetLayoutInt(id, CTRL_PROP_Y + CTRL_PROP_SECOND, c.m_nY2);
            SetLayoutInt(id, CTRL_PROP_WIDTH + CTRL_PROP_SECOND, c.m_nWidth2);
            SetLayoutInt(id, CTRL_PROP_HEIGHT + CTRL_PROP_SECOND, c.m_nHeight2);
            SetLayoutInt(id, CTRL_PROP_PAGE + CTRL_PROP_SECOND, c.m_nPage2);
        }
    }
}

void CTalvex22View::LoadRecommendedLayout() {
    LinkSendRequest(REQUEST_LAYOUT);
    SetLayoutInt(0, PANEL_PROP_LAYOUT_REQUESTED, 1);
    m_bLayoutRequested = true;
}

void CTalvex22View::DefaultLayout() {
    // Without controls no stored layout was loaded: saving would write defaults over it.
    if (m_pCtrls.empty()) return;
    for (auto& c : m_pCtrls) c->m_bAutoLayout = true;
    Relayout(false, false);
    SaveLayout();
}
