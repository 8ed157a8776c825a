// The box of a device's Message box control: its text shown plainly, icon and buttons from its
// flags. It does not block: several may be open at once, and each reports its answer code (0
// for none, else 1 to 3) when it closes.
#pragma once

#include <functional>

class CCtrl;
class QMessageBox;
class QWidget;

QMessageBox* ShowDeviceMessageBox(const CCtrl& c, QWidget* parent,
                                  std::function<void(int answer)> closed);
