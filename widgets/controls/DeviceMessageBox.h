// The box of a device's Message box control: its text shown plainly, icon and buttons from its
// flags. It does not block: several may be open at once, and each reports its answer code (0
// for none, else 1 to 3) when it closes, while its owner exists. No window of the program blocks
// it: it is a window of its own, kept above the program's dialogs and placed over the owner's
// window. A box with a Cancel button or with OK alone takes closing (Escape, the window's close
// button) as that button; any other stays until a button is chosen, while its owner is shown.
#pragma once

#include <functional>

class CCtrl;
class QMessageBox;
class QWidget;

QMessageBox* ShowDeviceMessageBox(const CCtrl& c, QWidget* owner,
                                  std::function<void(int answer)> closed);
// The question was answered elsewhere: the box goes, answering nothing.
void DismissDeviceMessageBox(QMessageBox* box);
// The program is ending: every open box goes, answering nothing.
void DismissDeviceMessageBoxes();
