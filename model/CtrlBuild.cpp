// Building the control array from the link's table.
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

// The entry's current value; a size above `limit` raises the view's size alarm and reads as
// empty.
std::vector<uint8_t> ReadValue(uint32_t id, ICtrlHost* host, uint32_t limit, long checkPoint) {
    uint32_t size = 0;
    if (LinkGetValue(id, nullptr, &size) != 0) return {};
    if (size > limit) {
        if (host) {
            host->SizeAlarm(checkPoint, VIEW_UNIT);
            host->QuitRequest();
        }
        size = 0;
    }
    std::vector<uint8_t> value(size, 0);
    if (size) LinkGetValue(id, value.data(), &size);
    value.resize(size);
    return value;
}

std::vector<uint8_t> ReadValue(uint32_t id, ICtrlHost* host) {
    return ReadValue(id, host, UINT32_MAX, 0);
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

void Create(CCtrl& ctrl, int deviceKind, const CLinkCtrl& entry, ICtrlHost* host) {
    const uint32_t id = entry.m_nId;
    switch (deviceKind) {
    case KIND_TEXT:
        ctrl.CreateText(entry.m_nMaxSize, TextOf(ReadValue(id, host)));
        break;
    case KIND_BUTTON:
        ReadValue(id, host);
        ctrl.CreateButton();
        break;
    case KIND_LATCH:
        ctrl.CreateLatch(entry.m_nGroup, StateOf(ReadValue(id, host)));
        break;
    case KIND_SECTION:
        ctrl.CreateSection(StateOf(ReadValue(id, host)));
        break;
    case KIND_DATETIME: {
        std::vector<uint8_t> value = ReadValue(id, host);
        value.resize(8, 0);
        ctrl.CreateDateTime(Q(entry.m_strFormat), value.data());
        break;
    }
    case KIND_NUMBER: {
        NumberDefinition d;
        d.max = entry.m_nMax;
        d.min = entry.m_nMin;
        d.decimals = entry.m_nDecimals;
        d.exponent = int8_t(entry.m_nExponent);
        if (entry.m_bHasFormat) d.format = Q(entry.m_strFormat);
        ctrl.CreateNumber(d, I32Of(ReadValue(id, host)));
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
        LinkGetMatrix(id, data);
        ctrl.CreateMatrix(d, data);
        break;
    }
    case KIND_PASSWORD:
        ctrl.CreatePassword(StateOf(ReadValue(id, host)));
        break;
    case KIND_LIST:
        ctrl.CreateList(entry.m_nItems, entry.m_items, I32Of(ReadValue(id, host)));
        break;
    case KIND_MESSAGEBOX:
        ctrl.CreateMessageBox(
            TextOf(ReadValue(id, host, kMaxMessageBoxValue, CP_VIEW_MESSAGE_BOX)));
        break;
    case KIND_BLOB: {
        const std::vector<uint8_t> value = ReadValue(id, host, kMaxBlobValue, CP_VIEW_BLOB);
        ctrl.CreateBlob(entry.m_nDataSize, value.data(), uint32_t(value.size()));
        break;
    }
    case KIND_FILE:
        ReadValue(id, host);
        ctrl.CreateFile();
        break;
    case KIND_UNSUPPORTED:
        ctrl.CreateUnsupported();
        break;
    case KIND_IMAGE: {
        const std::vector<uint8_t> value = ReadValue(id, host);
        ctrl.CreateImage(value.data(), uint32_t(value.size()));
        break;
    }
    default:
        break;
    }
}

} // namespace

CtrlArray BuildCtrlArray(ICtrlHost* host) {
    LockedTable lock;
    const int count = LinkGetCount();
    CtrlArray ctrls;
    ctrls.reserve(size_t(count));
    for (int i = 0; i < count; ++i) ctrls.push_back(std::make_unique<CCtrl>());

    for (int i = 0; i < count; ++i) {
        LinkSummary summary;
        const CLinkCtrl* entry = LinkGetDefinition(i);
        if (!LinkGetSummary(i, summary) || !entry) continue;
        if (CtrlTypeFromDeviceKind(summary.nKind) < 0) {
            if (host) host->DiagnosticBox(CP_VIEW_KIND, VIEW_UNIT, 0);
            continue;
        }
        CCtrl& ctrl = *ctrls[size_t(i)];
        ctrl.Init(summary, host);
        Create(ctrl, summary.nKind, *entry, host);
    }
    return ctrls;
}

void ShowPendingMessageBoxes(const CtrlArray& ctrls) {
    for (const auto& ctrl : ctrls)
        if (ctrl) ctrl->ShowMessageBox();
}

void RebuildCtrlArray(CtrlArray& ctrls, ICtrlHost* host) {
    {
        LockedTable lock;
        CtrlArray built = BuildCtrlArray(host);
        ctrls.clear(); // every old record, with its widgets, before the new array is stored
        ctrls = std::move(built);
    }
    ShowPendingMessageBoxes(ctrls);
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
