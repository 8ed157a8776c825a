// The view's control array: built from the link's table, refreshed from the device's values,
// attributes and files, and the hooks the records call back into.
#include <QCoreApplication>
#include <QFile>
#include <memory>

#include "ConnectionIndicator.h"
#include "Ctrl.h"
#include "DeviceChanges.h"
#include "DeviceMessageBox.h"
#include "Link.h"
#include "LinkBridge.h"
#include "MainFrame.h"
#include "MessageBoxAnswer.h"
#include "Talvex22View.h"

void CTalvex22View::BuildControls() {
    BringFrameToForeground();
    if (!RebuildCtrlArray(m_pCtrls, this))
        Notice(QStringLiteral("There is not enough memory for the panel's controls."));
    m_nCtrls = int(m_pCtrls.size());
    if (m_pPanelObserver) m_pPanelObserver->PanelBuilt();
}

bool CTalvex22View::HasPanel() const {
    return m_bConnected && !m_pCtrls.empty();
}

void CTalvex22View::UpdateValues() {
    std::vector<DeviceChange> changes = TakeValueChanges(m_pCtrls);

    int targetPage = -1;
    bool relayout = false;
    // A device may push values faster than the screen shows them: each control's widgets take
    // its latest at most every third frame.
    m_pWidgets->PaceValues(true);
    for (DeviceChange& change : changes) {
        CCtrl& c = *change.ctrl;
        if (change.oversize) ViewSizeAlarm(1534);
        const int rowsBefore = c.m_nRows;
        ApplyValueChange(change);
        if (change.matrix)
            m_valueLog.DeviceRows(c, rowsBefore);
        else
            m_valueLog.DeviceValue(c);
        if (change.movesPlace) relayout = true;
        if (c.m_dwFlags & CTRLF_SHOW_PAGE) targetPage = c.m_nPage;
    }
    m_pWidgets->PaceValues(false);
    if (targetPage >= 0) {
        m_nCurPage = targetPage;
        relayout = true;
    }
    if (relayout) Relayout(true, true);
}

void CTalvex22View::UpdateAttributes() {
    const std::vector<AttributeChange> changes = TakeAttributeChanges(m_pCtrls);

    bool relayout = false;
    bool turnPage = false;
    uint32_t pageOf = 0;
    for (const AttributeChange& change : changes) {
        CCtrl& c = *change.ctrl;
        const bool wasHidden = c.m_dwFlags & CTRLF_HIDDEN;
        const bool wasDisabled = c.m_dwFlags & CTRLF_DISABLED;
        c.SetFlagsAndColour(change.flags, change.colour);
        if (change.flags & CTRLF_SHOW_PAGE) {
            turnPage = true;
            pageOf = c.m_nId;
        }
        const bool hiddenChanged = wasHidden != bool(c.m_dwFlags & CTRLF_HIDDEN);
        if ((hiddenChanged && c.m_nType != TYPE_MESSAGEBOX) ||
            wasDisabled != bool(c.m_dwFlags & CTRLF_DISABLED))
            relayout = true;
    }
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
    const auto delivered = TakeDeliveredFiles(m_pCtrls);
    for (auto& [c, name] : delivered) {
        c->m_strText = QString::fromStdU16String(name);
        m_pWidgets->OpenFile(*c, c->m_strText);
    }
    AnnounceSavedFiles();
}

// Every file saved is said, asked for or not; the folder is a click away on the indicator.
void CTalvex22View::AnnounceSavedFiles() {
    const std::vector<std::u16string> saved = LinkTakeSavedFiles();
    CConnectionIndicator* indicator = m_pFrame->Indicator();
    if (saved.empty() || !indicator) return;
    QString what = QString::fromStdU16String(saved.front());
    if (saved.size() > 1)
        what = QStringLiteral("%1 and %2 more files").arg(what).arg(saved.size() - 1);
    indicator->SetSaved(what, QFile::decodeName(LinkGetFilesDirectory().c_str()));
}

void CTalvex22View::ValueSent(CCtrl& c, const uint8_t* bytes, uint32_t length) {
    m_valueLog.UserValue(c, bytes, length);
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
    if (m_pPanelObserver) m_pPanelObserver->Refreshed(c, what);
}

// A device's message box does not block: several may be open, and the answer comes back as the
// control-answer event like any other notification. The frame comes forward after the last.
void CTalvex22View::ShowMessageBox(CCtrl& c) {
    const uint32_t id = c.m_nId;
    if (m_pPanelObserver) m_pPanelObserver->Question(c);
    ++m_nOpenMessageBoxes;
    auto shown = std::make_shared<QMessageBox*>(nullptr); // this box, known once it is up
    *shown = ShowDeviceMessageBox(c, this, [this, id, shown](int answer) {
        if (answer != 0)
            QCoreApplication::postEvent(
                this,
                new LinkMessageEvent(WM_CONTROL_ANSWER, CONTROL_ANSWER_BASE + answer, long(id)));
        // The bridge hears it at once: an answer over MQTT after this one is refused.
        const auto open = m_questionBoxes.find(id);
        if (open != m_questionBoxes.end() && open->second == *shown) m_questionBoxes.erase(open);
        if (m_pPanelObserver) m_pPanelObserver->QuestionClosed(id);
        if (--m_nOpenMessageBoxes == 0) m_pFrame->BringToForeground();
    });
    m_questionBoxes[id] = *shown;
}

void CTalvex22View::CloseQuestion(uint32_t id) {
    const auto open = m_questionBoxes.find(id);
    if (open == m_questionBoxes.end()) return;
    const QPointer<QMessageBox> box = open->second;
    m_questionBoxes.erase(open);
    if (box) DismissDeviceMessageBox(box);
}
