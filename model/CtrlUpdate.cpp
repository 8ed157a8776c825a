// What the device pushes: values, matrix data and attributes applied to the record, and the
// start of a Message box.
#include <algorithm>
#include <cstring>

#include "Ctrl.h"
#include "Frame.h"
#include "TextCodec.h"

namespace {

QString TextValue(const uint8_t* bytes, uint32_t length) {
    return QString::fromStdU16String(DecodeUtf16LE(bytes, length));
}

// The whole buffer replaced: what the source has, zeros after it.
void Replace(std::vector<uint8_t>& buffer, const uint8_t* source, size_t sourceBytes) {
    const size_t n = source ? std::min(buffer.size(), sourceBytes) : 0;
    if (n) std::memcpy(buffer.data(), source, n);
    std::fill(buffer.begin() + long(n), buffer.end(), uint8_t(0));
}

} // namespace

void CCtrl::ShowValue(const uint8_t* bytes, uint32_t length) {
    if (!bytes) length = 0;
    // A value shorter than its kind's size changes nothing.
    switch (m_nType) {
    case TYPE_UNSUPPORTED:
        break;
    case TYPE_BUTTON:
    case TYPE_PASSWORD:
        if (length < 1) return;
        m_bValue = bytes[0];
        break;
    case TYPE_LATCH:
    case TYPE_SECTION:
        if (length < 1) return;
        m_bValue = bytes[0];
        ApplyValueFont();
        break;
    case TYPE_TEXT:
        m_strText = TextValue(bytes, length);
        // The edit box reports the replacement like a keystroke; that report is not sent back.
        if (m_pEdit) ++m_nTextEcho;
        break;
    case TYPE_DATETIME:
        if (length < sizeof m_DateTime) return;
        std::memcpy(m_DateTime, bytes, sizeof m_DateTime);
        break;
    case TYPE_NUMBER:
        if (length < 4) return;
        m_nValue = int32_t(GetU32LE(bytes)); // not clamped: the device may go outside the range
        break;
    case TYPE_LIST:
        if (length < 4) return;
        m_nSelection = int32_t(GetU32LE(bytes));
        break;
    case TYPE_MESSAGEBOX:
        m_strText = TextValue(bytes, length);
        break;
    case TYPE_BLOB: {
        const uint32_t n = uint32_t(std::min<size_t>(length, m_pData.size()));
        if (n) std::memcpy(m_pData.data(), bytes, n);
        m_nDataLen = n;
        break;
    }
    case TYPE_FILE:
        return;
    case TYPE_MATRIX:
        Diagnostic(CP_VALUE_MATRIX);
        return;
    case TYPE_IMAGE:
        // The record keeps no picture bytes: a new picture is decoded in place of the old one.
        m_nDataSize = length;
        if (m_pParent) m_pParent->CreatePicture(*this, bytes, length);
        break;
    default:
        Diagnostic(CP_VALUE_KIND);
        return;
    }
    Refresh(CtrlRefresh::Value);
}

void CCtrl::SetMatrixData(const LinkMatrixData& data) {
    SetMatrixData(data.nRows, data.pCells, data.nCellBytes, data.pRowLabels, data.nRowLabelBytes);
}

void CCtrl::SetMatrixData(uint32_t rows, const uint8_t* cells, size_t cellBytes,
                          const uint8_t* rowLabels, size_t rowLabelBytes) {
    if (m_nType != TYPE_MATRIX) {
        Diagnostic(CP_MATRIX_KIND);
        return;
    }
    // The buffers keep the sizes they were created with, whatever the flags say now.
    Replace(m_pRowLabels, rowLabels, rowLabelBytes);
    Replace(m_pCells, cells, cellBytes);
    m_nRows = int32_t(rows);
    Refresh(CtrlRefresh::MatrixData);
}

void CCtrl::SetFlagsAndColour(uint32_t flags, uint32_t colour) {
    m_dwFlags = flags;
    m_crColour = colour;
    Refresh(CtrlRefresh::Brush);
    Refresh(CtrlRefresh::Attributes);
}

void CCtrl::ShowMessageBox() {
    if (m_nType != TYPE_MESSAGEBOX || (m_dwFlags & CTRLF_BOX_SHOWN)) return;
    if (m_pParent) m_pParent->ShowMessageBox(*this);
    m_dwFlags |= CTRLF_BOX_SHOWN;
    // The link's entry keeps the mark too: a record built again from it stays answered.
    LinkSetBoxShown(m_nId);
}
