// The view's control array: built from the link's table, refreshed from the device's values,
// attributes and files, and the hooks the records call back into.
#include <QAbstractButton>
#include <QCoreApplication>
#include <QMessageBox>

#include "Ctrl.h"
#include "Link.h"
#include "LinkBridge.h"
#include "MainFrame.h"
#include "MessageBoxAnswer.h"
#include "Talvex22View.h"

namespace {

constexpr uint32_t kMaxValueBytes = 0xFFFFF;

// A device change of one control, copied out of the link's table under the lock and applied to
// the record after it is let go: the records' refreshes never run with the lock held.
struct DeviceChange {
    CCtrl* ctrl = nullptr;
    bool matrix = false;
    bool oversize = false;
    bool password = false;
    std::vector<uint8_t> value;
    uint32_t rows = 0;
    std::vector<uint8_t> cells, rowLabels;
};

} // namespace

void CTalvex22View::BuildControls() {
    BringFrameToForeground();
    if (!RebuildCtrlArray(m_pCtrls, this))
        Notice(QStringLiteral("There is not enough memory for the panel's controls."));
    m_nCtrls = int(m_pCtrls.size());
}

void CTalvex22View::UpdateValues() {
    std::vector<DeviceChange> changes;
    LinkLock();
    for (auto& c : m_pCtrls) {
        if (!LinkIsDeviceChanged(c->m_nId)) continue;
        DeviceChange change;
        change.ctrl = c.get();
        const int kind = LinkGetKind(c->m_nId);
        if (kind == KIND_MATRIX) {
            LinkMatrixData matrix;
            if (LinkGetMatrix(c->m_nId, matrix) != 0) continue;
            change.matrix = true;
            change.rows = matrix.nRows;
            if (matrix.pCells)
                change.cells.assign(matrix.pCells, matrix.pCells + matrix.nCellBytes);
            if (matrix.pRowLabels)
                change.rowLabels.assign(matrix.pRowLabels,
                                        matrix.pRowLabels + matrix.nRowLabelBytes);
        } else {
            uint32_t size = 0;
            LinkGetValue(c->m_nId, nullptr, &size);
            if (size > kMaxValueBytes) {
                change.oversize = true;
                size = 0;
            }
            change.value.assign(size, 0);
            LinkGetValue(c->m_nId, change.value.data(), &size);
            change.value.resize(std::min<size_t>(size, change.value.size()));
            change.password = kind == KIND_PASSWORD;
        }
        changes.push_back(std::move(change));
    }
    LinkUnlock();

    int targetPage = -1;
    bool relayout = false;
    for (DeviceChange& change : changes) {
        CCtrl& c = *change.ctrl;
        if (change.matrix) {
            c.SetMatrixData(change.rows, change.cells.data(), change.cells.size(),
                            change.rowLabels.data(), change.rowLabels.size());
        } else {
            if (change.oversize) ViewSizeAlarm(1534);
            c.ShowValue(change.value.data(), uint32_t(change.value.size()));
            if (change.password) relayout = true;
        }
        if (c.m_dwFlags & CTRLF_SHOW_PAGE) targetPage = c.m_nPage;
    }
    if (targetPage >= 0) {
        m_nCurPage = targetPage;
        relayout = true;
    }
    if (relayout) Relayout(true, true);
}

void CTalvex22View::UpdateAttributes() {
    struct AttributeChange {
        CCtrl* ctrl;
        uint32_t flags, colour;
    };
    std::vector<AttributeChange> changes;
    LinkLock();
    for (auto& c : m_pCtrls) {
        if (!LinkIsAttrChanged(c->m_nId)) continue;
        uint32_t flags = 0, colour = 0;
        if (LinkGetAttributes(c->m_nId, &flags, &colour) == 0)
            changes.push_back({c.get(), flags, colour});
    }
    LinkUnlock();

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
    std::vector<std::pair<CCtrl*, std::u16string>> delivered;
    LinkLock();
    for (auto& c : m_pCtrls)
        if (LinkIsDeviceChanged(c->m_nId) && LinkGetKind(c->m_nId) == KIND_FILE)
            delivered.emplace_back(c.get(), LinkGetFileName(c->m_nId));
    LinkUnlock();
    for (auto& [c, name] : delivered) {
        c->m_strText = QString::fromStdU16String(name);
        c->FileDelivered();
    }
}

void CTalvex22View::ReleaseLatchGroup(uint32_t group) {
    ::ReleaseLatchGroup(m_pCtrls, group);
}

void CTalvex22View::PlaceControl(CCtrl& c) {
    const bool second = (c.m_nType == TYPE_SECTION || c.m_nType == TYPE_PASSWORD) && c.m_bValue;
    c.m_rcCache = second ? std::array<int, 4>{c.m_nX2, c.m_nY2, c.m_nWidth2, c.m_nHeight2}
                         : std::array<int, 4>{c.m_nX, c.m_nY, c.m_nWidth, c.m_nHeight};
}

void CTalvex22View::ShowControl(CCtrl& c, bool shown) {
    if (c.m_nType == TYPE_IMAGE) c.m_bImageShown = shown;
}

void CTalvex22View::DestroyWidgets(CCtrl&) {}

void CTalvex22View::RefreshWidgets(CCtrl& c, CtrlRefresh) {
    // Only the control's own place is drawn again: a value from the device changes nothing else.
    const QRect place(c.m_rcCache[0], c.m_rcCache[1], c.m_rcCache[2], c.m_rcCache[3]);
    if (place.isValid())
        m_pPanel->update(place);
    else
        m_pPanel->update();
}

// A device's message box does not block: several may be open, and the answer comes back as the
// control-answer event like any other notification.
void CTalvex22View::ShowMessageBox(CCtrl& c) {
    const uint32_t flags = c.m_dwFlags;
    const uint32_t id = c.m_nId;
    QMessageBox::Icon icon = QMessageBox::Critical;
    switch (MessageBoxIcon(flags)) {
    case BoxIcon::Exclamation:
        icon = QMessageBox::Warning;
        break;
    case BoxIcon::Question:
        icon = QMessageBox::Question;
        break;
    case BoxIcon::Information:
        icon = QMessageBox::Information;
        break;
    case BoxIcon::Stop:
        break;
    }
    auto* box = new QMessageBox(icon, c.m_strName, c.m_strText, QMessageBox::NoButton, window());
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    static const std::pair<BoxButton, QMessageBox::StandardButton> kButtons[] = {
        {BoxButton::Ok, QMessageBox::Ok},         {BoxButton::Cancel, QMessageBox::Cancel},
        {BoxButton::Abort, QMessageBox::Abort},   {BoxButton::Retry, QMessageBox::Retry},
        {BoxButton::Ignore, QMessageBox::Ignore}, {BoxButton::Yes, QMessageBox::Yes},
        {BoxButton::No, QMessageBox::No}};
    for (BoxButton b : MessageBoxButtons(flags))
        for (auto [button, standard] : kButtons)
            if (button == b) box->addButton(standard);
    ++m_nOpenMessageBoxes;
    connect(box, &QMessageBox::finished, this, [this, box, flags, id] {
        --m_nOpenMessageBoxes;
        QAbstractButton* clicked = box->clickedButton();
        int answer = 0;
        for (auto [button, standard] : kButtons)
            if (clicked && box->standardButton(clicked) == standard)
                answer = MessageBoxAnswer(flags, button);
        QCoreApplication::postEvent(
            this, new LinkMessageEvent(WM_CONTROL_ANSWER, CONTROL_ANSWER_BASE + answer, long(id)));
    });
    box->show();
}
