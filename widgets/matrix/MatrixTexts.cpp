#include "MatrixTexts.h"

#include <algorithm>
#include <cstring>

#include "Ctrl.h"

namespace {

constexpr int kMaxSeries = 65536;
constexpr long long kMaxCells = 0x100000;

} // namespace

MatrixShape MatrixShapeOf(const CCtrl& ctrl) {
    MatrixShape shape;
    shape.rowLabels = ctrl.HasRowLabels();
    shape.series = std::clamp(ctrl.m_nCols, 0, kMaxSeries);
    const long long limit = kMaxCells / std::max(1, shape.Columns());
    shape.rows = int(std::min<long long>(ctrl.RowsInUse(), limit));
    return shape;
}

MatrixTexts::MatrixTexts(const CCtrl& ctrl) : m_ctrl(ctrl) {}

bool MatrixTexts::IsRowLabelColumn(int column) const {
    return column == 0 && m_ctrl.HasRowLabels();
}

QString MatrixTexts::Heading(int column) const {
    if (IsRowLabelColumn(column)) return m_ctrl.m_strRowLabelHeading;
    if (!m_namesKnown) {
        const QStringList names = m_ctrl.ColumnNames();
        m_names.assign(names.begin(), names.end());
        m_namesKnown = true;
    }
    const int c = column - (m_ctrl.HasRowLabels() ? 1 : 0);
    return c >= 0 && size_t(c) < m_names.size() ? m_names[size_t(c)] : QString();
}

QString MatrixTexts::Text(int row, int column) const {
    if (IsRowLabelColumn(column)) return RowLabel(row);
    return m_ctrl.CellText(row, column - (m_ctrl.HasRowLabels() ? 1 : 0));
}

std::vector<std::vector<QString>> MatrixTexts::AllTexts(int count) const {
    count = std::max(0, count);
    const MatrixShape shape = Shape();
    std::vector<std::vector<QString>> texts;
    if (shape.rowLabels) {
        const QStringList labels = m_ctrl.RowLabelTexts(count);
        texts.emplace_back(labels.begin(), labels.end());
        texts.back().resize(size_t(count));
    }
    CellTextCache cells(m_ctrl.View());
    for (int c = 0; c < shape.series; ++c) {
        texts.emplace_back(size_t(count));
        cells.Column(c, count, texts.back().data());
    }
    return texts;
}

void MatrixTexts::Changed() {
    m_namesKnown = false;
    m_labelsKnown = false;
}

QString MatrixTexts::RowLabel(int row) const {
    if (RowLabelKindOf(m_ctrl.m_dwFlags) != ROW_LABELS_TEXT) return m_ctrl.RowLabelText(row);
    // Text labels are found through an index of where each starts, made in one walk, instead
    // of walking the buffer from its start for every row shown.
    const std::vector<uint8_t>& buffer = m_ctrl.m_pRowLabels;
    if (!m_labelsKnown || m_labelBuffer != buffer.data() || m_labelBytes != buffer.size()) {
        m_labelStarts.clear();
        const size_t chars = buffer.size() / 2;
        if (chars > 0) m_labelStarts.push_back(0);
        for (size_t i = 0; i + 1 < chars; ++i)
            if (buffer[2 * i] == 0 && buffer[2 * i + 1] == 0)
                m_labelStarts.push_back(uint32_t(i + 1));
        m_labelBuffer = buffer.data();
        m_labelBytes = buffer.size();
        m_labelsKnown = true;
    }
    const int index = m_ctrl.RingIndex(row);
    if (index < 0 || size_t(index) >= m_labelStarts.size()) return QString();
    const size_t chars = buffer.size() / 2;
    const size_t begin = m_labelStarts[size_t(index)];
    size_t end = begin;
    while (end < chars && (buffer[2 * end] != 0 || buffer[2 * end + 1] != 0)) ++end;
    QString text(qsizetype(end - begin), Qt::Uninitialized);
    if (end > begin) std::memcpy(text.data(), buffer.data() + 2 * begin, (end - begin) * 2);
    return text;
}
