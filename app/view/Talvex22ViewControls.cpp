// The view's control array: built from the link's table, refreshed from the device's values,
// attributes and files, and the hooks the records call back into.
#include <QCoreApplication>

#include "Ctrl.h"
#include "DeviceMessageBox.h"
#include "Link.h"
#include "LinkBridge.h"
#include "MainFrame.h"
#include "MessageBoxAnswer.h"
#include "Talvex22View.h"

namespace {

constexpr uint32_t kMaxValueBytes = 0xFFFFF;

} // namespace

void CTalvex22View::BuildControls() {
    BringFrameToForeground();
    RebuildCtrlArray(m_pCtrls, this);
    m_nCtrls = int(m_pCtrls.size());
}

void CTalvex22View::UpdateValues() {
    int targetPage = -1;
    bool relayout = false;
    std::vector<uint8_t> value;
    LinkLock();
    for (auto& c : m_pCtrls) {
        if (!LinkIsDeviceChanged(c->m_nId)) continue;
        if (LinkGetKind(c->m_nId) == KIND_MATRIX) {
            LinkMatrixData matrix;
            if (LinkGetMatrix(c->m_nId, matrix) == 0) c->SetMatrixData(matrix);
        } else {
            uint32_t size = 0;
            LinkGetValue(c->m_nId, nullptr, &size);
            if (size > kMaxValueBytes) {
                ViewSizeAlarm(1534);
                size = 0;
            }
            value.assign(size, 0);
            LinkGetValue(c->m_nId, value.data(), &size);
            c->ShowValue(value.data(), std::min<uint32_t>(size, uint32_t(value.size())));
            if (LinkGetKind(c->m_nId) == KIND_PASSWORD) relayout = true;
        }
        if (c->m_dwFlags & CTRLF_SHOW_PAGE) targetPage = c->m_nPage;
    }
    LinkUnlock();
    if (targetPage >= 0) {
        m_nCurPage = targetPage;
        relayout = true;
    }
    if (relayout) Relayout(true, true);
}

void CTalvex22View::UpdateAttributes() {
    bool relayout = false;
    bool turnPage = false;
    uint32_t pageOf = 0;
    LinkLock();
    for (auto& c : m_pCtrls) {
        if (!LinkIsAttrChanged(c->m_nId)) continue;
        const bool wasHidden = c->m_dwFlags & CTRLF_HIDDEN;
        const bool wasDisabled = c->m_dwFlags & CTRLF_DISABLED;
        uint32_t flags = 0, colour = 0;
        if (LinkGetAttributes(c->m_nId, &flags, &colour) != 0) continue;
        c->SetFlagsAndColour(flags, colour);
        if (flags & CTRLF_SHOW_PAGE) {
            turnPage = true;
            pageOf = c->m_nId;
        }
        const bool hiddenChanged = wasHidden != bool(c->m_dwFlags & CTRLF_HIDDEN);
        if ((hiddenChanged && c->m_nType != TYPE_MESSAGEBOX) ||
            wasDisabled != bool(c->m_dwFlags & CTRLF_DISABLED))
            relayout = true;
    }
    LinkUnlock();
    if (relayout) Relayout(true, true);
    if (turnPage) {
        if (CCtrl* c = FindCtrl(m_pCtrls, pageOf)) {
            m_nCurPage = c->m_nPage;
            ShowPage();
        }
    }
    ShowPendingMessageBoxes(m_pCtrls);
}

void CTalvex22View::UpdateFiles() {
    LinkLock();
    for (auto& c : m_pCtrls) {
        if (!LinkIsDeviceChanged(c->m_nId) || LinkGetKind(c->m_nId) != KIND_FILE) continue;
        c->m_strText = QString::fromStdU16String(LinkGetFileName(c->m_nId));
        // Taken: a later file for another control must not open this one again.
        uint32_t none = 0;
        LinkGetValue(c->m_nId, nullptr, &none);
        m_pWidgets->OpenFile(*c, c->m_strText);
    }
    LinkUnlock();
}

void CTalvex22View::ReleaseLatchGroup(uint32_t group) {
    ::ReleaseLatchGroup(m_pCtrls, group);
}

void CTalvex22View::PlaceControl(CCtrl& c) {
    const bool second = (c.m_nType == TYPE_SECTION || c.m_nType == TYPE_PASSWORD) && c.m_bValue;
    c.m_rcCache = second ? std::array<int, 4>{c.m_nX2, c.m_nY2, c.m_nWidth2, c.m_nHeight2}
                         : std::array<int, 4>{c.m_nX, c.m_nY, c.m_nWidth, c.m_nHeight};
    if (c.m_nType != TYPE_MESSAGEBOX) m_pWidgets->PlaceWidgets(c);
}

void CTalvex22View::ShowControl(CCtrl& c, bool shown) {
    m_pWidgets->ShowControl(c, shown);
}

void CTalvex22View::CreateWidgets(CCtrl& c) {
    m_pWidgets->CreateWidgets(c);
}

void CTalvex22View::CreatePicture(CCtrl& c, const uint8_t* data, size_t size) {
    m_pWidgets->CreatePicture(c, data, size);
}

void CTalvex22View::DestroyWidgets(CCtrl& c) {
    m_pWidgets->DestroyWidgets(c);
}

void CTalvex22View::RefreshWidgets(CCtrl& c, CtrlRefresh what) {
    m_pWidgets->RefreshWidgets(c, what);
}

// A device's message box does not block: several may be open, and the answer comes back as the
// control-answer event like any other notification. The frame comes forward after the last.
void CTalvex22View::ShowMessageBox(CCtrl& c) {
    const uint32_t id = c.m_nId;
    ++m_nOpenMessageBoxes;
    ShowDeviceMessageBox(c, window(), [this, id](int answer) {
        if (answer != 0)
            QCoreApplication::postEvent(
                this,
                new LinkMessageEvent(WM_CONTROL_ANSWER, CONTROL_ANSWER_BASE + answer, long(id)));
        if (--m_nOpenMessageBoxes == 0) m_pFrame->BringToForeground();
    });
}
