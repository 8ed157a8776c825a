// The creation operations: one per kind, run once after Init, storing the kind's definition data
// and then asking the host for the kind's widgets.
#include <algorithm>
#include <cstring>

#include "Ctrl.h"

namespace {

// Copies what `source` has into a buffer of `size` bytes; the rest stays zero.
std::vector<uint8_t> FilledBuffer(size_t size, const uint8_t* source, size_t sourceBytes) {
    std::vector<uint8_t> buffer(size, 0);
    const size_t n = source ? std::min(size, sourceBytes) : 0;
    if (n) std::memcpy(buffer.data(), source, n);
    return buffer;
}

// The first `count` zero-ended texts of `texts` with their terminators. Texts missing at the end
// of the buffer are empty ones. Stops, returning nullopt, once `limit` characters are reached.
std::optional<std::vector<char16_t>> ZeroEndedTexts(const std::u16string& texts, int32_t count,
                                                    size_t limit) {
    std::vector<char16_t> out;
    size_t pos = 0;
    for (int32_t i = 0; i < count; ++i) {
        if (pos >= texts.size()) { // only empty texts are left: add them at once
            const size_t left = size_t(count - i);
            if (out.size() + left >= limit) return std::nullopt;
            out.resize(out.size() + left, u'\0');
            break;
        }
        size_t end = texts.find(u'\0', pos);
        if (end == std::u16string::npos) end = std::max(pos, texts.size());
        if (out.size() + (end - pos) + 1 >= limit) return std::nullopt;
        if (end > pos) out.insert(out.end(), texts.begin() + long(pos), texts.begin() + long(end));
        out.push_back(u'\0');
        pos = end + 1;
    }
    return out;
}

} // namespace

void CCtrl::BeginCreate(int type, uint8_t border) {
    if (m_nType != TYPE_UNSUPPORTED || m_bCreated) Diagnostic(CP_CREATE_AGAIN);
    m_nType = type;
    m_bShowTitle = 0;
    m_bBorder = border;
}

void CCtrl::MakeWidgets() {
    if (!m_pParent) return;
    // A second creation on one record would otherwise leave the first widgets behind.
    if (m_bCreated) m_pParent->DestroyWidgets(*this);
    m_bCreated = true;
    m_pParent->CreateWidgets(*this);
}

void CCtrl::CreateText(uint32_t maxLength, const QString& text) {
    BeginCreate(TYPE_TEXT, IsEditable() ? 1 : 0);
    m_strText = text;
    m_nMaxLength = maxLength;
    MakeWidgets();
}

void CCtrl::CreateButton() {
    BeginCreate(TYPE_BUTTON, 0);
    MakeWidgets();
}

void CCtrl::CreateLatch(uint32_t group, uint8_t state) {
    BeginCreate(TYPE_LATCH, 0);
    m_nGroup = group;
    m_bValue = state;
    MakeWidgets();
    ApplyValueFont();
}

void CCtrl::CreateSection(uint8_t state) {
    BeginCreate(TYPE_SECTION, 0);
    m_bValue = state;
    MakeWidgets();
    ApplyValueFont();
}

void CCtrl::CreateDateTime(const QString& pattern, const uint8_t value[8]) {
    BeginCreate(TYPE_DATETIME, IsEditable() ? 1 : 0);
    m_strFormat = pattern;
    if (value) std::memcpy(m_DateTime, value, sizeof m_DateTime);
    if (IsEditable()) {
        m_bShowTime = (m_dwFlags & CTRLF_TIME_ANY) ? 1 : 0;
        m_bShowDate = (m_dwFlags & CTRLF_DATE_ANY) ? 1 : 0;
        m_bShowWeekday = ((m_dwFlags & CTRLF_WEEKDAY) && !m_bShowDate) ? 1 : 0;
        m_nDropHeight = 117;
    } else {
        m_bShowTime = m_bShowDate = m_bShowWeekday = 0;
    }
    MakeWidgets();
}

void CCtrl::CreateNumber(const NumberDefinition& definition, int32_t value) {
    BeginCreate(TYPE_NUMBER, IsEditable() ? 1 : 0);
    m_nMax = definition.max;
    m_nMin = definition.min;
    m_nDecimals = definition.decimals;
    m_nExponent = definition.exponent;
    // The edit box and the spin text show the bare number; the style is still 0 here.
    const bool bare = !definition.format || IsEditable();
    m_strFormat = bare ? QStringLiteral("%%") : *definition.format;
    m_nValue = Clamped(value);
    MakeWidgets();
}

void CCtrl::CreateMatrix(const MatrixDefinition& definition, const LinkMatrixData& data) {
    BeginCreate(TYPE_MATRIX, 0);
    m_nMaxRows = definition.maxRows;
    m_nCols = definition.cols;
    m_strRowLabelFormat = definition.rowLabelFormat;
    m_strCellFormat = definition.cellFormat;
    m_strRowLabelHeading = definition.rowLabelHeading;
    m_nRowLabelDecimals = definition.rowLabelDecimals;
    m_nRowLabelExponent = definition.rowLabelExponent;
    m_nCellDecimals = definition.cellDecimals;
    m_nCellExponent = definition.cellExponent;

    auto names = ZeroEndedTexts(definition.columnNames, m_nCols, CTRL_MAX_CHARS);
    if (!names) {
        SizeAlarm(CP_COLUMN_NAMES);
        names.emplace();
    }
    m_pColumnNames = std::move(*names);

    // 8-bit text labels arrive widened to 16 bits: twice the bytes the device counted.
    const int labelKind = RowLabelKindOf(m_dwFlags);
    uint64_t labelBytes = definition.rowLabelBytes;
    if (labelKind == ROW_LABELS_TEXT && !(m_dwFlags & CTRLF_TEXT16)) labelBytes *= 2;
    m_nRowLabelBytes = definition.rowLabelBytes;
    if (labelBytes >= CTRL_MAX_BYTES) {
        SizeAlarm(CP_ROW_LABEL_BYTES);
        labelBytes = 0;
        m_nRowLabelBytes = 0;
    }
    m_pRowLabels = FilledBuffer(size_t(labelBytes), data.pRowLabels, data.nRowLabelBytes);

    m_nCellBytes = definition.cellBytes;
    if (m_nCellBytes >= CTRL_MAX_BYTES) {
        SizeAlarm(CP_CELL_BYTES);
        m_nCellBytes = 0;
    }
    m_pCells = FilledBuffer(m_nCellBytes, data.pCells, data.nCellBytes);
    m_nRows = int32_t(data.nRows);

    static constexpr int kStyleOfLabels[4] = {3, 2, 1, 0}; // Table, Points, Column, Line
    m_nStyle = kStyleOfLabels[labelKind];
    MakeWidgets();
}

void CCtrl::CreatePassword(uint8_t state) {
    BeginCreate(TYPE_PASSWORD, 1);
    m_bValue = state;
    MakeWidgets();
}

void CCtrl::CreateList(int32_t items, const std::u16string& itemTexts, int32_t selection) {
    BeginCreate(TYPE_LIST, 1);
    // Only the texts the device actually sent: a count beyond them would name items that are
    // not there.
    m_strItems.clear();
    size_t pos = 0;
    for (int32_t i = 0; i < items && pos < itemTexts.size(); ++i) {
        size_t end = itemTexts.find(u'\0', pos);
        if (end == std::u16string::npos) end = itemTexts.size();
        m_strItems.append(QString::fromStdU16String(itemTexts.substr(pos, end - pos)));
        pos = end + 1;
    }
    m_nItems = int32_t(m_strItems.size());
    m_nSelection = selection;
    m_nDropHeight = 117;
    MakeWidgets();
}

void CCtrl::CreateMessageBox(const QString& text) {
    BeginCreate(TYPE_MESSAGEBOX, 0);
    m_strText = text;
    m_nFontSize = 30;
    m_bFontBold = 0;
}

void CCtrl::CreateBlob(uint32_t capacity, const uint8_t* data, uint32_t length) {
    BeginCreate(TYPE_BLOB, 0);
    if (capacity >= CTRL_MAX_BYTES) {
        SizeAlarm(CP_BLOB_CAPACITY);
        capacity = 0;
    }
    m_nDataSize = capacity;
    m_pData = FilledBuffer(capacity, data, length);
    // What is held, never more than the buffer: readers of m_pData trust it.
    m_nDataLen = data ? std::min(length, capacity) : 0;
    MakeWidgets();
}

void CCtrl::CreateFile() {
    BeginCreate(TYPE_FILE, 0);
    m_bFileRequested = 0;
    MakeWidgets();
}

void CCtrl::CreateUnsupported() {
    BeginCreate(TYPE_UNSUPPORTED, 1);
    m_strText = QStringLiteral("???");
    m_crColour = 0xFFFFFF;
    Refresh(CtrlRefresh::Brush);
    MakeWidgets();
}

void CCtrl::CreateImage(const uint8_t* data, uint32_t length) {
    BeginCreate(TYPE_IMAGE, 0);
    m_nDataSize = data ? length : 0;
    MakeWidgets();
    if (m_pParent) m_pParent->CreatePicture(*this, data, m_nDataSize);
}
