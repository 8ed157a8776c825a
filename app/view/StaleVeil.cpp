#include "StaleVeil.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>

namespace {

// White at 150 of 255: light enough to read as greyed, dark text stays legible.
constexpr int kAlpha = 150;

} // namespace

StaleVeil::StaleVeil(QWidget* panel) : QWidget(panel) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    hide();
    panel->installEventFilter(this);
}

void StaleVeil::Cover(bool stale) {
    if (stale) {
        // Beneath the veil the widgets keep their live look, so that all are greyed alike; a
        // widget the device has disabled keeps its own disabled look.
        QWidget* panel = parentWidget();
        for (QWidget* w : panel->findChildren<QWidget*>()) {
            if (w == this || !w->isEnabledTo(panel)) continue;
            QPalette p = w->palette();
            for (int role = 0; role < QPalette::NColorRoles; ++role) {
                const auto r = QPalette::ColorRole(role);
                p.setBrush(QPalette::Disabled, r, p.brush(QPalette::Active, r));
            }
            w->setPalette(p);
        }
        setGeometry(panel->rect());
        raise(); // above the widgets the panel was built with
    }
    setVisible(stale);
}

QRgb StaleVeil::Washed(QRgb live) {
    auto mix = [](int c) { return (c * (255 - kAlpha) + 255 * kAlpha + 127) / 255; };
    return qRgb(mix(qRed(live)), mix(qGreen(live)), mix(qBlue(live)));
}

void StaleVeil::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.fillRect(event->rect(), QColor(255, 255, 255, kAlpha));
}

bool StaleVeil::eventFilter(QObject* watched, QEvent* event) {
    // The panel grows and shrinks with its layout; the veil keeps covering all of it.
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    // A widget made while the panel is stale (one first shown on another page) goes under it.
    if (watched == parentWidget() && event->type() == QEvent::ChildAdded && isVisible()) raise();
    return QWidget::eventFilter(watched, event);
}
