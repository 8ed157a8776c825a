#include "FrameTableModel.h"

#include <QDateTime>
#include <iterator>

int FrameTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int FrameTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString FrameTableModel::Text(const DecodedFrame& f, int column) {
    switch (column) {
    case Time: {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(f.time.time_since_epoch());
        return QDateTime::fromMSecsSinceEpoch(ms.count()).toString(QStringLiteral("HH:mm:ss.zzz"));
    }
    case Direction:
        return f.sent ? QStringLiteral("sent") : QStringLiteral("received");
    case Code:
        return QStringLiteral("%1 (%2)")
            .arg(QLatin1String(FrameCodeName(f.code, f.sent)))
            .arg(f.code);
    case Flags:
        return QStringLiteral("0x") +
               QString::number(f.flags, 16).toUpper().rightJustified(4, QLatin1Char('0'));
    case Length:
        return QString::number(f.length);
    case Decode:
        return QString::fromStdString(f.decode);
    default:
        return {};
    }
}

QVariant FrameTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || size_t(index.row()) >= m_rows.size()) return {};
    if (role == Qt::DisplayRole) return Text(m_rows[size_t(index.row())], index.column());
    if (role == Qt::TextAlignmentRole && index.column() == Length)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant FrameTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const titles[] = {"Time", "Direction", "Code", "Flags", "Length", "Decoded"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(titles[section])
                                                 : QVariant();
}

void FrameTableModel::Append(std::deque<DecodedFrame> batch) {
    if (batch.empty()) return;
    if (batch.size() > size_t(kMaxRows)) batch.erase(batch.begin(), batch.end() - kMaxRows);
    const size_t over = m_rows.size() + batch.size() > size_t(kMaxRows)
                            ? m_rows.size() + batch.size() - size_t(kMaxRows)
                            : 0;
    if (over > 0) {
        beginRemoveRows({}, 0, int(over) - 1);
        m_rows.erase(m_rows.begin(), m_rows.begin() + std::ptrdiff_t(over));
        endRemoveRows();
    }
    const int first = int(m_rows.size());
    beginInsertRows({}, first, first + int(batch.size()) - 1);
    std::move(batch.begin(), batch.end(), std::back_inserter(m_rows));
    endInsertRows();
}

void FrameTableModel::Clear() {
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void FrameCodeFilter::SetKey(int key) {
    if (key == m_key) return;
    m_key = key;
    invalidateFilter();
}

bool FrameCodeFilter::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
    if (m_key == kAll) return true;
    const auto* model = static_cast<const FrameTableModel*>(sourceModel());
    const DecodedFrame& f = model->FrameAt(sourceRow);
    return Key(f.code, f.sent) == m_key;
}
