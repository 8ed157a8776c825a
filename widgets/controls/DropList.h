// The drop-down lists of List and Date/time (weekday): a combo box that is moved only when its
// place, width or drop height changed since its last move, and that reports the user's choices.
#pragma once

#include <QComboBox>

class CCtrl;
class CCtrlWidgets;

class CDropList : public QComboBox {
    Q_OBJECT
public:
    explicit CDropList(QWidget* parent);
    // Moves to (x, y) with `width` when x, y, width or dropHeight differ from the last move, and
    // gives the selection field `fieldHeight`; true when it moved.
    bool PlaceAt(int x, int y, int width, int fieldHeight, int dropHeight);
    int Moves() const { return m_nMoves; }

private:
    int m_nX = -1, m_nY = -1, m_nWidth = -1, m_nDropHeight = -1;
    int m_nMoves = 0;
};

// A CDropList placed by its rule; any other combo box is simply moved.
void PlaceDropList(QComboBox* list, int x, int y, int width, int fieldHeight, int dropHeight);
// The user's choices (mouse or keys, never the program's) as selection changes.
void RouteSelection(CCtrlWidgets& host, CCtrl& c, QComboBox* list);
