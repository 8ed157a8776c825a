#include "DeviceChanges.h"

#include <algorithm>

namespace {

constexpr uint32_t kMaxValueBytes = 0xFFFFF;

// The table entry of the record at `index` (the lock held): the same index while the table is
// the one the records were built from, else found by its id. A large panel is not searched
// once per control.
const CLinkCtrl* EntryOf(size_t index, uint32_t id) {
    const CLinkCtrl* e = LinkGetDefinition(int(index));
    return e && e->m_nId == id ? e : LinkFind(id);
}

} // namespace

std::vector<DeviceChange> TakeValueChanges(const CtrlArray& ctrls) {
    std::vector<DeviceChange> changes;
    LinkLock();
    for (size_t i = 0; i < ctrls.size(); ++i) {
        CCtrl* c = ctrls[i].get();
        const CLinkCtrl* e = EntryOf(i, c->m_nId);
        if (!e || !e->m_bDeviceChanged) continue;
        DeviceChange change;
        change.ctrl = c;
        const int kind = e->m_nKind;
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
            change.movesPlace = kind == KIND_PASSWORD || kind == KIND_SECTION;
        }
        changes.push_back(std::move(change));
    }
    LinkUnlock();
    return changes;
}

std::vector<AttributeChange> TakeAttributeChanges(const CtrlArray& ctrls) {
    std::vector<AttributeChange> changes;
    LinkLock();
    for (size_t i = 0; i < ctrls.size(); ++i) {
        CCtrl* c = ctrls[i].get();
        const CLinkCtrl* e = EntryOf(i, c->m_nId);
        if (!e || !e->m_bAttrChanged) continue;
        uint32_t flags = 0, colour = 0;
        if (LinkGetAttributes(c->m_nId, &flags, &colour) == 0)
            changes.push_back({c, flags, colour});
    }
    LinkUnlock();
    return changes;
}

std::vector<std::pair<CCtrl*, std::u16string>> TakeDeliveredFiles(const CtrlArray& ctrls) {
    std::vector<std::pair<CCtrl*, std::u16string>> delivered;
    LinkLock();
    for (size_t i = 0; i < ctrls.size(); ++i) {
        CCtrl* c = ctrls[i].get();
        const CLinkCtrl* e = EntryOf(i, c->m_nId);
        if (e && e->m_bDeviceChanged && e->m_nKind == KIND_FILE) {
            delivered.emplace_back(c, LinkGetFileName(c->m_nId));
            // Taken: a later file for another control must not open this one again.
            uint32_t none = 0;
            LinkGetValue(c->m_nId, nullptr, &none);
        }
    }
    LinkUnlock();
    return delivered;
}

void ApplyValueChange(DeviceChange& change) {
    CCtrl& c = *change.ctrl;
    if (change.matrix)
        c.SetMatrixData(change.rows, change.cells.data(), change.cells.size(),
                        change.rowLabels.data(), change.rowLabels.size());
    else
        c.ShowValue(change.value.data(), uint32_t(change.value.size()));
}
