#include "MatrixTableModel.h"

#include "Ctrl.h"
#include "FrameThrottle.h"

MatrixTableModel::MatrixTableModel(const CCtrl& ctrl, QObject* parent)
    : QAbstractTableModel(parent), m_lifetime(ctrl.Lifetime()), m_texts(ctrl),
      m_throttle(new FrameThrottle([this] { Sync(); }, this)) {
    const MatrixShape shape = m_texts.Shape();
    m_rows = shape.rows;
    m_columns = shape.Columns();
}

int MatrixTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int MatrixTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_columns;
}

QVariant MatrixTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !HasControl()) return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return m_texts.Text(index.row(), index.column());
    case Qt::TextAlignmentRole:
        return m_texts.IsRowLabelColumn(index.column()) ? int(Qt::AlignLeft | Qt::AlignVCenter)
                                                        : int(Qt::AlignRight | Qt::AlignVCenter);
    default:
        return QVariant();
    }
}

QVariant MatrixTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || !HasControl()) return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return m_texts.Heading(section);
    case Qt::TextAlignmentRole:
        return m_texts.IsRowLabelColumn(section) ? int(Qt::AlignLeft | Qt::AlignVCenter)
                                                 : int(Qt::AlignRight | Qt::AlignVCenter);
    default:
        return QVariant();
    }
}

void MatrixTableModel::MatrixChanged() {
    if (HasControl()) m_texts.Changed();
    m_throttle->Request();
}

void MatrixTableModel::Sync() {
    MatrixShape shape;
    if (HasControl()) shape = m_texts.Shape();
    if (shape.Columns() != m_columns) {
        beginResetModel();
        m_rows = shape.rows;
        m_columns = shape.Columns();
        endResetModel();
        return;
    }
    if (shape.rows > m_rows) {
        beginInsertRows(QModelIndex(), m_rows, shape.rows - 1);
        m_rows = shape.rows;
        endInsertRows();
    } else if (shape.rows < m_rows) {
        beginRemoveRows(QModelIndex(), shape.rows, m_rows - 1);
        m_rows = shape.rows;
        endRemoveRows();
    }
    // A ring buffer moves every row along, so every text may have changed.
    if (m_rows > 0 && m_columns > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, m_columns - 1), {Qt::DisplayRole});
    if (m_columns > 0) emit headerDataChanged(Qt::Horizontal, 0, m_columns - 1);
}
