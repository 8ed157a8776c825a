#include "DropList.h"

#include <algorithm>

#include "CtrlWidgets.h"

CDropList::CDropList(QWidget* parent) : QComboBox(parent) {}

bool CDropList::PlaceAt(int x, int y, int width, int fieldHeight, int dropHeight) {
    fieldHeight = std::max(0, fieldHeight);
    if (x == m_nX && y == m_nY && width == m_nWidth && dropHeight == m_nDropHeight) {
        if (height() != fieldHeight) resize(this->width(), fieldHeight);
        return false;
    }
    m_nX = x;
    m_nY = y;
    m_nWidth = width;
    m_nDropHeight = dropHeight;
    ++m_nMoves;
    setGeometry(x, y, std::max(0, width), fieldHeight);
    // The open list is about the drop height tall, and shows a few items at least.
    const int row = std::max(1, fontMetrics().height() + 4);
    setMaxVisibleItems(std::max(3, (dropHeight - fieldHeight) / row));
    return true;
}

void PlaceDropList(QComboBox* list, int x, int y, int width, int fieldHeight, int dropHeight) {
    if (auto* drop = qobject_cast<CDropList*>(list))
        drop->PlaceAt(x, y, width, fieldHeight, dropHeight);
    else if (list)
        list->setGeometry(x, y, std::max(0, width), std::max(0, fieldHeight));
}

void RouteSelection(CCtrlWidgets& host, CCtrl& c, QComboBox* list) {
    QObject::connect(list, &QComboBox::activated, &host,
                     [&host, &c, list] { host.Notify(c, list, CtrlNotify::SelChange); });
}
