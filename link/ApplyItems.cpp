// Item lists pushed by the device (values, attribute changes, matrix rows), applied to the live
// table one item at a time under the link lock. Every item is bounded by its own length.
#include <algorithm>
#include <cstring>
#include <vector>

#include "Alerts.h"
#include "Definition.h"
#include "Frame.h"
#include "Link.h"
#include "LinkState.h"
#include "Receive.h"
#include "TextCodec.h"

namespace {

// Larger than any item a valid control can take (a full matrix is below 1.2 MiB).
constexpr uint32_t kMaxItemBytes = 0x200000;

using ItemApplier = int (*)(CLinkCtrl&, const uint8_t*, uint32_t);

// Reads count, then each item's id, length and data; oversize items are drained and skipped.
int ReceiveItems(ItemApplier apply) {
    uint32_t count = 0;
    if (int st = ReadFileBlocking(&count, 4, __LINE__)) return st;
    std::vector<uint8_t> data;
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t head[8];
        if (int st = ReadFileBlocking(head, sizeof head, __LINE__)) return st;
        uint32_t id = GetU32LE(head), length = GetU32LE(head + 4);
        if (length > kMaxItemBytes) {
            RaiseSizeAlarm(LinkAlerts(), __LINE__);
            // Read off the wire in pieces, so the stream stays in step.
            data.resize(4096);
            for (uint32_t left = length; left > 0;) {
                uint32_t piece = std::min<uint32_t>(left, 4096);
                if (int st = ReadFileBlocking(data.data(), piece, __LINE__)) return st;
                left -= piece;
            }
            continue;
        }
        if (int st = LinkReadField(data, length, __LINE__)) return st;
        LinkState& s = LinkStateInstance();
        std::lock_guard g(s.lock);
        CLinkCtrl* entry = LinkFind(id);
        if (!entry) continue;
        if (int st = apply(*entry, data.data(), length)) return st;
    }
    return 0;
}

// Copies n bytes of UTF-16LE into the text buffer, at most `limit` characters; the rest is zeroed.
void SetTextUtf16(std::u16string& buffer, const uint8_t* data, size_t n, size_t limit) {
    size_t chars = std::min({n / 2, limit, buffer.size()});
    std::u16string text = DecodeUtf16LE(data, 2 * chars, false);
    std::copy(text.begin(), text.end(), buffer.begin());
    std::fill(buffer.begin() + chars, buffer.end(), u'\0');
}

void SetTextAnsi(std::u16string& buffer, const uint8_t* data, size_t n, size_t limit) {
    std::u16string wide = WidenAnsi(data, n);
    size_t chars = std::min({wide.size(), limit, buffer.size()});
    std::copy_n(wide.begin(), chars, buffer.begin());
    std::fill(buffer.begin() + chars, buffer.end(), u'\0');
}

// The text's last character is always its terminator.
void TerminateAt(std::u16string& buffer, size_t lastChar) {
    if (lastChar > 0 && lastChar - 1 < buffer.size()) buffer[lastChar - 1] = u'\0';
}

void ApplyWholeMatrix(CLinkCtrl& e, const uint8_t* data, uint32_t n) {
    size_t cellBytes = std::min<size_t>({e.m_nCellBytes, e.m_cells.size(), n});
    if (cellBytes) std::memcpy(e.m_cells.data(), data, cellBytes);
    bool textLabels = MatrixRowLabelKind(e.m_dwFlags) == 2;
    size_t p = e.m_nCellBytes;
    if (!textLabels) {
        if (n > p) {
            size_t labels = std::min<size_t>({e.m_nRowLabelBytes, e.m_rowLabels.size(), n - p});
            if (labels) std::memcpy(e.m_rowLabels.data(), data + p, labels);
        }
        p += e.m_nRowLabelBytes;
    }
    if (p < n) {
        uint8_t rows[4];
        PutU32LE(rows, e.m_nRows);
        std::memcpy(rows, data + p, std::min<size_t>(4, n - p));
        e.m_nRows = GetU32LE(rows);
    }
}

// Replaces the low `n` bytes of a little-endian value, keeping the rest.
void SetPartial(int32_t& value, const uint8_t* data, uint32_t n) {
    uint8_t bytes[4];
    PutU32LE(bytes, uint32_t(value));
    if (n) std::memcpy(bytes, data, std::min<size_t>(n, 4)); // an empty item may have no bytes
    value = int32_t(GetU32LE(bytes));
}

} // namespace

int ApplyDeviceValue(CLinkCtrl& e, const uint8_t* data, uint32_t n) {
    bool utf16 = e.m_dwFlags & CTRLF_TEXT16;
    switch (e.m_nKind) {
    case KIND_TEXT:
        if (utf16) {
            SetTextUtf16(e.m_text, data, n, e.m_nMaxSize / 2);
            TerminateAt(e.m_text, e.m_nMaxSize / 2);
        } else {
            SetTextAnsi(e.m_text, data, n, e.m_nMaxSize);
            TerminateAt(e.m_text, e.m_nMaxSize);
        }
        break;
    case KIND_BUTTON:
    case KIND_LATCH:
    case KIND_SECTION:
    case KIND_PASSWORD:
        if (n > 0) e.m_bState = data[0];
        break;
    case KIND_DATETIME:
        if (n) std::memcpy(e.m_DateTime, data, std::min<size_t>(n, 8));
        break;
    case KIND_NUMBER:
    case KIND_LIST:
        SetPartial(e.m_nValue, data, n);
        break;
    case KIND_MATRIX:
        ApplyWholeMatrix(e, data, n);
        break;
    case KIND_MESSAGEBOX:
        if (utf16)
            SetTextUtf16(e.m_text, data, n, e.m_nMaxSize);
        else
            SetTextAnsi(e.m_text, data, std::min<size_t>(n, e.m_nMaxSize), e.m_nMaxSize);
        TerminateAt(e.m_text, e.m_nMaxSize);
        break;
    case KIND_BLOB:
        if (IsRawBlob(e.m_dwFlags)) {
            uint32_t take = std::min<uint32_t>({n, e.m_nDataSize, uint32_t(e.m_data.size())});
            if (take) std::memcpy(e.m_data.data(), data, take);
            e.m_nDataLen = take;
        } else {
            std::u16string wide = WidenAnsi(data, n);
            size_t chars = std::min<size_t>({wide.size(), e.m_nDataSize / 2, e.m_data.size() / 2});
            std::vector<uint8_t> bytes = EncodeUtf16LE(std::u16string_view(wide).substr(0, chars));
            std::copy(bytes.begin(), bytes.end(), e.m_data.begin());
            e.m_nDataLen = uint32_t(bytes.size());
        }
        break;
    case KIND_FILE:
        RaiseDiagnostic(LinkAlerts(), __LINE__, 12);
        return 0;
    case KIND_UNSUPPORTED:
        return 0;
    case KIND_IMAGE:
        // A new picture: the whole GIF file, kept like a raw blob's bytes until the view takes it.
        if (n >= LINK_MAX_VALUE_BYTES) {
            RaiseDiagnostic(LinkAlerts(), __LINE__, 777);
            return 0;
        }
        e.m_data.assign(data, data + n);
        e.m_nDataLen = n;
        break;
    default:
        RaiseDiagnostic(LinkAlerts(), __LINE__, e.m_nKind);
        return LINK_E_BUSY;
    }
    e.m_bDeviceChanged = 1;
    return 0;
}

int ApplyMatrixRow(CLinkCtrl& e, const uint8_t* data, uint32_t n) {
    if (e.m_nKind != KIND_MATRIX) {
        RaiseDiagnostic(LinkAlerts(), __LINE__, e.m_nKind);
        return LINK_E_BUSY;
    }
    if (n < 8) return 0;
    uint64_t row = GetU32LE(data + n - 4);
    uint64_t w = uint64_t(MatrixCellWidth(e.m_dwFlags));
    uint64_t label = uint64_t(MatrixRowLabelWidth(e.m_dwFlags));
    uint64_t capacity = e.m_nMaxRows > 0 ? uint64_t(e.m_nMaxRows) : 0;
    uint64_t cols = e.m_nCols > 0 ? uint64_t(e.m_nCols) : 0;
    // Past the capacity, row + c x M would land in the next column's cells: the item is dropped.
    if (row >= capacity) return 0;
    // A shape that does not fit the buffers the device announced is left out.
    if (w > 0) {
        for (uint64_t c = 0; c < cols && c * w + w < n; ++c) {
            uint64_t at = (row + c * capacity) * w;
            if (at + w <= e.m_cells.size()) std::memcpy(&e.m_cells[at], data + c * w, w);
        }
    }
    if (label != 0 && cols * w + label < n) {
        uint64_t at = row * label;
        if (at + label <= e.m_rowLabels.size())
            std::memcpy(&e.m_rowLabels[at], data + cols * w, label);
    }
    e.m_nRows = GetU32LE(data + n - 8);
    e.m_bDeviceChanged = 1;
    return 0;
}

int ApplyAttributeChange(CLinkCtrl& e, const uint8_t* data, uint32_t n) {
    if (e.m_nKind == KIND_UNSUPPORTED) return 0;
    if (e.m_nKind < KIND_TEXT || e.m_nKind > KIND_IMAGE) {
        RaiseDiagnostic(LinkAlerts(), __LINE__, e.m_nKind);
        return LINK_E_BUSY;
    }
    if (n < 4) return 0; // no whole flags word: nothing to apply
    uint32_t w = GetU32LE(data);
    uint32_t mask = e.m_nKind == KIND_MESSAGEBOX ? 0x770011u : 0x11u;
    e.m_dwFlags = (e.m_dwFlags & ~mask) | (w & mask);
    if ((w & CTRLF_COLOUR_PRESENT) && n >= 8) e.m_crColour = GetU32LE(data + 4);
    e.m_bAttrChanged = 1;
    return 0;
}

int ReceiveDeviceValues() {
    return ReceiveItems(ApplyDeviceValue);
}
int ReceiveAttributes() {
    return ReceiveItems(ApplyAttributeChange);
}
int ReceiveMatrixRows() {
    return ReceiveItems(ApplyMatrixRow);
}
