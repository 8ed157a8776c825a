// The momentary latch button: it reports being pressed and released (pressed(), released(), from
// the mouse or the space bar) and makes no click of its own.
#pragma once

#include <QPushButton>

class CMomentaryButton : public QPushButton {
    Q_OBJECT
public:
    CMomentaryButton(const QString& caption, QWidget* parent);
};
