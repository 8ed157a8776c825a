// The program's dialogs and boxes are modal to their own window at most: a device's message box,
// a window of its own, stays answerable while one is open.
#pragma once

#include <QDialog>

inline int ExecWindowModal(QDialog& dialog) {
    dialog.setWindowModality(Qt::WindowModal);
    return dialog.exec();
}
