#include "BoxPlacement.h"

#include <QEvent>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace {

class CentreKeeper : public QObject {
public:
    CentreKeeper(QWidget* box, QWidget* window) : QObject(box), m_window(window) {
        box->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if ((event->type() == QEvent::Show || event->type() == QEvent::Resize) && m_window)
            Place(static_cast<QWidget*>(watched));
        return false;
    }

private:
    void Place(QWidget* box) const {
        QRect r(QPoint(), box->frameGeometry().size());
        r.moveCenter(m_window->frameGeometry().center());
        if (const QScreen* screen = m_window->screen()) {
            const QRect room = screen->availableGeometry();
            r.moveLeft(std::clamp(r.left(), room.left(),
                                  std::max(room.left(), room.right() + 1 - r.width())));
            r.moveTop(std::clamp(r.top(), room.top(),
                                 std::max(room.top(), room.bottom() + 1 - r.height())));
        }
        if (box->pos() != r.topLeft()) box->move(r.topLeft());
    }

    QPointer<QWidget> m_window;
};

} // namespace

void CentreOverWindow(QWidget* box, QWidget* window) {
    if (box && window) new CentreKeeper(box, window->window());
}
