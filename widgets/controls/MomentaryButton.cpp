#include "MomentaryButton.h"

CMomentaryButton::CMomentaryButton(const QString& caption, QWidget* parent)
    : QPushButton(caption, parent) {
    setAutoRepeat(false);
}
