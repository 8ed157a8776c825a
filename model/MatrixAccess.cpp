#include "MatrixAccess.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Frame.h"
#include "LinkCtrl.h"
#include "ValueFormat.h"

int RowLabelKindOf(uint32_t flags) {
    return static_cast<int>((flags >> 16) & 3);
}
int RowLabelStyleOf(uint32_t flags) {
    return NumberStyleFromField(flags >> 22);
}
int CellStyleOf(uint32_t flags) {
    return NumberStyleFromField(flags >> 24);
}

int RowsInUse(int rows, int maxRows) {
    if (maxRows <= 0) return 0;
    if (rows < 0) return maxRows;
    return std::min(rows, maxRows);
}

int RowsInUse(const MatrixView& m) {
    return RowsInUse(m.rows, m.maxRows);
}

int ArrivedRows(int rowsBefore, int rowsAfter, int maxRows) {
    if (maxRows <= 0) return 0;
    const long long m = maxRows;
    // A full ring (-k, or a count at the capacity or above): the buffer row written next. 64 bits:
    // -rows overflows for the lowest int.
    auto full = [m](int rows) { return rows < 0 || rows >= m; };
    auto next = [m](int rows) { return (rows < 0 ? -static_cast<long long>(rows) : rows) % m; };
    long long arrived;
    if (!full(rowsAfter))
        arrived = !full(rowsBefore) && rowsAfter >= rowsBefore ? rowsAfter - rowsBefore : rowsAfter;
    else if (!full(rowsBefore))
        arrived = m - rowsBefore + next(rowsAfter);
    else
        arrived = ((next(rowsAfter) - next(rowsBefore)) % m + m) % m;
    return static_cast<int>(std::min<long long>(arrived, RowsInUse(rowsAfter, maxRows)));
}

int RingIndex(int position, int rows, int maxRows) {
    if (position < 0 || position >= RowsInUse(rows, maxRows)) return -1;
    if (rows >= 0) return position;
    // 64 bits: -rows overflows for the lowest int, and the device may place k beyond the capacity.
    const long long oldest = -static_cast<long long>(rows);
    return static_cast<int>((position + oldest) % maxRows);
}

namespace {

// The little-endian signed element `index`, or none when it lies outside the buffer.
std::optional<int32_t> ReadElement(const uint8_t* buffer, size_t size, uint32_t widthCode,
                                   long long index) {
    // Code 3 has no data and reads as 0.
    const size_t width = size_t(MatrixElementWidth(widthCode));
    if (width == 0) return 0;
    if (!buffer || index < 0 || static_cast<unsigned long long>(index) >= size / width)
        return std::nullopt;
    const uint8_t* p = buffer + static_cast<size_t>(index) * width;
    switch (width) {
    case 4:
        return static_cast<int32_t>(GetU32LE(p));
    case 2:
        return static_cast<int16_t>(GetU16LE(p));
    default:
        return static_cast<int8_t>(p[0]);
    }
}

std::optional<int32_t> CellRaw(const MatrixView& m, int position, int column) {
    const int row = RingIndex(position, m.rows, m.maxRows);
    if (row < 0 || column < 0 || column >= m.cols) return std::nullopt;
    const long long index = row + static_cast<long long>(column) * m.maxRows;
    return ReadElement(m.cells, m.cellBytes, m.flags >> 20, index);
}

std::optional<int32_t> RowLabelRaw(const MatrixView& m, int position) {
    const int row = RingIndex(position, m.rows, m.maxRows);
    if (row < 0 || RowLabelKindOf(m.flags) != ROW_LABELS_NUMBER) return std::nullopt;
    return ReadElement(m.rowLabels, m.rowLabelBytes, m.flags >> 18, row);
}

} // namespace

double CellValue(const MatrixView& m, int position, int column) {
    const auto raw = CellRaw(m, position, column);
    return raw ? ScaleRaw(*raw, m.cellExponent) : 0.0;
}

namespace {

// ScaleRaw with the power of ten worked out once.
struct Scale {
    explicit Scale(int exponent)
        : divide(exponent < 0), factor(std::pow(10.0, divide ? -double(exponent) : exponent)) {}
    double operator()(int32_t raw) const { return divide ? raw / factor : raw * factor; }
    bool divide;
    double factor;
};

// The elements of positions first..first+count-1 of a ring stored from element `base` on,
// scaled; what lies outside the rows in use or the buffer reads as 0. The same values as one
// ReadElement a position.
void ReadRing(const MatrixView& m, const uint8_t* buffer, size_t size, uint32_t widthCode,
              long long base, int first, int count, const Scale& scale, double* out) {
    const int width = MatrixElementWidth(widthCode);
    const int rows = RowsInUse(m);
    const unsigned long long elements = (buffer && width) ? size / size_t(width) : 0;
    auto fill = [&](auto read) {
        // Positions in use whose buffer rows follow one another inside the buffer: no checks.
        const long long start =
            first >= 0 && first < rows ? RingIndex(first, m.rows, m.maxRows) : -1;
        if (start >= 0 && count <= rows - first && start + count <= m.maxRows && base >= 0 &&
            static_cast<unsigned long long>(base + start + count) <= elements) {
            const uint8_t* element = buffer + (base + start) * width;
            for (int i = 0; i < count; ++i, element += width) out[i] = scale(read(element));
            return;
        }
        int row = -1; // the buffer row of the last position read
        for (int i = 0; i < count; ++i) {
            const long long p = static_cast<long long>(first) + i;
            if (p < 0 || p >= rows) {
                out[i] = 0.0;
                continue;
            }
            row = row < 0 ? RingIndex(int(p), m.rows, m.maxRows)
                          : (row + 1 == m.maxRows ? 0 : row + 1);
            const long long index = base + row;
            out[i] = (index >= 0 && static_cast<unsigned long long>(index) < elements)
                         ? scale(read(buffer + index * width))
                         : 0.0;
        }
    };
    switch (width) {
    case 4:
        fill([](const uint8_t* e) { return static_cast<int32_t>(GetU32LE(e)); });
        break;
    case 2:
        fill([](const uint8_t* e) { return int32_t(static_cast<int16_t>(GetU16LE(e))); });
        break;
    case 1:
        fill([](const uint8_t* e) { return int32_t(static_cast<int8_t>(e[0])); });
        break;
    default:
        for (int p = 0; p < count; ++p) out[p] = 0.0;
        break;
    }
}

} // namespace

void CellValues(const MatrixView& m, int column, int first, int count, double* out) {
    if (column < 0 || column >= m.cols) {
        for (int p = 0; p < count; ++p) out[p] = 0.0;
        return;
    }
    ReadRing(m, m.cells, m.cellBytes, m.flags >> 20, static_cast<long long>(column) * m.maxRows,
             first, count, Scale(m.cellExponent), out);
}

void RowLabelValues(const MatrixView& m, int first, int count, double* out) {
    if (RowLabelKindOf(m.flags) != ROW_LABELS_NUMBER) {
        for (int p = 0; p < count; ++p) out[p] = 0.0;
        return;
    }
    ReadRing(m, m.rowLabels, m.rowLabelBytes, m.flags >> 18, 0, first, count,
             Scale(m.rowLabelExponent), out);
}

QString CellText(const MatrixView& m, int position, int column) {
    const auto raw = CellRaw(m, position, column);
    if (!raw) return QString();
    return FormatScaled(*raw, CellStyleOf(m.flags), m.cellFormat, m.cellDecimals, m.cellExponent,
                        0);
}

CellTextCache::CellTextCache(const MatrixView& m)
    : m_view(m), m_narrow(MatrixElementWidth(m.flags >> 20) <= 2), m_table(m_narrow ? 65536 : 0),
      m_known(m_table.size()) {}

QString CellTextCache::Text(int32_t raw) {
    if (m_narrow) {
        const size_t slot = size_t(raw + 32768);
        if (!m_known[slot]) {
            m_table[slot] = FormatScaled(raw, CellStyleOf(m_view.flags), m_view.cellFormat,
                                         m_view.cellDecimals, m_view.cellExponent, 0);
            m_known[slot] = true;
        }
        return m_table[slot];
    }
    constexpr size_t kMaxCached = 65536;
    auto found = m_cache.find(raw);
    if (found == m_cache.end()) {
        if (m_cache.size() >= kMaxCached) m_cache.clear();
        found = m_cache
                    .emplace(raw, FormatScaled(raw, CellStyleOf(m_view.flags), m_view.cellFormat,
                                               m_view.cellDecimals, m_view.cellExponent, 0))
                    .first;
    }
    return found->second;
}

void CellTextCache::Column(int column, int count, QString* out) {
    for (int p = 0; p < count; ++p) {
        const auto raw = CellRaw(m_view, p, column);
        out[p] = raw ? Text(*raw) : QString();
    }
}

double RowLabelValue(const MatrixView& m, int position) {
    const auto raw = RowLabelRaw(m, position);
    return raw ? ScaleRaw(*raw, m.rowLabelExponent) : 0.0;
}

std::optional<DateTimeRecord> RowLabelDateTime(const MatrixView& m, int position) {
    const int row = RingIndex(position, m.rows, m.maxRows);
    if (row < 0 || RowLabelKindOf(m.flags) != ROW_LABELS_DATETIME || !m.rowLabels)
        return std::nullopt;
    if (static_cast<size_t>(row) >= m.rowLabelBytes / 8) return std::nullopt;
    return DateTimeRecord::FromBytes(m.rowLabels + static_cast<size_t>(row) * 8, 8);
}

QString RowLabelText(const MatrixView& m, int position, const QLocale& locale) {
    switch (RowLabelKindOf(m.flags)) {
    case ROW_LABELS_NUMBER: {
        const auto raw = RowLabelRaw(m, position);
        if (!raw) return QString();
        return FormatScaled(*raw, RowLabelStyleOf(m.flags), m.rowLabelFormat, m.rowLabelDecimals,
                            m.rowLabelExponent, 0);
    }
    case ROW_LABELS_TEXT: {
        const int row = RingIndex(position, m.rows, m.maxRows);
        return row < 0 ? QString() : ZeroEndedText(m.rowLabels, m.rowLabelBytes, row);
    }
    case ROW_LABELS_DATETIME: {
        const auto record = RowLabelDateTime(m, position);
        return record ? FormatDateTime(*record, m.rowLabelFormat, locale) : QString();
    }
    default:
        return QString();
    }
}

QString AxisLabelText(const MatrixView& m, double x) {
    if (RowLabelKindOf(m.flags) != ROW_LABELS_NUMBER) return QString();
    return FormatNumber(x, RowLabelStyleOf(m.flags), m.rowLabelFormat, m.rowLabelDecimals, 0);
}

QString AxisValueText(const MatrixView& m, double x) {
    return FormatNumber(x, CellStyleOf(m.flags), m.cellFormat, m.cellDecimals, 0);
}

QString DateAxisText(const MatrixView& m, const DateTimeRecord& record, const QLocale& locale) {
    if (RowLabelKindOf(m.flags) != ROW_LABELS_DATETIME) return QString();
    return FormatDateTime(record, m.rowLabelFormat, locale);
}

QString ZeroEndedText(const uint8_t* bytes, size_t size, int n) {
    if (!bytes || n < 0) return QString();
    const size_t chars = size / 2;
    // A zero character is two zero bytes whatever the byte order, so the walk needs no decoding.
    auto isZero = [bytes](size_t i) { return bytes[2 * i] == 0 && bytes[2 * i + 1] == 0; };
    size_t begin = 0;
    for (int skipped = 0; skipped < n; ++skipped) {
        while (begin < chars && !isZero(begin)) ++begin;
        if (begin >= chars) return QString();
        ++begin; // past the zero
    }
    size_t end = begin;
    while (end < chars && !isZero(end)) ++end;
    QString text(static_cast<qsizetype>(end - begin), Qt::Uninitialized);
    std::memcpy(text.data(), bytes + 2 * begin, (end - begin) * 2);
    return text;
}

uint32_t SeriesColour(int i) {
    static constexpr uint32_t kColours[6] = {0x000080, 0x008000, 0x800000,
                                             0x800080, 0x008080, 0x808000};
    return kColours[((i % 6) + 6) % 6];
}
