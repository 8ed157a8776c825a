// Building the control array from the link's table. Each entry is copied under the link lock and
// the record is made from the copy after the lock is let go: the records' hooks (widgets, boxes)
// never run while the lock is held, and nothing reads the link's table while they run.
#include <new>

#include "CtrlArray.h"
#include "Frame.h"
#include "TextCodec.h"

namespace {

constexpr uint32_t kMaxMessageBoxValue = 0xFFFF;
constexpr uint32_t kMaxBlobValue = 0xFFFFF;

class LockedTable {
public:
    LockedTable() { LinkLock(); }
    ~LockedTable() { LinkUnlock(); }
    LockedTable(const LockedTable&) = delete;
    LockedTable& operator=(const LockedTable&) = delete;
};

// One entry as the build needs it, owned by the build.
struct EntryCopy {
    LinkSummary summary;
    CLinkCtrl entry;
    std::vector<uint8_t> value;
    uint32_t valueSize = 0; // as the link gave it, before any limit
};

// Copies entry `index` of a table of `count` entries; false when the table is no longer that
// one (the link was closed meanwhile).
bool CopyEntry(int index, int count, EntryCopy& out) {
    LockedTable lock;
    if (LinkGetCount() != count) return false;
    const CLinkCtrl* entry = LinkGetDefinition(index);
    if (!entry || !LinkGetSummary(index, out.summary)) return false;
    out.entry = *entry;
    // By index: a large panel's build does not look every id up in the table.
    if (entry->m_nKind == KIND_MATRIX) {
        LinkMatrixData data; // only to mark the entry as read; the copy holds the buffers
        LinkGetMatrixAt(index, data);
        return true;
    }
    uint32_t size = 0;
    if (LinkGetValueAt(index, nullptr, &size) != 0) return true;
    out.valueSize = size;
    // The size is bounded by the entry's own buffers, already within the panel's budget.
    out.value.assign(size, 0);
    if (size) LinkGetValueAt(index, out.value.data(), &size);
    out.value.resize(size);
    return true;
}

// The value, or none after the view's size alarm when it is larger than `limit`.
const std::vector<uint8_t>& Limited(EntryCopy& copy, ICtrlHost* host, uint32_t limit,
                                    long checkPoint) {
    if (copy.valueSize > limit) {
        if (host) {
            host->SizeAlarm(checkPoint, VIEW_UNIT);
            host->QuitRequest();
        }
        copy.value.clear();
    }
    return copy.value;
}

QString TextOf(const std::vector<uint8_t>& value) {
    return QString::fromStdU16String(DecodeUtf16LE(value.data(), value.size()));
}

uint8_t StateOf(const std::vector<uint8_t>& value) {
    return value.empty() ? 0 : value[0];
}

int32_t I32Of(const std::vector<uint8_t>& value) {
    uint8_t b[4] = {};
    for (size_t i = 0; i < 4 && i < value.size(); ++i) b[i] = value[i];
    return int32_t(GetU32LE(b));
}

QString Q(const std::u16string& s) {
    return QString::fromStdU16String(s);
}

void Create(CCtrl& ctrl, EntryCopy& copy, ICtrlHost* host) {
    const CLinkCtrl& entry = copy.entry;
    const std::vector<uint8_t>& value = copy.value;
    switch (copy.summary.nKind) {
    case KIND_TEXT:
        ctrl.CreateText(entry.m_nMaxSize, TextOf(value));
        break;
    case KIND_BUTTON:
        ctrl.CreateButton();
        break;
    case KIND_LATCH:
        ctrl.CreateLatch(entry.m_nGroup, StateOf(value));
        break;
    case KIND_SECTION:
        ctrl.CreateSection(StateOf(value));
        break;
    case KIND_DATETIME: {
        uint8_t dateTime[8] = {};
        for (size_t i = 0; i < 8 && i < value.size(); ++i) dateTime[i] = value[i];
        ctrl.CreateDateTime(Q(entry.m_strFormat), dateTime);
        break;
    }
    case KIND_NUMBER: {
        NumberDefinition d;
        d.max = entry.m_nMax;
        d.min = entry.m_nMin;
        d.decimals = entry.m_nDecimals;
        d.exponent = int8_t(entry.m_nExponent);
        if (entry.m_bHasFormat) d.format = Q(entry.m_strFormat);
        ctrl.CreateNumber(d, I32Of(value));
        break;
    }
    case KIND_MATRIX: {
        MatrixDefinition d;
        d.maxRows = entry.m_nMaxRows;
        d.cols = entry.m_nCols;
        d.rowLabelFormat = Q(entry.m_strRowLabelFormat);
        d.cellFormat = Q(entry.m_strCellFormat);
        d.rowLabelHeading = Q(entry.m_strRowLabelHeading);
        d.columnNames = entry.m_columnNames;
        d.rowLabelDecimals = entry.m_nRowLabelDecimals;
        d.rowLabelExponent = int8_t(entry.m_nRowLabelExponent);
        d.cellDecimals = entry.m_nCellDecimals;
        d.cellExponent = int8_t(entry.m_nCellExponent);
        d.cellBytes = entry.m_nCellBytes;
        d.rowLabelBytes = entry.m_nRowLabelBytes;
        LinkMatrixData data;
        data.nRows = entry.m_nRows;
        data.pCells = entry.m_cells.empty() ? nullptr : entry.m_cells.data();
        data.nCellBytes = entry.m_cells.size();
        data.pRowLabels = entry.m_rowLabels.empty() ? nullptr : entry.m_rowLabels.data();
        data.nRowLabelBytes = entry.m_rowLabels.size();
        ctrl.CreateMatrix(d, data);
        break;
    }
    case KIND_PASSWORD:
        ctrl.CreatePassword(StateOf(value));
        break;
    case KIND_LIST:
        ctrl.CreateList(entry.m_nItems, entry.m_items, I32Of(value));
        break;
    case KIND_MESSAGEBOX:
        ctrl.CreateMessageBox(
            TextOf(Limited(copy, host, kMaxMessageBoxValue, CP_VIEW_MESSAGE_BOX)));
        break;
    case KIND_BLOB: {
        const std::vector<uint8_t>& blob = Limited(copy, host, kMaxBlobValue, CP_VIEW_BLOB);
        ctrl.CreateBlob(entry.m_nDataSize, blob.data(), uint32_t(blob.size()));
        break;
    }
    case KIND_FILE:
        ctrl.CreateFile();
        break;
    case KIND_UNSUPPORTED:
        ctrl.CreateUnsupported();
        break;
    case KIND_IMAGE:
        ctrl.CreateImage(value.data(), uint32_t(value.size()));
        break;
    default:
        break;
    }
}

} // namespace

CtrlArray BuildCtrlArray(ICtrlHost* host) {
    int count = 0;
    {
        LockedTable lock;
        count = LinkGetCount();
    }
    CtrlArray ctrls;
    ctrls.reserve(size_t(count));
    for (int i = 0; i < count; ++i) ctrls.push_back(std::make_unique<CCtrl>());

    for (int i = 0; i < count; ++i) {
        EntryCopy copy;
        if (!CopyEntry(i, count, copy)) break; // the table went: the rest stays unbuilt
        if (CtrlTypeFromDeviceKind(copy.summary.nKind) < 0) {
            if (host) host->DiagnosticBox(CP_VIEW_KIND, VIEW_UNIT, 0);
            continue;
        }
        CCtrl& ctrl = *ctrls[size_t(i)];
        ctrl.Init(copy.summary, host);
        Create(ctrl, copy, host);
    }
    return ctrls;
}

void ShowPendingMessageBoxes(const CtrlArray& ctrls) {
    for (const auto& ctrl : ctrls)
        if (ctrl) ctrl->ShowMessageBox();
}

bool RebuildCtrlArray(CtrlArray& ctrls, ICtrlHost* host) {
    bool built = true;
    try {
        CtrlArray next = BuildCtrlArray(host);
        ctrls.clear(); // every old record, with its widgets, before the new array is stored
        ctrls = std::move(next);
    } catch (const std::bad_alloc&) {
        // Whatever was built is gone again; the program goes on without a panel.
        ctrls.clear();
        built = false;
    }
    ShowPendingMessageBoxes(ctrls);
    return built;
}

void ReleaseLatchGroup(const CtrlArray& ctrls, uint32_t group) {
    for (const auto& ctrl : ctrls)
        if (ctrl) ctrl->ReleaseFromGroup(group);
}

CCtrl* FindCtrl(const CtrlArray& ctrls, uint32_t id) {
    for (const auto& ctrl : ctrls)
        if (ctrl && ctrl->m_nId == id) return ctrl.get();
    return nullptr;
}
