// The protocol monitor's list: the last 10,000 frames, appended in batches (one insertion per
// batch, the oldest rows dropped in one removal), and a filter by message code on top of it.
#pragma once

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <deque>

#include "FrameDecoder.h"

class FrameTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Time, Direction, Code, Flags, Length, Decode, ColumnCount };
    static constexpr int kMaxRows = 10000;

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    void Append(std::deque<DecodedFrame> batch);
    void Clear();
    const DecodedFrame& FrameAt(int row) const { return m_rows[size_t(row)]; }
    // A column's text; the device's texts stay plain text.
    static QString Text(const DecodedFrame& frame, int column);

private:
    std::deque<DecodedFrame> m_rows;
};

// Frames of one message code and direction, or all of them.
class FrameCodeFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    static constexpr int kAll = -1;
    // The key of a code in one direction.
    static int Key(uint16_t code, bool sent) { return (sent ? 0x10000 : 0) | code; }
    void SetKey(int key);
    int CurrentKey() const { return m_key; }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    int m_key = kAll;
};
