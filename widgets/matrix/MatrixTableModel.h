// The table of a Matrix control for a QTableView (the matrix dialog's and the panel's own): one
// row per row in use, the row-label column left-aligned, the cells right-aligned, texts made only
// for the cells in view. It reads the control directly and stops showing rows once the control
// is destroyed.
#pragma once

#include <memory>

#include <QAbstractTableModel>

#include "MatrixTexts.h"

class CCtrl;
class FrameThrottle;

class MatrixTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    MatrixTableModel(const CCtrl& ctrl, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The control's matrix changed: rows and texts follow within one screen frame, however
    // often this is called. Cheap; safe under the link lock.
    void MatrixChanged();
    // Follows the control now.
    void Sync();

    // Whether the control still exists (texts come from it only then).
    bool HasControl() const { return !m_lifetime.expired(); }
    // The texts a view of this model shows; only while HasControl().
    const MatrixTexts& Texts() const { return m_texts; }

private:
    std::weak_ptr<const void> m_lifetime;
    MatrixTexts m_texts;
    FrameThrottle* m_throttle;
    int m_rows = 0;
    int m_columns = 0;
};
